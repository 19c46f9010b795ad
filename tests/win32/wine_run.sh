#!/usr/bin/env bash
# Runs Windows programs of the cross build under wine, in a prefix of our own.
#   wine_run.sh start          makes the prefix once, starts a persistent wineserver
#   wine_run.sh run EXE ARGS   runs EXE under wine, exits with its status; with
#                              KOVIRW_WINE_KOREAN=1 in a Korean locale (ANSI code page 949)
#   wine_run.sh stop           stops the wineserver and every wine process of the prefix
# WINEPREFIX must name the prefix (the build tree's, never the user's ~/.wine).
# Wine's helper processes inherit and keep open the output they were started with: a
# server started by the first program would hold ctest's pipes open and hang it, so the
# server is started here with its output sent elsewhere.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
case "$WINEPREFIX" in "$HOME/.wine"|"$HOME/.wine/") echo "wine_run.sh: refusing the user's ~/.wine" >&2; exit 2 ;; esac
export WINEPREFIX WINEARCH=win32 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes the ANSI code page and the encoding of Unix file names from LC_CTYPE; a Korean
# locale compiled beside the prefix serves machines that have none installed.
locales=$(dirname "$WINEPREFIX")/wine-locales

case "${1:-}" in
  start)
    mkdir -p "$WINEPREFIX"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      wineboot -i </dev/null >"$WINEPREFIX/../wineboot.log" 2>&1
      wineserver -w
    fi
    if [ ! -f "$locales/ko_KR.UTF-8/LC_CTYPE" ]; then
      mkdir -p "$locales"
      localedef -i ko_KR -f UTF-8 "$locales/ko_KR.UTF-8" >/dev/null 2>&1 || true
      [ -f "$locales/ko_KR.UTF-8/LC_CTYPE" ] || { echo "wine_run.sh: cannot make the ko_KR.UTF-8 locale" >&2; exit 1; }
    fi
    # Fails when the server of an earlier start still runs: that one serves as well.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # The first program starts the prefix's services (the port devices among them).
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  run)
    shift
    if [ "${KOVIRW_WINE_KOREAN:-0}" = 1 ]; then
      exec env LOCPATH="$locales" LC_ALL=ko_KR.UTF-8 wine "$@" </dev/null
    fi
    exec wine "$@" </dev/null
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: wine_run.sh start|run EXE [ARGS...]|stop" >&2
    exit 2
    ;;
esac
