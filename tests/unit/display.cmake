# The display program's portable pieces: status message file reader, filter and decisions,
# titles; and qvltool's lookup and lint commands on small status files.
if(TARGET qvl_display_core)
  qvl_unit_test(display_test
    SOURCES display/status_file_test.cpp display/status_filter_test.cpp display/titles_test.cpp
    LIBS qvl_display_core qvl_test_support
    LABELS display)
  target_include_directories(display_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/display)
endif()

if(TARGET qvltool AND TARGET qvl_statusfile)
  add_test(NAME display.qvltool_lookup_lint
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/display/qvltool_test.sh $<TARGET_FILE:qvltool>
                   ${CMAKE_CURRENT_SOURCE_DIR}/display/files)
  set_tests_properties(display.qvltool_lookup_lint PROPERTIES LABELS display TIMEOUT 60)
  # The installed status message files must read as their writers meant.
  foreach(model qvl3820 qvl3470)
    if(EXISTS ${CMAKE_SOURCE_DIR}/statusfiles/${model})
      add_test(NAME display.lint_${model}
               COMMAND $<TARGET_FILE:qvltool> lint ${CMAKE_SOURCE_DIR}/statusfiles/${model})
      set_tests_properties(display.lint_${model} PROPERTIES LABELS display TIMEOUT 60)
    endif()
  endforeach()
endif()
