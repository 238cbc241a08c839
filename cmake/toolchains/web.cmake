# The web build's CMake toolchain: Debian's emscripten, with what CMake cannot
# find out by itself there. check_type_size() reads the size from the compiled
# object, which it cannot do in WebAssembly and gets wrong: the sizes it is asked
# for are given here (wasm32: 4-byte size_t and long).
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
foreach(_type SIZE_T UNSIGNED_LONG LONG)
  set(HAVE_${_type} TRUE CACHE INTERNAL "")
  set(${_type} 4 CACHE INTERNAL "")
endforeach()
