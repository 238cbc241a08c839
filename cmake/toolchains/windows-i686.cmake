# mingw-w64 for 32-bit Windows, the platform the program was written for:
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/windows-i686.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DEMO_MINGW_TRIPLET i686-w64-mingw32)
include("${CMAKE_CURRENT_LIST_DIR}/windows-mingw.cmake")
