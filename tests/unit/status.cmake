# Status application, display notification (with what the NT display link's reader takes from
# a printer's status record, and whose dialogs a printer's are), and printer data queries, over the recording fakes of the spooler client and the
# display link.
qvl_unit_test(status_tests
  SOURCES
    status/status_support.cpp
    status/apply_status_test.cpp
    status/notify_display_test.cpp
    status/printer_data_test.cpp
  LIBS qvl_monitor qvl_display_core qvl_fakes
  LABELS status)
