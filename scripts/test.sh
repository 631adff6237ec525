#!/usr/bin/env bash
# The test command. Installs what is missing (scripts/setup.sh), builds the
# three builds (host, win32, win64), runs every test with ctest (the Windows
# ones under Wine), gives each fuzz target a timed run, builds the release
# binaries and packages (scripts/package.sh; "release") and runs the
# end-to-end test on the release libraries and the installer's install test
# (scripts/install-test.sh), checks that every Windows binary imports system
# DLLs only and that the packaged ones carry the version resource, prints a
# summary and, as its last line,
#
#   N passed, M failed[, K skipped]
#
# N and M count ctest entries (one per test executable) over all builds; a
# step that fails outside ctest (a build, a fuzz run, a benchmark run, an
# import check) adds one to M; the install test counts as one entry. K counts
# the test runs and steps this machine cannot start (32-bit programs where
# neither the kernel nor the emulated route of scripts/qemu-route.sh runs
# them): built, reported, not run. Exits non-zero when M > 0.
#
# Where the kernel runs no 32-bit code, the x86 suites, benchmarks and the
# real (32-bit) installer run through that route (ZK_WINE32=qemu, see
# scripts/wine-env.sh): the x86 ctest entries then get their timeouts
# multiplied by ZK_EMULATED_TIMEOUT_FACTOR (default 3: in one run on a
# minimal Debian 12, qemu 10.0.2, 2 cores, every x86 entry took 1.1-2.2 times
# as long as its x64 twin), and the benchmarks run but print no figures to the
# summary (they would measure the emulator).
#
#   bash scripts/test.sh [build...]     builds: host win32 win64 release (default: all)
#
# Environment: ZK_FUZZ_SECONDS (default 30) per fuzz target, ZK_JOBS (default
# 2) parallel compile jobs.
#
# Wine: one prefix, build/wineprefix, serves win32 and win64 (see
# scripts/wine-env.sh); it is created once, in the background while the code
# compiles. A warm wineserver is started before the Windows tests and stopped
# at the end; so is an Xvfb when DISPLAY is unset.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh

fuzz_seconds="${ZK_FUZZ_SECONDS:-30}"
jobs="${ZK_JOBS:-2}"
if [ $# -gt 0 ]; then builds=("$@"); else builds=(host win32 win64 release); fi
for b in "${builds[@]}"; do
  case "$b" in host|win32|win64|release) ;; *) echo "test.sh: unknown build '$b' (host, win32, win64, release)" >&2; exit 2 ;; esac
done

logs="$root/build/logs"
prefix="$root/build/wineprefix"
passed=0        # ctest entries passed, all builds
failed=0        # ctest entries failed + failed steps
summary=()      # lines for the summary
declare -A built=()

note() { summary+=("$*"); }
skipped=0       # ctest entries and steps this machine cannot run
# runs_here BUILD: false for the x86 builds on a machine that has no way to
# run 32-bit programs (scripts/wine-env.sh, zk_wine_loader_pick).
runs_here() { case "$1" in win32*) [ "${ZK_WINE32:-yes}" != no ] ;; *) return 0 ;; esac; }
skip_32bit() {
  skipped=$((skipped + 1))
  note "SKIPPED $* : no 32-bit program can run here: ${ZK_WINE32_WHY:-unknown}; built, not run"
}
emulated() { case "$1" in win32*) [ "${ZK_WINE32:-}" = qemu ] ;; *) return 1 ;; esac; }
step_failed() { failed=$((failed + 1)); note "FAILED  $*"; }
elapsed() { echo $(( $(date +%s) - $1 ))s; }
banner() { printf '\n=== %s\n' "$*"; }

wants_cross=false
for b in "${builds[@]}"; do [ "$b" != host ] && wants_cross=true; done

prefix_job=""
server_started=false
cleanup() {
  if [ -n "$prefix_job" ]; then kill "$prefix_job" 2>/dev/null; wait "$prefix_job" 2>/dev/null; fi
  if $server_started; then zk_wine_env "$prefix"; zk_wine_server_stop; fi
  zk_xvfb_stop
}
trap cleanup EXIT
trap 'exit 130' INT TERM

finish() {
  banner "Summary"
  local line
  for line in "${summary[@]}"; do echo "$line"; done
  echo
  if [ "$skipped" -gt 0 ]; then
    echo "$passed passed, $failed failed, $skipped skipped"
  else
    echo "$passed passed, $failed failed"
  fi
  [ "$failed" -eq 0 ]
  exit $?
}

# --- Packages --------------------------------------------------------------------
banner "Packages (scripts/setup.sh)"
t=$(date +%s)
if ! bash scripts/setup.sh; then
  step_failed "scripts/setup.sh"
  finish
fi
note "time    packages checked in $(elapsed "$t")"
mkdir -p "$logs"

# --- Wine prefix, in the background while we compile ---------------------------------
if $wants_cross; then
  zk_wine_env "$prefix"
  case "$ZK_WINE32" in
    yes) note "x86     32-bit programs run natively (wine32:i386)" ;;
    qemu) note "x86     32-bit programs run emulated: Wine's i386 loader under $(head -n 2 "$(zk_qemu_route_dir)/ready" | tr '\n' ' ')($(zk_qemu_route_dir))" ;;
    *) note "x86     no 32-bit program can run: $ZK_WINE32_WHY" ;;
  esac
  if [ -f "$prefix/system.reg" ]; then
    note "time    Wine prefix build/wineprefix already there"
  else
    (
      t=$(date +%s)
      zk_wine_prefix_ensure
      rc=$?
      echo $(( $(date +%s) - t )) >"$logs/prefix-seconds"
      exit $rc
    ) &
    prefix_job=$!
  fi
fi

# --- Builds ---------------------------------------------------------------------------
for b in "${builds[@]}"; do
  banner "Build $b"
  t=$(date +%s)
  if [ "$b" = release ]; then
    # Both release builds and the packages. The starter library's shortcuts
    # are written under Wine in build/wineprefix; a prefix still being made
    # in the background is waited for through its lock.
    if bash scripts/package.sh 2>&1 | tee "$logs/package.log"; then
      built[win32-release]=1
      built[win64-release]=1
      note "build   release: win32-release, win64-release and the packages built in $(elapsed "$t") (build/logs/package.log)"
    else
      step_failed "release builds or packages (build/logs/package.log)"
    fi
    continue
  fi
  # Emulated x86 programs run several times slower (scripts/qemu-route.sh);
  # their ctest entries get longer timeouts, the others keep theirs.
  factor=1
  emulated "$b" && factor="${ZK_EMULATED_TIMEOUT_FACTOR:-3}"
  if ! cmake --preset "$b" -DZK_TEST_TIMEOUT_FACTOR="$factor" >"$logs/$b-configure.log" 2>&1; then
    tail -n 40 "$logs/$b-configure.log"
    step_failed "configure $b (build/logs/$b-configure.log)"
    continue
  fi
  if ! cmake --build --preset "$b" -j "$jobs" >"$logs/$b-build.log" 2>&1; then
    grep -E -A3 'error|Error' "$logs/$b-build.log" | head -n 60
    step_failed "build $b (build/logs/$b-build.log)"
    continue
  fi
  built[$b]=1
  warnings=$(grep -c 'warning:' "$logs/$b-build.log")
  grep 'warning:' "$logs/$b-build.log" | sort -u | head -n 20
  note "build   $b: built in $(elapsed "$t"), $warnings compiler warnings (build/logs/$b-build.log)"
  echo "built in $(elapsed "$t")"
done

# --- ctest ------------------------------------------------------------------------------
# run_ctest BUILD: runs the build's tests, adds its counts to the totals and
# notes them together with the GoogleTest case counts from the XML reports.
run_ctest() {
  local b="$1" bin="$root/build/$1/bin" log="$logs/$1-ctest.log" t
  banner "Tests $b"
  t=$(date +%s)
  rm -f "$bin"/*.gtest.xml
  local junit="$logs/$1-ctest.junit.xml"
  rm -f "$junit"
  ctest --preset "$b" --output-junit "$junit" 2>&1 | tee "$log"
  # The counts come from ctest's JUnit report: one <testcase> per entry with
  # status "run" (passed), "fail", "notrun" (not started: counted as failed)
  # or "disabled".
  local total=0 bad=0 failed_names=""
  if [ -f "$junit" ]; then
    local statuses
    statuses=$(grep -oE '<testcase name="[^"]*" [^>]*status="[a-z]+"' "$junit" |
      sed -E 's/<testcase name="([^"]*)".*status="([a-z]+)"/\2 \1/')
    total=$(grep -cvE '^disabled ' <<<"$statuses" || true)
    bad=$(grep -cE '^(fail|notrun) ' <<<"$statuses" || true)
    failed_names=$(grep -E '^(fail|notrun) ' <<<"$statuses" | cut -d' ' -f2- | tr '\n' ' ' || true)
    [ -n "$statuses" ] || total=0
  elif ! grep -q 'No tests were found' "$log"; then
    step_failed "ctest $b did not report (build/logs/$b-ctest.log)"
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))

  # GoogleTest cases, from the <name>.gtest.xml each test executable wrote.
  local cases=0 case_bad=0 skipped=0 reports=0 x
  for x in "$bin"/*.gtest.xml; do
    [ -f "$x" ] || continue
    reports=$((reports + 1))
    read -r n f d e < <(grep -m1 '<testsuites ' "$x" |
      sed -nE 's/.* tests="([0-9]+)" failures="([0-9]+)" disabled="([0-9]+)" errors="([0-9]+)".*/\1 \2 \3 \4/p')
    [ -n "${e:-}" ] || continue
    s=$(grep -o '<testsuite [^>]*skipped="[0-9]*"' "$x" | sed -E 's/.*skipped="([0-9]+)"/\1/' | awk '{s+=$1} END {print s+0}')
    cases=$((cases + n - f - e - d - s))
    case_bad=$((case_bad + f + e))
    skipped=$((skipped + s + d))
  done
  note "tests   $b: $((total - bad)) passed, $bad failed in $(elapsed "$t")" \
       "(test cases: $cases passed, $case_bad failed, $skipped skipped or disabled; $reports reports)"
  if [ "$bad" -gt 0 ]; then
    note "        failed in $b: $failed_names"
  fi
}

if [ -n "${built[host]:-}" ]; then
  run_ctest host
fi

# --- Fuzzing (host) ----------------------------------------------------------------------
if [ -n "${built[host]:-}" ] && [ -s "$root/build/host/fuzzers.txt" ]; then
  while read -r name exe; do
    banner "Fuzz $name for ${fuzz_seconds}s"
    dir="$root/build/host/fuzz/$name"
    mkdir -p "$dir/corpus"
    log="$logs/$name.log"
    if "$exe" -max_total_time="$fuzz_seconds" -timeout=25 -print_final_stats=1 \
         -artifact_prefix="$dir/" "$dir/corpus" >"$log" 2>&1; then
      runs=$(grep -o 'Done [0-9]* runs' "$log" | grep -o '[0-9]*')
      inputs=$(find "$dir/corpus" -type f | wc -l)
      echo "$name: ${runs:-?} inputs tried, corpus of $inputs"
      note "fuzz    $name: ${runs:-?} inputs in ${fuzz_seconds}s, no failure; corpus of $inputs in build/host/fuzz/$name"
    else
      grep -v '^    #' "$log" | tail -n 30
      step_failed "fuzz $name: see build/logs/$name.log; the input is in build/host/fuzz/$name/"
    fi
  done <"$root/build/host/fuzzers.txt"
fi

# --- Windows tests under Wine -----------------------------------------------------------
cross_built=()
for b in win32 win64 win32-release win64-release; do [ -n "${built[$b]:-}" ] && cross_built+=("$b"); done

if [ ${#cross_built[@]} -gt 0 ]; then
  banner "Wine"
  zk_wine_env "$prefix"
  prefix_ok=true
  if [ -n "$prefix_job" ]; then
    wait "$prefix_job" || prefix_ok=false
    prefix_job=""
    $prefix_ok && note "time    Wine prefix build/wineprefix created in $(cat "$logs/prefix-seconds")s (in the background)"
  fi
  if ! $prefix_ok || ! zk_wine_prefix_ensure; then
    step_failed "Wine prefix build/wineprefix (build/wineprefix.log)"
  else
    zk_xvfb_start || step_failed "Xvfb"
    echo "DISPLAY=${DISPLAY:-}"
    # A server left from an earlier session may know another display.
    zk_wine_server_stop
    server_started=true
    zk_wine_server_ensure 3600
    echo "wineserver warm for $prefix"
    for b in "${cross_built[@]}"; do
      if ! runs_here "$b"; then skip_32bit "tests $b"; continue; fi
      run_ctest "$b"
      emulated "$b" && note "        $b ran through the emulated route (Wine's 32-bit loader under qemu-i386)"
    done
    # Benchmarks, each run once on a small size so that they keep working; no
    # time is asserted, a failure to run counts as a failed step.
    for b in "${cross_built[@]}"; do
      # The release builds leave the benchmarks out.
      case "$b" in win32|win64) ;; *) continue ;; esac
      if ! runs_here "$b"; then skip_32bit "benchmarks $b"; continue; fi
      for run in "library_bench 20 1" "menudraw_bench 20 1" "catalogue_memory_bench 20 5"; do
        read -r name args <<<"$run"
        log="$logs/$b-$name.log"
        # shellcheck disable=SC2086
        if "$root/cmake/wine-run.sh" --prefix "$prefix" "$root/build/$b/bin/$name.exe" $args >"$log" 2>&1; then
          if emulated "$b"; then
            note "bench   $b: $run ran; figures not measured: emulated (qemu-i386 times the emulator, not the code)"
          else
            note "bench   $b: $run ran, $(grep -c 'ratio' "$log") ratios printed (build/logs/$b-$name.log)"
          fi
        else
          tail -n 20 "$log"
          step_failed "bench $b: $run (build/logs/$b-$name.log)"
        fi
      done
    done

    # The installer, installed and removed again in the shared prefix (it
    # runs after the other tests, which see nothing of it once it is gone).
    # Where no 32-bit program runs (no route at all), the shipped installer
    # (a 32-bit program) cannot start: the test takes a 64-bit build of the
    # same installer script instead, made from CPack's generated script, and
    # reports what needs the x86 programs as not run. Through the emulated
    # route the real installer runs.
    if [ -n "${built[win64-release]:-}" ]; then
      banner "Install test"
      t=$(date +%s)
      setup_args=() what="install test"
      [ "$ZK_WINE32" = qemu ] && what="install test (the real installer, emulated)"
      if [ "$ZK_WINE32" = no ]; then
        variant="$root/build/packages/test/Zentrik-$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)-setup-amd64-test.exe"
        mkdir -p "$(dirname "$variant")"
        rm -f "$variant"
        makensis -V2 -DZK_TEST_NO_32BIT "-DZK_TEST_OUTFILE=$variant" \
          "$root/build/packages/_CPack_Packages/win64/NSIS/project.nsi" >"$logs/install-test-variant.log" 2>&1
        setup_args=("$variant") what="install test (a 64-bit build of the installer)"
        skip_32bit "install test: the x86 registration and the x86 shell_host"
      fi
      if [ "$ZK_WINE32" = no ] && [ ! -f "${setup_args[0]}" ]; then
        step_failed "install test: the 64-bit test build of the installer was not made (build/logs/install-test-variant.log)"
      elif ZK_INSTALL_TEST_NO_32BIT=$([ "$ZK_WINE32" = no ] && echo 1) \
           bash scripts/install-test.sh "${setup_args[@]}" 2>&1 | tee "$logs/install-test.log"; then
        passed=$((passed + 1))
        note "install $what: passed in $(elapsed "$t") (build/logs/install-test.log)"
      else
        step_failed "$what (build/logs/install-test.log)"
      fi
    fi
  fi
fi

# --- Packages: what the zips hold -----------------------------------------------------
version=$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
if [ -n "${built[win64-release]:-}" ]; then
  banner "Packages"
  for a in win32 win64; do
    zip="$root/build/packages/Zentrik-$version-$a.zip"
    unpacked="$root/build/packages/check-$a"
    rm -rf "$unpacked"
    if ! unzip -q "$zip" -d "$unpacked"; then step_failed "package $zip cannot be unpacked"; continue; fi
    # Version 0.5.6 is stored as product version "0, 5, 0, 1".
    product="$(cut -d. -f1 <<<"$version"), $(cut -d. -f2 <<<"$version"), 0, 1"
    for f in Zentrik.dll Zentprops.exe; do
      p="$unpacked/Zentrik-$version-$a/$f"
      resource=$(x86_64-w64-mingw32-strings -el "$p" 2>/dev/null)
      if ! grep -qx ProductVersion <<<"$resource" || ! grep -qx "$product" <<<"$resource"; then
        step_failed "package $a: $f carries no version resource with product version $product"
      fi
    done
    echo "Zentrik-$version-$a.zip: $(unzip -Z1 "$zip" | grep -vc '/$') files, $(stat -c %s "$zip") bytes"
    note "package Zentrik-$version-$a.zip: $(unzip -Z1 "$zip" | grep -vc '/$') files, $(stat -c %s "$zip") bytes"
  done
  note "package Zentrik-$version-setup.exe: $(stat -c %s "$root/build/packages/Zentrik-$version-setup.exe" 2>/dev/null) bytes"
  cross_built+=(packages)
fi

# --- Imports of the Windows binaries -----------------------------------------------------
system_dll='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|version|msvcrt|shlwapi|comdlg32|oleacc)\.dll$|^api-ms-win-crt-.*\.dll$'
for b in "${cross_built[@]}"; do
  banner "Imports $b"
  count=0
  bad=0
  while IFS= read -r -d '' f; do
    count=$((count + 1))
    dlls=$(x86_64-w64-mingw32-objdump -p "$f" | awk '/DLL Name:/ {print $3}')
    others=$(grep -viE "$system_dll" <<<"$dlls" | tr '\n' ' ')
    if [ -n "${others// /}" ]; then
      bad=$((bad + 1))
      echo "${f#"$root"/}: imports $others"
      step_failed "imports: ${f#"$root"/} imports $others"
    fi
  done < <(find "$root/build/$b" -name CMakeFiles -prune -o -name _CPack_Packages -prune -o \( -iname '*.exe' -o -iname '*.dll' \) -type f -print0)
  echo "$count binaries, $bad with imports other than system DLLs"
  [ "$bad" -eq 0 ] && note "imports $b: all $count .exe/.dll files import system DLLs only"
done

finish
