#!/bin/sh
# Runs a Windows executable under Wine for ctest: wine-run.sh PREFIX PROGRAM [ARGS...]
# The prefix is booted once, with Wine's helper processes detached from our output: otherwise
# they inherit ctest's pipe and every test waits on them. The server must not inherit the
# lock either, or it would hold it for as long as it lingers.
set -u
WINEPREFIX=$1; shift
# A test may add overrides of its own (WINEDLLOVERRIDES in its environment).
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
mkdir -p "$WINEPREFIX"
(
  flock 9
  # wineboot also (re)starts the prefix's services when the server had gone idle; started
  # from here they hold /dev/null rather than our caller's pipe.
  wineserver -p30 >/dev/null 2>&1 </dev/null 9>&-
  "$WINE" wineboot >/dev/null 2>&1 </dev/null 9>&-
) 9>"$WINEPREFIX.lock"
exec "$WINE" "$@"
