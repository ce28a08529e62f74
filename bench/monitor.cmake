# The monitor under load: passthrough of job data, status latency, many ports, and the display
# program's status file lookup. Run by scripts/bench (make bench).
add_executable(monitor_bench
  ${CMAKE_CURRENT_LIST_DIR}/monitor_bench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/discard_port_monitor.cpp)
target_include_directories(monitor_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(monitor_bench PRIVATE benchmark::benchmark qvl_monitor qvl_portmon qvl_fakes
                                            qvl_test_support)

add_executable(statusfile_bench ${CMAKE_CURRENT_LIST_DIR}/statusfile_bench.cpp)
target_link_libraries(statusfile_bench PRIVATE benchmark::benchmark qvl_statusfile)
