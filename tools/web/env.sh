# shellcheck shell=bash
# The environment Debian's emscripten needs here, sourced by the web scripts.
# Its JavaScript tools load acorn and friends from Debian's node module directory,
# which a node not started by Debian's own wrapper does not search.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
# Debian's own python3, not whatever python3 comes first in PATH: emcc starts once
# per file, and a wrapper around python3 (pyenv's shims) costs each start.
export EMSDK_PYTHON=${EMSDK_PYTHON:-/usr/bin/python3}
# Debian ships emscripten's system libraries prebuilt in a frozen cache; nothing
# is fetched ("ports" such as its SDL2 or libpng are never used by this build).
web_toolchain=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/cmake/toolchains/web.cmake
# Exceptions are caught in the whole program: libopenmpt reports bad modules by throwing.
web_cflags="-O2 -DNDEBUG -fexceptions"
