#!/bin/sh
# Runs a Windows executable under Wine for ctest: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is booted once, with Wine's helper processes detached from our output: otherwise
# they inherit ctest's pipe and every test waits on them.
set -u
WINEPREFIX=$1; shift
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.booted" ]; then
    wineserver -p30 >/dev/null 2>&1 </dev/null
    "$WINE" wineboot >/dev/null 2>&1 </dev/null
    touch "$WINEPREFIX/.booted"
  else
    wineserver -p30 >/dev/null 2>&1 </dev/null
  fi
) 9>"$WINEPREFIX.lock"
exec "$WINE" "$@"
