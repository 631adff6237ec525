#!/usr/bin/env bash
# Runs one Windows program under Wine and exits with its exit code; the
# emulator ctest puts in front of every cross-built test:
#
#   wine-run.sh --prefix <wine prefix> <program.exe> [args...]
#
# Creates the prefix on first use and keeps a warm wineserver for it (see
# scripts/wine-env.sh). Passes DISPLAY through as it finds it.
#
# The program's stdout and stderr go to a file that is copied to our stdout
# as it grows, until the program ends. Programs the test starts in turn (a
# launched tool, winevdm for a .pif, an error box nobody closes) would
# otherwise inherit ctest's pipe, and ctest would wait for them until its
# timeout although the test itself has finished.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../scripts/wine-env.sh"

prefix="${WINEPREFIX:-}"
if [ "${1:-}" = "--prefix" ]; then
  prefix="${2:-}"
  shift 2 || true
fi
if [ -z "$prefix" ] || [ $# -eq 0 ]; then
  echo "usage: wine-run.sh --prefix <wine prefix> <program.exe> [args...]" >&2
  exit 2
fi

zk_wine_env "$prefix" || exit 125
zk_wine_prefix_ensure || exit 125
zk_wine_server_ensure || exit 125

log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 125
program=""
follower=""
cleanup() {
  [ -n "$program" ] && kill "$program" 2>/dev/null
  [ -n "$follower" ] && kill "$follower" 2>/dev/null
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

started=$(date +%s%N)
wine "$@" >"$log" 2>&1 &
program=$!
tail -s 0.1 --pid="$program" -n +1 -f "$log" &
follower=$!
wait "$program"
rc=$?
program=""
wait "$follower"
follower=""
# A crash reaches us as an exit code only by chance: when winedbg ends a
# crashed program, the Unix process of the 64-bit loader exits with 0 about
# as often as with the exception's code (measured under Wine 8: 5 and 0 in
# turn across 20 runs of the same null-pointer write). Wine's own report of
# the unhandled exception, printed before the debugger starts, does not
# depend on that race; no test of ours crashes on purpose, so it fails the
# run whichever of the test's processes it came from. Under emulation
# (qemu-i386, scripts/qemu-route.sh) a hardware fault arrives as another
# exception (a null-pointer write as "wine: Unhandled illegal instruction",
# exit code 29 with Wine 8 and qemu 10.0.2): the report still starts the same.
if [ $rc -eq 0 ] && grep -q 'wine: Unhandled ' "$log"; then
  echo "wine-run: the program or one it started crashed (see the report above); counted as exit code 5" >&2
  rc=5
fi
# A failure with nothing printed leaves ctest's report empty: say at least
# how and when the run ended, so that a failure seen once can be told apart
# (a program stopped before its first line, Wine failing to start it, a
# program whose buffered output was lost with it).
if [ $rc -ne 0 ] && [ ! -s "$log" ]; then
  echo "wine-run: $1 exited with code $rc after $(( ($(date +%s%N) - started) / 1000000 )) ms and printed nothing" >&2
fi
exit $rc
