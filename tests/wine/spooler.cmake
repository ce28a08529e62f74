# qvlspool end to end: the real qvllink.dll under the spooler stand-in, with emulated printers
# in the same process (emu:) and the native qvlprinter over loopback (tcp:). Every case runs
# twice: spooler.CASE through the Windows 95 generation's entry, spooler.nt.CASE through the
# NT-family spooler's (qvlspool --nt); the cases only NT has run once, as spooler.nt.CASE.
# Needs the environment of scripts/wine-env; the script skips (77) without it.
if(TARGET qvlspool)
  set(QVL_SPOOL_CASES prefix deferred-end maker-deferred idle-end generic-status display launch memory
                      drum-reset faults tcp-matches-emu bench)
  set(QVL_SPOOL_NT_CASES jobs identify lifecycle printers network readers)
  # A user's program reading the printers through winspool.drv, beside it and qvlspool.
  add_executable(spool_reader spooler/spool_reader.cpp)
  target_link_libraries(spool_reader PRIVATE winspool kernel32)
  add_custom_command(TARGET spool_reader POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:spool_reader>
            $<TARGET_FILE_DIR:qvlspool>)
  set(QVL_SPOOL_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/spooler/spooler_cases.py)
  function(qvl_spool_test name)
    add_test(NAME ${name}
             COMMAND python3 ${QVL_SPOOL_SCRIPT} ${ARGN} $<TARGET_FILE_DIR:qvlspool>
                     $<TARGET_FILE:qvlwatch>)
    set_tests_properties(${name} PROPERTIES LABELS "spooler;wine" TIMEOUT 300
                         SKIP_RETURN_CODE 77
                         ENVIRONMENT "QVL_SPOOL_TEST_DIR=${CMAKE_CURRENT_BINARY_DIR}")
  endfunction()
  foreach(case ${QVL_SPOOL_CASES})
    qvl_spool_test(spooler.${case} ${case})
    qvl_spool_test(spooler.nt.${case} --nt ${case})
  endforeach()
  foreach(case ${QVL_SPOOL_NT_CASES})
    qvl_spool_test(spooler.nt.${case} --nt ${case})
  endforeach()
  # The display window, the drum reset events and the system directory's qvlpanel.exe are
  # shared by every program under one wineserver.
  set_tests_properties(spooler.deferred-end spooler.display spooler.launch spooler.drum-reset
                       spooler.nt.deferred-end spooler.nt.display spooler.nt.launch
                       spooler.nt.drum-reset PROPERTIES RUN_SERIAL TRUE)
endif()
