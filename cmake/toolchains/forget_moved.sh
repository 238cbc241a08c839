# shellcheck shell=bash
# Sourced by the scripts that configure a cross-compiled tree. CMake reads a tree's
# toolchain file once, when the tree is first configured, and then only from where
# it was: a tree configured before the file moved fails at once. Such a tree is
# configured afresh (its objects come back from the compiler cache).
# Usage: forget_tree_of_moved_toolchain TREE TOOLCHAIN_FILE
forget_tree_of_moved_toolchain() {
  local tree=$1 toolchain=$2 recorded
  [ -f "$tree/CMakeCache.txt" ] || return 0
  recorded=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$tree/CMakeCache.txt")
  if [ "$recorded" != "$toolchain" ]; then
    echo "configure: $tree was configured with ${recorded:-no toolchain file}; configuring it afresh"
    rm -rf "$tree"
  fi
}
