# qvlpanel against a hostile neighbour under Wine: odd printer name blocks, codes and models
# outside every range, malformed status message files, a burst of random codes. It must never
# crash or hang and must end cleanly on WM_DESTROY. Needs the environment of scripts/wine-env.
if(TARGET qvlpanel)
  add_executable(hostile_driver
    hostile/hostile_driver.cpp
    hostile/hostile_selfcheck.cpp
    hostile/hostile_names.cpp
    hostile/hostile_codes.cpp
    hostile/hostile_files.cpp
    hostile/hostile_burst.cpp)
  # The dialogs' control ids.
  target_include_directories(hostile_driver PRIVATE ${CMAKE_SOURCE_DIR}/display/resources)
  target_link_libraries(hostile_driver PRIVATE qvl_shared user32 advapi32 kernel32)

  function(qvl_hostile_test name timeout)
    add_test(NAME hostile.${name}
             COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/hostile/hostile_test.sh
                     $<TARGET_FILE:qvlpanel> $<TARGET_FILE:hostile_driver> ${ARGN})
    set_tests_properties(hostile.${name} PROPERTIES LABELS "display;wine" TIMEOUT ${timeout}
                         SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
  endfunction()

  qvl_hostile_test(selfcheck 30 selfcheck)
  qvl_hostile_test(names 60 names)
  qvl_hostile_test(codes 120 codes)
  qvl_hostile_test(files 120 files 20240607 36)
  qvl_hostile_test(burst 150 burst 7051 10000)
endif()
