#!/usr/bin/env bash
# Runs Windows programs of the cross build under wine, in a prefix of our own.
#   wine_run.sh start          makes the prefix once, starts a persistent wineserver
#   wine_run.sh run EXE ARGS   runs EXE under wine, exits with its status; with
#                              KOVIRW_WINE_KOREAN=1 in a Korean locale (ANSI code page 949)
#   wine_run.sh stop           stops the wineserver, every wine process of the prefix and
#                              the X server
# WINEPREFIX must name the prefix (the build tree's, never the user's ~/.wine).
# KOVIRW_WINE_BITS=64: the programs are 64-bit; they run under wine64 in a 64-bit prefix (the
# Debian wine command always takes the 32-bit loader when wine32 is installed, and some
# kernels run no 32-bit program at all). Otherwise 32-bit, under the wine command. Windows get an
# X server of their own (Xvfb) on a free display, and Hangul a font: NanumGothic (fonts-nanum)
# stands in for the dialog fonts, which wine draws without Korean glyphs.
# Wine's helper processes inherit and keep open the output they were started with: a
# server started by the first program would hold ctest's pipes open and hang it, so the
# server is started here with its output sent elsewhere.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
case "$WINEPREFIX" in "$HOME/.wine"|"$HOME/.wine/") echo "wine_run.sh: refusing the user's ~/.wine" >&2; exit 2 ;; esac
export WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${KOVIRW_WINE_BITS:-32}" = 64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  wine=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  wine=wine
fi
# Wine takes the ANSI code page and the encoding of Unix file names from LC_CTYPE; a Korean
# locale compiled beside the prefix serves machines that have none installed.
locales=$(dirname "$WINEPREFIX")/wine-locales
xvfb_env=$(dirname "$WINEPREFIX")/xvfb.env
if [ -f "$xvfb_env" ]; then export DISPLAY; DISPLAY=$(cut -d' ' -f1 "$xvfb_env"); fi

# Starts Xvfb on the first display free on this machine and records "DISPLAY PID".
start_xvfb() {
  command -v Xvfb >/dev/null || { echo "wine_run.sh: no Xvfb: windows cannot be shown" >&2; return 0; }
  if [ -f "$xvfb_env" ] && kill -0 "$(cut -d' ' -f2 "$xvfb_env")" 2>/dev/null; then return 0; fi
  local n pid
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      echo ":$n $pid" >"$xvfb_env"; export DISPLAY=":$n"; return 0
    fi
  done
  echo "wine_run.sh: no free display for Xvfb" >&2; return 1
}

# NanumGothic in the prefix's font folder, named in place of the dialog and message fonts;
# windows drawn with their own title bar, as no window manager runs on the X server.
window_look() {
  local ttf=/usr/share/fonts/truetype/nanum/NanumGothic.ttf reg=$WINEPREFIX/window-look.reg
  [ -f "$WINEPREFIX/window-look.done" ] && return 0
  [ -f "$ttf" ] || { echo "wine_run.sh: $ttf missing (fonts-nanum): Hangul shows as boxes" >&2; return 0; }
  cp "$ttf" "$WINEPREFIX/drive_c/windows/Fonts/"
  printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n' >"$reg"
  local face
  for face in "MS Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2" "Tahoma"; do
    printf '"%s"="NanumGothic"\r\n' "$face" >>"$reg"
  done
  printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Decorated"="N"\r\n' >>"$reg"
  "$wine" regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1
  touch "$WINEPREFIX/window-look.done"
}

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      "$wine" wineboot -i </dev/null >"$WINEPREFIX/../wineboot.log" 2>&1
      wineserver -w
    fi
    if [ ! -f "$locales/ko_KR.UTF-8/LC_CTYPE" ]; then
      mkdir -p "$locales"
      localedef -i ko_KR -f UTF-8 "$locales/ko_KR.UTF-8" >/dev/null 2>&1 || true
      [ -f "$locales/ko_KR.UTF-8/LC_CTYPE" ] || { echo "wine_run.sh: cannot make the ko_KR.UTF-8 locale" >&2; exit 1; }
    fi
    start_xvfb
    # Fails when the server of an earlier start still runs: that one serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    window_look
    # The first program starts the prefix's services (the port devices among them).
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  run)
    shift
    if [ "${KOVIRW_WINE_KOREAN:-0}" = 1 ]; then
      exec env LOCPATH="$locales" LC_ALL=ko_KR.UTF-8 "$wine" "$@" </dev/null
    fi
    exec "$wine" "$@" </dev/null
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    if [ -f "$xvfb_env" ]; then kill "$(cut -d' ' -f2 "$xvfb_env")" 2>/dev/null || true; rm -f "$xvfb_env"; fi
    ;;
  *)
    echo "usage: wine_run.sh start|run EXE [ARGS...]|stop" >&2
    exit 2
    ;;
esac
