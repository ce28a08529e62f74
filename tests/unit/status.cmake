# Status application, display notification (with the NT display link's board, written and
# read), and printer data queries, over the recording fakes of the spooler client and the
# display link.
qvl_unit_test(status_tests
  SOURCES
    status/status_support.cpp
    status/apply_status_test.cpp
    status/notify_display_test.cpp
    status/printer_data_test.cpp
  LIBS qvl_monitor qvl_display_core qvl_fakes
  LABELS status)
