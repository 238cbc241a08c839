# The build machine's own compilers, for the libraries the Linux release links statically
# (tools/ports/deps.sh linux-x86_64).
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
