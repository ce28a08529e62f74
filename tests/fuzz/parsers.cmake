# The reply parsers (PJL, plain, IPP) and the device ID reader, fed arbitrary printer bytes. Seeds: corpus/<name>/.
qvl_fuzzer(fuzz_pjl_reply
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_pjl_reply.cpp
  LIBS qvl_parsers)
qvl_fuzzer(fuzz_plain_reply
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_plain_reply.cpp
  LIBS qvl_parsers)
qvl_fuzzer(fuzz_device_id
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_device_id.cpp ${CMAKE_SOURCE_DIR}/monitor/device_id.cpp
  LIBS qvl_parsers qvl_platform)
qvl_fuzzer(fuzz_ipp_reply
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ipp_reply.cpp
  LIBS qvl_parsers)
