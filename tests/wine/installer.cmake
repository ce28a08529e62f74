# qvlinst under Wine: install, list, uninstall through Wine's own spooler, with a test monitor
# that logs what the spooler does with it, then with the real qvllink.dll. Needs the
# environment of scripts/wine-env; the script skips (77) without it.
if(TARGET qvlinst)
  # The test monitor: InitializePrintMonitor2 and Shutdown only, logging to "<its path>.log".
  add_library(qvl_probe_monitor SHARED installer/probe_monitor.cpp
                                       ${CMAKE_CURRENT_SOURCE_DIR}/installer/probe_monitor.def)
  set_target_properties(qvl_probe_monitor PROPERTIES PREFIX "" OUTPUT_NAME qvlprobe)
  target_link_libraries(qvl_probe_monitor PRIVATE user32 kernel32)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    target_link_options(qvl_probe_monitor PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
  target_link_options(qvl_probe_monitor PRIVATE -Wl,--kill-at)

  add_executable(spooler_probe installer/spooler_probe.cpp)
  target_link_libraries(spooler_probe PRIVATE winspool kernel32)

  # Once the monitor exports its NT entry, the test requires the real DLL to install too.
  file(READ ${CMAKE_SOURCE_DIR}/monitor/win32/qvllink.def QVL_MONITOR_DEF)
  if(QVL_MONITOR_DEF MATCHES "InitializePrintMonitor2")
    set(QVL_REAL_MONITOR_NEEDED yes)
  else()
    set(QVL_REAL_MONITOR_NEEDED no)
  endif()
  # The 64-bit run also checks that the 32-bit build refuses, when that build is there.
  set(QVL_OTHER_QVLINST "")
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(QVL_OTHER_QVLINST ${CMAKE_BINARY_DIR}/../mingw-i686/installer/qvlinst.exe)
  endif()

  add_test(NAME installer.qvlinst
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/installer/installer_test.sh
                   $<TARGET_FILE:qvlinst> $<TARGET_FILE:qvl_probe_monitor>
                   $<TARGET_FILE:spooler_probe> ${QVL_REAL_MONITOR_NEEDED} ${QVL_OTHER_QVLINST})
  # It changes the prefix's system directory and registry, which other tests use too.
  set_tests_properties(installer.qvlinst PROPERTIES LABELS "installer;wine" TIMEOUT 300
                       SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
  add_dependencies(spooler_probe qvlinst_beside)

  qvl_imports_test(installer_imports qvlinst qvlinst)
endif()
