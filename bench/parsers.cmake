# The reply parsers over a mixed stream of printer replies, next to a memchr pass over the same
# bytes. Build with the native-release preset (QVL_BENCH ON).
add_executable(parsers_bench ${CMAKE_CURRENT_LIST_DIR}/parsers_bench.cpp)
target_link_libraries(parsers_bench PRIVATE benchmark::benchmark qvl_parsers)
