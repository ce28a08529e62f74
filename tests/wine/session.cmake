# The NT display link end to end: qvlspool --nt with the real qvllink.dll publishing each
# printer's status as its printer data, qvlpanel.exe /signin reading it through our
# winspool.drv (display_driver reads the dialogs back). The store of the stand-in's printers and
# the screen are shared by every program under one wineserver. Needs the environment of
# scripts/wine-env; the script skips (77) without it.
if(TARGET qvlspool AND TARGET qvlpanel AND TARGET display_driver)
  add_test(NAME session.signin
           COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/session/session_test.py
                   $<TARGET_FILE_DIR:qvlspool> $<TARGET_FILE:qvlpanel>
                   $<TARGET_FILE_DIR:qvlpanel> $<TARGET_FILE:display_driver>
                   $<TARGET_FILE:qvllink>)
  set_tests_properties(session.signin PROPERTIES LABELS "display;spooler;wine" TIMEOUT 400
                       SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()
