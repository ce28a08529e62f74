# The NT display link's status record, as the display program takes it from a printer's data.
# Seeds: corpus/fuzz_session_record/.
qvl_fuzzer(fuzz_session_record
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_session_record.cpp
  LIBS qvl_display_core)
