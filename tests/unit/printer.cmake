# Emulated printer: library tests, its replies read by the monitor's parsers, and qvlprinter
# over loopback.
if(TARGET qvl_printer)
  qvl_unit_test(printer_tests
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_pjl_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_drum_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_scenario_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_bounds_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_server_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/printer/printer_parsers_test.cpp
    LIBS qvl_printer qvl_parsers)
  target_compile_definitions(printer_tests PRIVATE
    QVLPRINTER_PATH="$<TARGET_FILE:qvlprinter>"
    QVL_PRINTER_SCENARIOS="${CMAKE_SOURCE_DIR}/host/printer/scenarios")
  add_dependencies(printer_tests qvlprinter)
endif()
