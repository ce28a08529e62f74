# The status message file reader over arbitrary file contents. Seeds: corpus/fuzz_status_file/.
qvl_fuzzer(fuzz_status_file
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_status_file.cpp
  LIBS qvl_statusfile qvl_fakes qvl_test_support)
