# The language monitor DLL as the spooler loads it.
add_executable(monitor_dll_test monitor/monitor_dll_test.cpp)
target_include_directories(monitor_dll_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(monitor_dll_test PRIVATE qvl_portmon)
add_dependencies(monitor_dll_test qvllink)
add_test(NAME monitor_dll_test COMMAND monitor_dll_test $<TARGET_FILE:qvllink>)

qvl_imports_test(monitor_imports qvllink qvllink)
