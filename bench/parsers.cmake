# The reply parsers over a mixed stream of printer replies, next to a memchr pass over the same
# bytes. Build with the native-release preset (QVL_BENCH ON).
add_executable(parsers_bench ${CMAKE_CURRENT_LIST_DIR}/parsers_bench.cpp)
target_link_libraries(parsers_bench PRIVATE benchmark::benchmark qvl_parsers)

# One IPP status poll on the monitor's side (request, answer read, status), next to a copy of
# the same answer.
add_executable(ipp_bench ${CMAKE_CURRENT_LIST_DIR}/ipp_bench.cpp)
target_link_libraries(ipp_bench PRIVATE benchmark::benchmark qvl_parsers)
target_compile_definitions(ipp_bench PRIVATE
  QVL_IPP_ANSWER="${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/fuzz_ipp_reply/trays-emptied")
