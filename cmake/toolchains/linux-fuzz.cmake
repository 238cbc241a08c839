# The build machine's clang, for the libraries the music fuzz target links with the fuzzer's
# instrumentation (tools/ports/deps.sh linux-fuzz).
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
