#!/usr/bin/env bash
# Builds the release binaries of both architectures and their packages:
#
#   bash scripts/package.sh
#
# leaves in build/packages/
#   Zentrik-<version>-win32.zip    portable folder, x86
#   Zentrik-<version>-win64.zip    portable folder, x64
#   Zentrik-<version>-setup.exe    the installer (both architectures)
#   Zentrik-<version>-x64[-selfsigned].msix, -x86[...].msix and their .cer
#                                  the Windows 11 menu's signed packages
#
# The release builds are build/win32-release and build/win64-release (presets
# of the same names); the win64 one packs the win32 one's binaries into the
# installer, so win32 is built first. The starter library's shortcuts are
# written under Wine, in the shared test prefix build/wineprefix.
# Environment: ZK_JOBS (default 2) parallel compile jobs.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
mkdir -p build/logs build/packages

. scripts/wine-env.sh
zk_wine_loader_pick
# x64 first: where this machine runs no 32-bit programs, its make_shortcut
# writes the x86 package's starter library too.
for b in win64-release win32-release; do
  echo "=== Building $b"
  writer=""
  if [ "$b" = win32-release ] && [ "$ZK_WINE32" = no ]; then
    writer="$root/build/win64-release/bin/make_shortcut.exe"
  fi
  # x86 tests run under emulation get longer timeouts (scripts/test.sh).
  factor=1
  [ "$b" = win32-release ] && [ "$ZK_WINE32" = qemu ] && factor="${ZK_EMULATED_TIMEOUT_FACTOR:-3}"
  if ! cmake --preset "$b" -DZK_SHORTCUT_WRITER="$writer" -DZK_TEST_TIMEOUT_FACTOR="$factor" \
       >"build/logs/$b-configure.log" 2>&1; then
    tail -n 40 "build/logs/$b-configure.log"; echo "package: configuring $b failed" >&2; exit 1
  fi
  if ! cmake --build --preset "$b" -j "${ZK_JOBS:-2}" >"build/logs/$b-build.log" 2>&1; then
    grep -E -A3 'error|Error' "build/logs/$b-build.log" | head -n 40; echo "package: building $b failed" >&2; exit 1
  fi
done
# The x64 package's installer takes the x86 binaries too: x86 first.
for b in win32-release win64-release; do
  echo "=== Packaging $b"
  if ! (cd "build/$b" && cpack) >"build/logs/$b-package.log" 2>&1; then
    tail -n 40 "build/logs/$b-package.log"; echo "package: cpack in build/$b failed" >&2; exit 1
  fi
done

version=$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
# The Windows 11 packages (and their certificates) the release builds made:
# Zentrik-<version>-x64.msix / -x86.msix, "-selfsigned" before the dot when
# no certificate was given (ZK_MSIX_PFX).
msix=()
for b in win64-release win32-release; do
  for f in "build/$b"/msix/Zentrik-"$version"-*.msix "build/$b"/msix/Zentrik-"$version"-*.cer; do
    [ -f "$f" ] || continue
    cp "$f" build/packages/ && msix+=("$(basename "$f")")
  done
done
status=0
for f in "Zentrik-$version-win32.zip" "Zentrik-$version-win64.zip" "Zentrik-$version-setup.exe" "${msix[@]}"; do
  if [ -f "build/packages/$f" ]; then
    echo "build/packages/$f ($(stat -c %s "build/packages/$f") bytes)"
  else
    echo "package: build/packages/$f was not made" >&2
    status=1
  fi
done
exit $status
