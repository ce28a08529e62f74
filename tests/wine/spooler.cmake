# qvlspool end to end: the real qvllink.dll under the spooler stand-in, with emulated printers
# in the same process (emu:) and the native qvlprinter over loopback (tcp:). Needs the
# environment of scripts/wine-env; the script skips (77) without it.
if(TARGET qvlspool)
  set(QVL_SPOOL_CASES prefix deferred-end maker-deferred idle-end generic-status display launch memory
                      drum-reset faults tcp-matches-emu bench)
  foreach(case ${QVL_SPOOL_CASES})
    add_test(NAME spooler.${case}
             COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/spooler/spooler_cases.py ${case}
                     $<TARGET_FILE_DIR:qvlspool> $<TARGET_FILE:qvlwatch>)
    set_tests_properties(spooler.${case} PROPERTIES LABELS "spooler;wine" TIMEOUT 300
                         SKIP_RETURN_CODE 77
                         ENVIRONMENT "QVL_SPOOL_TEST_DIR=${CMAKE_CURRENT_BINARY_DIR}")
  endforeach()
  # The display window, the drum reset event and the system directory's qvlpanel.exe are
  # shared by every program under one wineserver.
  set_tests_properties(spooler.deferred-end spooler.display spooler.launch spooler.drum-reset
                       PROPERTIES RUN_SERIAL TRUE)
endif()
