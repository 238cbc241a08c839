# What both mingw-w64 toolchain files share. Before including this, set
# DEMO_MINGW_TRIPLET (x86_64-w64-mingw32 or i686-w64-mingw32).
#
# The third-party libraries (libjpeg-turbo, libpng, zlib, libopenmpt) are cross-built
# from their Debian sources by tools/ports/deps.sh into DEMO_WINDOWS_DEPS, where
# pkg-config finds them; nothing of the build machine's own libraries is used.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${DEMO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${DEMO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${DEMO_MINGW_TRIPLET}-windres)

if(NOT DEMO_WINDOWS_DEPS AND DEFINED ENV{DEMO_WINDOWS_DEPS})
  set(DEMO_WINDOWS_DEPS "$ENV{DEMO_WINDOWS_DEPS}")
endif()
# Try-compiles re-read this file without the cache; pass the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DEMO_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${DEMO_MINGW_TRIPLET} ${DEMO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(DEMO_WINDOWS_DEPS)
  set(ENV{PKG_CONFIG_LIBDIR} "${DEMO_WINDOWS_DEPS}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
