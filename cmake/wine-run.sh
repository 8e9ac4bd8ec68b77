#!/bin/sh
# Runs a Windows program under wine64: wine-run.sh WINE64 PROGRAM.exe ARGS...
# One wine server, with wine's own background programs, serves every run and
# outlives the gaps between them (a server that is ending refuses the next
# run's programs). They are started here with no output of their own: those a
# run starts keep that run's standard output and error open, and whoever
# reads them waits for the server to end.
wine=$1
shift
server=$(dirname "$wine")/wineserver
[ -x "$server" ] || server=wineserver
(
  flock 9
  # A server already running answers 2 and is left alone. The lock stays
  # with this shell, not with the server and programs it starts.
  if "$server" -p60 </dev/null >/dev/null 2>&1 9>&-; then
    WINEDEBUG=-all "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"${TMPDIR:-/tmp}/wine-run-$(id -u).lock"
WINEDEBUG=-all exec "$wine" "$@"
