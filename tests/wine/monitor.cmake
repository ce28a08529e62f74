# The language monitor DLL as the spooler loads it.
add_executable(monitor_dll_test monitor/monitor_dll_test.cpp)
target_include_directories(monitor_dll_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(monitor_dll_test PRIVATE qvl_portmon)
add_dependencies(monitor_dll_test qvllink)
add_test(NAME monitor_dll_test COMMAND monitor_dll_test $<TARGET_FILE:qvllink>)

# Every DLL and function the monitor imports is a conscious choice: compare with the list.
add_test(NAME monitor_imports
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-imports ${QVL_OBJDUMP} $<TARGET_FILE:qvllink>
          ${CMAKE_CURRENT_SOURCE_DIR}/imports/qvllink-${CMAKE_SYSTEM_PROCESSOR}.txt)
set_tests_properties(monitor_imports PROPERTIES SKIP_RETURN_CODE 77)
