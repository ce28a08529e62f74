# qvlpanel under Wine and Xvfb: the driver plays the monitor (and the spooler's printer data), the script checks the dialogs,
# presses the hot key and takes screenshots. Needs the environment of scripts/wine-env.
if(TARGET qvlpanel AND TARGET qvl_printer_store)
  add_executable(display_driver display/display_driver.cpp)
  # The NT link's printer is served from the spooler stand-in's store, read by the program
  # through our winspool.drv.
  target_link_libraries(display_driver PRIVATE qvl_shared qvl_printer_store user32 gdi32 kernel32)

  add_test(NAME display.panel
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/display/panel_test.sh
                   $<TARGET_FILE:qvlpanel> $<TARGET_FILE:display_driver>
                   ${CMAKE_CURRENT_SOURCE_DIR}/display/qvl9901
                   ${CMAKE_BINARY_DIR}/display/screenshots $<TARGET_FILE:qvl_winspool>)
  set_tests_properties(display.panel PROPERTIES LABELS "display;wine" TIMEOUT 240 SKIP_RETURN_CODE 77
                       RUN_SERIAL TRUE)
endif()

if(TARGET qvlpanel)
  qvl_imports_test(display_imports qvlpanel qvlpanel)
endif()
