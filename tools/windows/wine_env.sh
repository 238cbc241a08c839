# Sourced by the Windows scripts: runs programs under Wine with a prefix of the
# build tree's own (made on first use), no Wine debug chatter, and no Mono or
# Gecko installers asked for.
wine_prefix=${WINEPREFIX:-$PWD/build-windows/wineprefix}
export WINEPREFIX=$wine_prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
if [ -x /usr/lib/wine/wine64 ]; then
  wine64=/usr/lib/wine/wine64
else
  wine64=$(command -v wine64 || command -v wine)
fi
wineserver=$(dirname "$wine64")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver || echo wineserver)
# Wine keeps a prefix's session (its server and desktop process) alive for a moment after
# the last program ends, and a program started meanwhile joins it, display and all: one
# started on a new X server right after one that ran without a display finds no display,
# and Direct3D 8 no OpenGL ("Failed to create D3D8 Object."). So each run waits for the
# session before it to end (a minute at most, then it is stopped).
end_wine_session() {
  timeout 60 "$wineserver" -w 2>/dev/null || "$wineserver" -k 2>/dev/null || true
}
# Makes the prefix once (wineboot), so that the first real run is not slowed down by it,
# and lets the prefix's previous session end.
ensure_wine_prefix() {
  end_wine_session
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "wine: making the prefix $WINEPREFIX (once)"
  "$wine64" wineboot --init >/dev/null 2>&1 || true
  # Sound through ALSA, which the headless runs point at a file.
  "$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1 || true
  end_wine_session
}
# Prints the end of the newest HTML log in the folder $1 as text: on a failed run
# it says what the program met (Wine's own chatter is silenced above).
show_last_log() {
  local log
  log=$(ls -t "$1"/*.html 2>/dev/null | head -n 1)
  [ -n "$log" ] || { echo "(no log in $1)"; return 0; }
  echo "--- the end of $log"
  sed -e 's/<br>/\n/g' -e 's/&nbsp;/ /g' -e 's/<[^>]*>//g' "$log" | grep -v '^ *$' | tail -n 15
}
