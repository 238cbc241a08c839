#!/usr/bin/env bash
# Runs the Linux release on a clean Debian 12 system, as a viewer would, and fails on anything a
# viewer would meet: a library the folder needs and the system lacks, a window that does not open
# or stays blank, an exit code other than 0 on Escape, an incomplete log, a read-only folder that
# breaks it.
#
# Usage: tools/release/check_linux.sh TARBALL [--out DIR]
#   TARBALL  velmor-demo-linux-x86_64.tar.gz (tools/release/linux.sh)
#   --out    where the screenshots (PNG, one in each scene), the logs and the program's output
#            go; by default linux-check/ beside the tarball
# Root only (chroot, mounts); exit code 77 without root.
#
# The system: debootstrap --variant=minbase bookworm with only what a desktop has beside it
# (Mesa's OpenGL and EGL drivers, the X11 and Wayland client libraries, ALSA's library), made once
# and kept in ${DEMO_DEBOOTSTRAP_CACHE:-~/.cache/velmor-demo/debootstrap}/KEY, KEY a digest of
# everything it is made from. Each run works on an overlay of it, so the cached system stays clean.
# The X server, xdotool and xwd run on this machine, outside the system: x11-apps and Xvfb would
# bring libpng with them, which the system must not have. The demo, a client like any other, reaches
# the server through its socket in /tmp/.X11-unix.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "check_linux: FAIL: $*" >&2; exit 1; }
note() { echo "check_linux: $*" >&2; }

suite=bookworm
mirror=http://deb.debian.org/debian
desktop_packages=(
  libgl1-mesa-dri libegl1 libegl-mesa0 libgl1 libglx-mesa0
  libx11-6 libxext6 libxcursor1 libxi6 libxrandr2 libxss1 libxkbcommon0 libxfixes3 libxrender1
  libwayland-client0 libwayland-cursor0 libwayland-egl1
  libasound2
)
# What the release carries itself, and so must not find on the system.
absent_packages='^(libsdl2|libepoxy|libopenmpt|libjpeg|libpng)'
absent_libraries=(-name 'libSDL2*.so*' -o -name 'libepoxy.so*' -o -name 'libopenmpt.so*'
                  -o -name 'libjpeg.so*' -o -name 'libpng*.so*')
viewer=viewer
# Debian's own, which has PIL (python3-pil), whatever python3 comes first in PATH.
python=/usr/bin/python3
window_title="Velmors Demo - Release version"
log_footer="<br><b>End of log</b></font></html>"
# Seconds after the window appears, one in each scene (they start 0, 12, 24, 36, 42 and 52 s
# into the render loop, which starts a moment after the window opens).
shot_times=(6 18 30 39 47 58)
shot_names=(intro title-and-road drops particles closing greetings)

tarball="" out=""
while [ $# -gt 0 ]; do
  case $1 in
    --out) [ $# -ge 2 ] || fail "--out needs a value"; out=$2; shift 2 ;;
    -*) fail "unknown option '$1' (usage: check_linux.sh TARBALL [--out DIR])" ;;
    *) [ -z "$tarball" ] || fail "one TARBALL only"; tarball=$1; shift ;;
  esac
done
[ -f "$tarball" ] || fail "usage: check_linux.sh TARBALL [--out DIR]"
tarball=$(cd "$(dirname "$tarball")" && pwd)/$(basename "$tarball")
if [ "$(id -u)" -ne 0 ]; then
  echo "check_linux: SKIP: needs root (debootstrap, chroot and mounts)" >&2
  exit 77
fi
for tool in debootstrap chroot mount flock Xvfb xauth xdotool xwd mcookie; do
  command -v "$tool" >/dev/null || fail "$tool is missing: run tools/setup.sh"
done
"$python" -c "import PIL" 2>/dev/null || fail "Debian's python3-pil is missing: run tools/setup.sh"
out=${out:-$(dirname "$tarball")/linux-check}
mkdir -p "$out"
out=$(cd "$out" && pwd)
# What an earlier run left there, and only that: the folder may hold other things.
rm -f "$out"/[1-6]-*.png "$out"/{writable,read-only}{.stdout,.stderr,-log.html} \
      "$out"/{ldd.txt,xvfb.log,debootstrap.log}

started=$SECONDS
work=$(mktemp -d /var/tmp/velmor-check.XXXXXX)
mounts=() pids=() partial=""
cleanup() {
  local i
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  # Only once nothing is mounted below it.
  if ! grep -qF " $work/" /proc/self/mounts; then rm -rf "$work"; fi
  [ -z "$partial" ] || rm -rf "$partial"
}
trap cleanup EXIT

# ---------------------------------------------------------------------------
# The clean system

system_key() {
  { echo "$suite $mirror minbase"; printf '%s\n' "${desktop_packages[@]}"; debootstrap --version; } |
    sha256sum | cut -c1-16
}

# Makes the system once and sets lower to it; a second run, or another run at the same time,
# finds it made.
cached_system() {
  local cache key took
  cache=${DEMO_DEBOOTSTRAP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/velmor-demo/debootstrap}
  key=$(system_key)
  mkdir -p "$cache"
  exec 9>"$cache/$key.lock"
  flock 9
  if [ ! -d "$cache/$key" ]; then
    note "making the clean system $suite (debootstrap from $mirror; log $out/debootstrap.log)"
    took=$SECONDS
    # Under the lock, any partial system of this key is what a killed run left.
    rm -rf "$cache/$key".partial-*
    partial=$(mktemp -d "$cache/$key.partial-XXXXXX")
    chmod 0755 "$partial"
    debootstrap --variant=minbase --include="$(IFS=,; echo "${desktop_packages[*]}")" \
      "$suite" "$partial" "$mirror" >"$out/debootstrap.log" 2>&1 ||
      { tail -n 20 "$out/debootstrap.log" >&2; fail "debootstrap failed"; }
    mv "$partial" "$cache/$key"
    partial=""
    system_made="made in $((SECONDS - took)) s"
  else
    system_made="cached"
  fi
  exec 9>&-
  lower=$cache/$key
}

check_system_is_clean() {
  local lower=$1 installed found
  # shellcheck disable=SC2016 # dpkg-query's own format, not the shell's
  installed=$(chroot "$lower" dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' |
                awk '$1 == "ii" { print $2 }' | grep -E "$absent_packages" || true)
  [ -z "$installed" ] || fail "the clean system has $(echo "$installed" | tr '\n' ' ')"
  found=$(find "$lower" -xdev \( "${absent_libraries[@]}" \) -print | head -n 5)
  [ -z "$found" ] || fail "the clean system has $found"
}

mount_on() {
  mount "$@"
  mounts+=("${*: -1}")
}

# The cached system under an overlay, so that nothing this run does reaches it; a copy where
# overlays cannot be mounted.
mount_system() {
  local lower=$1
  root=$work/root
  mkdir -p "$root" "$work/upper" "$work/overlay-work"
  if ! mount_on -t overlay overlay \
         -o "lowerdir=$lower,upperdir=$work/upper,workdir=$work/overlay-work" "$root" 2>/dev/null; then
    note "no overlay here: working on a copy of the system"
    cp -a "$lower/." "$root/"
  fi
  mkdir -p "$work/tmp"
  chmod 1777 "$work/tmp"
  mount_on -t proc proc "$root/proc"
  mount_on --bind /dev "$root/dev"
  mount_on --bind /sys "$root/sys"
  mount_on --bind "$work/tmp" "$root/tmp"
  # The X server's sockets, for the demo to reach the server on this machine.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  mkdir -p "$root/tmp/.X11-unix"
  mount_on --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
}

add_viewer() {
  chroot "$root" useradd --create-home --shell /bin/sh "$viewer"
  viewer_ids=$(chroot "$root" id -u "$viewer"):$(chroot "$root" id -g "$viewer")
  home=/home/$viewer
}

# A command inside the system as the viewer, in the environment of a desktop session. An array,
# not a function, so that a command started in the background is its own process ($!).
viewer_command() {
  as_viewer=(chroot --userspec="$viewer_ids" "$root" env -i HOME="$home" USER="$viewer"
             LOGNAME="$viewer" PATH=/usr/local/bin:/usr/bin:/bin DISPLAY="$display"
             XAUTHORITY="$home/.Xauthority")
}

# ---------------------------------------------------------------------------
# The X server, on this machine

start_x_server() {
  local number cookie
  for number in $(seq 90 199); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] || break
  done
  display=:$number
  cookie=$(mcookie)
  : >"$work/Xauthority"
  xauth -q -f "$work/Xauthority" add "$display" . "$cookie"
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -auth "$work/Xauthority" \
    >"$out/xvfb.log" 2>&1 &
  pids+=($!)
  export DISPLAY=$display XAUTHORITY=$work/Xauthority
  for _ in $(seq 1 100); do
    xdotool getdisplaygeometry >/dev/null 2>&1 && break
    kill -0 "${pids[-1]}" 2>/dev/null || fail "Xvfb did not start (see $out/xvfb.log)"
    sleep 0.1
  done
  xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not answer on $display"
  install -o "${viewer_ids%:*}" -g "${viewer_ids#*:}" -m 0600 "$work/Xauthority" "$root$home/.Xauthority"
}

# ---------------------------------------------------------------------------
# The checks

unpack_release() {
  cp "$tarball" "$work/tmp/release.tar.gz"
  chmod 0644 "$work/tmp/release.tar.gz"
  "${as_viewer[@]}" tar -xzf /tmp/release.tar.gz -C "$home"
  folder=$home/velmor-demo
  [ -x "$root$folder/velmor-demo" ] || fail "no launcher velmor-demo/velmor-demo in the archive"
}

# ldd, inside the system, on every ELF file of the folder.
check_libraries() {
  local file files=0
  : >"$out/ldd.txt"
  while IFS= read -r -d '' file; do
    [ "$(head -c 4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    files=$((files + 1))
    echo "${file#"$root"}:" >>"$out/ldd.txt"
    "${as_viewer[@]}" ldd "${file#"$root"}" >>"$out/ldd.txt" 2>&1 || fail "ldd failed on ${file#"$root"}"
  done < <(find "$root$folder" -type f -print0 | sort -z)
  [ "$files" -gt 0 ] || fail "no program in the folder"
  if grep -q "not found" "$out/ldd.txt"; then
    grep "not found" "$out/ldd.txt" >&2
    fail "libraries missing on the clean system ($out/ldd.txt)"
  fi
  ldd_result="$files ELF files, every library found"
}

# Starts the launcher as the viewer from /tmp; sets pid and launched. Its stderr goes to
# $out/NAME.stderr.
start_demo() {
  local name=$1
  launched=$SECONDS
  # shellcheck disable=SC2016 # expanded by the shell inside the system
  "${as_viewer[@]}" sh -c 'cd /tmp && exec "$0"' "$folder/velmor-demo" \
    >"$out/$name.stdout" 2>"$out/$name.stderr" &
  pid=$!
  pids+=("$pid")
}

wait_for_window() {
  window=""
  for _ in $(seq 1 300); do
    window=$(xdotool search --name "$window_title" 2>/dev/null | head -n 1 || true)
    if [ -n "$window" ]; then
      window_after=$((SECONDS - launched))
      return
    fi
    kill -0 "$pid" 2>/dev/null || { cat "$out/$1.stderr" >&2; fail "the demo exited before its window appeared"; }
    sleep 0.1
  done
  cat "$out/$1.stderr" >&2
  fail "no window titled '$window_title' after 30 s"
}

# Screenshot NAME of the window as PNG in the output folder; sets colours.
screenshot() {
  xwd -silent -id "$window" -out "$work/shot.xwd" || fail "no screenshot for $1"
  colours=$("$python" "$here/xwd_to_png.py" "$work/shot.xwd" "$out/$1.png") || fail "unreadable screenshot $1"
}

quit_with_escape() {
  local status
  xdotool key --window "$window" Escape
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "the demo did not end on Escape"
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "exit code $status on Escape ($out/$1.stderr)"
}

# The one log in DIR, complete: it ends with the footer; copied to the output folder as NAME.html.
check_log() {
  local dir=$1 name=$2 logs
  logs=("$dir"/*.html)
  [ -f "${logs[0]}" ] || fail "no log in ${dir#"$root"}"
  [ "${#logs[@]}" -eq 1 ] || fail "${#logs[@]} logs in ${dir#"$root"}, not one"
  cp "${logs[0]}" "$out/$name.html"
  for text in "Start of render loop." "End of render loop.<br>"; do
    grep -qF "$text" "${logs[0]}" || fail "the log lacks '$text' ($out/$name.html)"
  done
  [ "$(tail -c ${#log_footer} "${logs[0]}")" = "$log_footer" ] ||
    fail "the log does not end with its footer ($out/$name.html)"
}

seconds_until() {
  local left=$(($1 - SECONDS))
  echo $((left > 0 ? left : 0))
}

# The whole demo from the writable folder: a picture in every scene, Escape, the log.
run_whole_demo() {
  local i appeared
  start_demo writable
  wait_for_window writable
  appeared=$SECONDS
  shot_colours=()
  for i in "${!shot_times[@]}"; do
    sleep "$(seconds_until $((appeared + shot_times[i])))"
    kill -0 "$pid" 2>/dev/null || fail "the demo ended by itself before ${shot_times[i]} s"
    screenshot "$((i + 1))-${shot_names[i]}"
    [ "$colours" -gt 1 ] || fail "the ${shot_names[i]} shows a single colour ($out/$((i + 1))-${shot_names[i]}.png)"
    shot_colours+=("${shot_names[i]} $colours")
  done
  quit_with_escape writable
  check_log "$root$folder/Data/Logs" writable-log
  whole_result="window after $window_after s, ran $((SECONDS - appeared)) s, Escape: exit 0, log complete"
}

# The folder read-only: the launcher says where the log goes and runs in the state directory.
run_read_only() {
  local state=$home/.local/state/velmor-demo stderr_lines logs_before
  logs_before=$(ls "$root$folder/Data/Logs")
  chmod -R a-w "$root$folder"
  rm -rf "$root$state"
  start_demo read-only
  wait_for_window read-only
  for _ in $(seq 1 300); do
    grep -qs "Start of render loop." "$root$state"/Data/Logs/*.html && break
    sleep 0.1
  done
  sleep 2
  quit_with_escape read-only
  stderr_lines=$(grep -c . "$out/read-only.stderr" || true)
  grep -qxF "velmor-demo: $folder is read-only; the log goes to $state/Data/Logs/" "$out/read-only.stderr" ||
    fail "the launcher did not say where the log goes ($out/read-only.stderr)"
  check_log "$root$state/Data/Logs" read-only-log
  [ "$(ls "$root$folder/Data/Logs")" = "$logs_before" ] || fail "a log was written in the read-only folder"
  read_only_result="window after $window_after s, Escape: exit 0, log complete in ~/.local/state/velmor-demo/Data/Logs/ (stderr: the launcher's line and $((stderr_lines - 1)) of the demo's)"
}

cached_system
check_system_is_clean "$lower"
mount_system "$lower"
add_viewer
start_x_server
viewer_command
unpack_release
check_libraries
run_whole_demo
run_read_only

echo "check_linux: PASS in $((SECONDS - started)) s (clean $suite system: $system_made)"
echo "  ldd:        $ldd_result"
printf -v scenes '%s, ' "${shot_colours[@]}"
echo "  colours:    ${scenes%, }"
echo "  whole demo: $whole_result"
echo "  read-only:  $read_only_result"
echo "  pictures and logs: $out"
