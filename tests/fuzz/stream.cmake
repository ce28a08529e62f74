# The reply stream as the status thread reads it: ReadReplies over a port monitor that hands out
# the fuzzer's bytes in pieces of the fuzzer's choosing. Seeds: corpus/fuzz_reply_stream/.
qvl_fuzzer(fuzz_reply_stream
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_reply_stream.cpp
  LIBS qvl_monitor qvl_fakes)
