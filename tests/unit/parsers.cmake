# The reply parsers (PJL, plain, IPP), the text operations, device ID reading and qvltool's parse and deviceid.
qvl_unit_test(parser_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/parsers/text_ops_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/parsers/pjl_parser_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/parsers/plain_parser_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/parsers/ipp_test.cpp
  LIBS qvl_parsers
  LABELS parsers)

# device_id.cpp is compiled in, as qvltool does, so these tests need only the parsers and the
# POSIX stand-in of the Win32 types.
qvl_unit_test(device_id_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/parsers/device_id_test.cpp
    ${CMAKE_SOURCE_DIR}/monitor/device_id.cpp
  LIBS qvl_parsers qvl_platform
  LABELS parsers)

if(TARGET qvltool)
  add_test(NAME qvltool_parse_and_deviceid
    COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/parsers/qvltool_test.sh $<TARGET_FILE:qvltool>)
  set_tests_properties(qvltool_parse_and_deviceid PROPERTIES LABELS parsers TIMEOUT 60)
endif()
