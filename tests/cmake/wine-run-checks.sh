#!/usr/bin/env bash
# Checks cmake/wine-run.sh, the runner of every Windows test: a runner that
# lost an exit code would turn failing tests green, one that let a test's
# children keep ctest's pipe would make ctest wait for them.
#
#   wine-run-checks.sh <wine-run.sh> <wine prefix> <wine_run_probe.exe>
set -u
runner=$1 prefix=$2 probe=$3
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what=$1
  shift
  if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
run() { "$runner" --prefix "$prefix" "$probe" "$@"; }

out=$(run exit 0)
rc=$?
check "exit code 0 comes back" [ $rc -eq 0 ]
check "stdout is passed on" grep -q 'probe: exit 0' <<<"$out"
check "stderr is passed on" grep -q 'probe: stderr' <<<"$out"

for code in 1 3 255; do
  run exit $code >/dev/null
  rc=$?
  check "exit code $code comes back" [ $rc -eq $code ]
done

# Output written just before the end arrives whole.
out=$(run lines 50000 | tr -d '\r')
check "all output arrives" [ "$(wc -l <<<"$out")" -eq 50000 -a "$(tail -n 1 <<<"$out")" = "line 50000" ]

run crash >/dev/null 2>&1
rc=$?
check "a crash is a failure (exit code $rc)" [ $rc -ne 0 ]

# The child sleeps 15 s holding whatever handles it inherited, ctest's pipe
# among them when the runner passes that on; the runner (and a reader of its
# output until end of file) must be done long before.
start=$(date +%s)
out=$(run spawn 15000)
rc=$?
took=$(( $(date +%s) - start ))
check "a child left running does not hold the output (${took}s)" [ $rc -eq 0 -a $took -lt 10 ]
check "output before the child's start is passed on" grep -q 'probe: spawned' <<<"$out"

echo "$failures failed"
[ $failures -eq 0 ]
