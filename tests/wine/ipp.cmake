# The monitor's IPP client under Wine, against a local HTTP server of the test's own making:
# the answer read, and the hardening (no proxy, no credentials, no redirects, a bounded answer,
# bounded time on a silent or closed port).
# The address of a network port, from the stand-in's port monitor through its Xcv functions.
add_executable(ipp_query ipp/ipp_query_main.cpp ${CMAKE_SOURCE_DIR}/monitor/nt/ipp_client.cpp
                         ${CMAKE_SOURCE_DIR}/monitor/nt/port_address.cpp)
target_include_directories(ipp_query PRIVATE ${CMAKE_SOURCE_DIR}/monitor/nt)
target_link_libraries(ipp_query PRIVATE qvl_parsers qvl_portmon_win qvl_platform kernel32)
add_test(NAME ipp.client
         COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/ipp/ipp_client_test.py
                 $<TARGET_FILE:ipp_query>)
set_tests_properties(ipp.client PROPERTIES LABELS "ipp;wine" TIMEOUT 120 SKIP_RETURN_CODE 77)
