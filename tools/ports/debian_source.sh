#!/usr/bin/env bash
# Downloads a Debian source package and unpacks it, with the Debian patches applied.
# Usage: debian_source.sh SOURCE_PACKAGE DEST_DIR
# Prints the unpacked tree's path (DEST_DIR/PACKAGE-VERSION) on stdout; progress goes to stderr.
#
# The machine's apt configuration and state are left alone: apt runs with its own copy of the
# system's sources (turned into deb-src entries), its own package lists and its own cache, all
# under DEST_DIR/.apt. So it needs no root rights and works the same as root.
# A package whose .dsc and tarballs are already in DEST_DIR is not fetched again, and the index is
# only refreshed when it is missing or no longer knows the package: a second run makes no network
# access. Delete DEST_DIR/PACKAGE_* to fetch a package afresh.
set -euo pipefail

me=debian_source
fail() { echo "$me: $*" >&2; exit 1; }

[ $# -eq 2 ] || fail "usage: debian_source.sh SOURCE_PACKAGE DEST_DIR"
package=$1
[[ $package =~ ^[a-z0-9][a-z0-9.+-]+$ ]] || fail "'$package' is not a Debian source package name"
mkdir -p "$2" || fail "cannot create $2"
dest=$(cd "$2" && pwd)
apt_dir=$dest/.apt
log=$apt_dir/$package.log

# The newest .dsc of the package in DEST_DIR whose files are all present, or nothing.
complete_dsc() {
  local dsc best="" best_version="" version
  for dsc in "$dest/${package}"_*.dsc; do
    [ -f "$dsc" ] || continue
    files_listed_present "$dsc" || continue
    version=$(dsc_field "$dsc" Version)
    if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best_version"; then
      best=$dsc best_version=$version
    fi
  done
  echo "$best"
}

dsc_field() { sed -n "s/^$2: *//p" "$1" | head -n1; }

# True when every file named in the .dsc's Files section is beside it.
files_listed_present() {
  local name
  while read -r name; do
    [ -f "$dest/$name" ] || return 1
  done < <(awk '/^Files:/ { f = 1; next } /^[^ ]/ { f = 0 } f && NF == 3 { print $3 }' "$1")
}

# A private source list: the system's entries, as deb-src. Files apt would ignore (other
# extensions, such as disabled ones) are skipped, as apt itself skips them.
write_source_list() {
  local parts=$apt_dir/sources.list.d f
  rm -rf "$parts" && mkdir -p "$parts" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  : > "$apt_dir/sources.list"
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list > "$apt_dir/sources.list"
  fi
  for f in /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" > "$parts/$(basename "$f")"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    sed 's/^Types:.*/Types: deb-src/' "$f" > "$parts/$(basename "$f")"
  done
}

apt_options=(
  -o "Dir::Etc::sourcelist=$apt_dir/sources.list"
  -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
)

update_index() {
  echo "$me: reading the Debian source index" >&2
  write_source_list
  apt-get "${apt_options[@]}" --error-on=any -q update >> "$log" 2>&1
}

# The versions of the package the index knows, newest first.
known_versions() {
  local versions=() v i
  while read -r v; do
    i=${#versions[@]}
    while [ "$i" -gt 0 ] && dpkg --compare-versions "$v" gt "${versions[i - 1]}"; do
      versions[i]=${versions[i - 1]}
      i=$((i - 1))
    done
    versions[i]=$v
  done < <(apt-cache "${apt_options[@]}" showsrc --only-source "$package" 2>> "$log" |
             sed -n 's/^Version: //p' | sort -u)
  printf '%s\n' "${versions[@]}"
}

# Fetches the newest version that can be fetched: a mirror may list a version whose files it does
# not serve (the security archive's index is reachable from here, its pool is not).
download() {
  local newest="" version
  for version in $(known_versions); do
    [ -n "$newest" ] || newest=$version
    if (cd "$dest" && apt-get "${apt_options[@]}" -q source --download-only "$package=$version") \
         >> "$log" 2>&1; then
      [ "$version" = "$newest" ] ||
        echo "$me: note: $package $newest cannot be fetched, using $version" >&2
      return 0
    fi
  done
  [ -n "$newest" ] || echo "E: the Debian source index has no package '$package'" >> "$log"
  return 1
}

unpack() { dpkg-source -x "$dsc" "$tree.tmp" >> "$log" 2>&1; }

# Runs one step; on failure, stops with the first error the step wrote to the log.
step() {
  local what=$1 mark
  shift
  mark=$(wc -l < "$log")
  "$@" && return 0
  fail "$what ($(tail -n +"$((mark + 1))" "$log" |
    grep -E '^(E: |dpkg-source: error: )' | head -n1)); log: $log"
}

have_index() { compgen -G "$apt_dir/lists/*_Sources*" > /dev/null; }

mkdir -p "$apt_dir"
# Builds for two architectures may share DEST_DIR and run at once.
exec 9> "$apt_dir/lock"
flock 9
dsc=$(complete_dsc)
if [ -z "$dsc" ]; then
  : > "$log"
  echo "$me: downloading $package" >&2
  have_index || step "cannot read the Debian source index" update_index
  if ! download; then
    # The index may be stale (the archive has moved on) or older than the package.
    step "cannot read the Debian source index" update_index
    step "cannot fetch source package '$package'" download
  fi
  dsc=$(complete_dsc)
  [ -n "$dsc" ] || fail "apt fetched no complete source package for '$package'; log: $log"
fi

version=$(dsc_field "$dsc" Version)
tree=$dest/$package-${version#*:}
if [ ! -f "$tree/.unpacked" ]; then
  echo "$me: unpacking $(basename "$dsc")" >&2
  rm -rf "$tree" "$tree.tmp"
  step "cannot unpack $(basename "$dsc")" unpack
  mv "$tree.tmp" "$tree"
  touch "$tree/.unpacked"
fi
echo "$tree"
