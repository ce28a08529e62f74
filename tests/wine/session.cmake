# The NT display link end to end: qvlspool --nt with the real qvllink.dll publishing to the
# status board, qvlpanel.exe /signin showing it (display_driver reads the dialogs back),
# session_probe looking at the board's slots and security descriptors. The board, its events
# and the screen are shared by every program under one wineserver. Needs the environment of
# scripts/wine-env; the script skips (77) without it.
if(TARGET qvlspool AND TARGET qvlpanel AND TARGET display_driver)
  add_executable(session_probe session/session_probe.cpp)
  target_link_libraries(session_probe PRIVATE qvl_shared advapi32 kernel32)

  add_test(NAME session.signin
           COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/session/session_test.py
                   $<TARGET_FILE_DIR:qvlspool> $<TARGET_FILE:qvlpanel>
                   $<TARGET_FILE_DIR:qvlpanel> $<TARGET_FILE:display_driver>
                   $<TARGET_FILE:session_probe>)
  set_tests_properties(session.signin PROPERTIES LABELS "display;spooler;wine" TIMEOUT 300
                       SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()
