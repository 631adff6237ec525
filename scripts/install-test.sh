#!/usr/bin/env bash
# The installer end to end under Wine, as a user installs and removes it:
#
#   bash scripts/install-test.sh [SETUP_EXE]
#
# (default: build/packages/Zentrik-<version>-setup.exe; the release builds
# build/win32-release and build/win64-release supply shell_host). Needs
# WINEPREFIX (a 64-bit prefix), DISPLAY and a warm wineserver; scripts/test.sh
# runs it in build/wineprefix after the other tests.
#
#  1. setup.exe /S installs into %LOCALAPPDATA%\Programs\Zentrik;
#  2. the files, the Start-menu shortcut, the Apps & features entry and the
#     registration of both architectures (64- and 32-bit registry views) are
#     as documented;
#  3. shell_host of each architecture creates the extension through the
#     registry (CoCreateInstance) for a .txt file and gets the starter
#     actions;
#  4. a shortcut the user adds to a starter group, and a starter the user
#     edits (its target changed, as on a Windows not in C:\Windows);
#  5. the upgrade while the shell holds the library: with the x64 shell_host
#     showing a menu (the library loaded), the same setup.exe /S again (the
#     same package twice: what is checked is that the file in use is
#     replaced, not its version) exits with 0, the loaded library is moved
#     aside and a new file takes its name, a new process loads it, the
#     edited starter is kept, and the clean-up at the next sign-in removes
#     the copy moved aside;
#  6. Uninstall.exe /S while the library is loaded again removes every
#     installed file, the shortcuts and every registry entry, keeps the
#     user's shortcut, the edited starter and their folder, leaves only the
#     library in use (with the clean-up scheduled, as its message says), and
#     after the clean-up nothing else;
#  7. Zentprops.exe /enable of a copy in a folder open to everyone registers
#     for the current user only and says why.
#
# The clean-up at sign-in is the current user's RunOnce entry. Windows runs
# those when the user signs in; Wine 8 runs only the machine's RunOnce
# entries, when a new session starts (measured), so sign_in moves the entry
# there and starts a new session: the command line is run by the system as
# Windows would run it.
#
# ZK_INSTALL_TEST_NO_32BIT=1 is the run on a machine that runs no 32-bit
# programs, with the 64-bit test build of the installer (ZK_TEST_NO_32BIT in
# packaging/NSIS.template.in) as SETUP_EXE: the x86 files are installed and
# removed as usual, but the checks that need the x86 Zentprops.exe or
# shell_host to run are reported as skipped.
# Prints one line per check; exits 0 when every check passed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
: "${WINEPREFIX:?set WINEPREFIX}"
. scripts/wine-env.sh
zk_wine_loader_pick
version=$(sed -nE 's/^project\(Zentrik VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
setup=${1:-build/packages/Zentrik-$version-setup.exe}
clsid='{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zentrik'

no32=${ZK_INSTALL_TEST_NO_32BIT:-}
archs=(win64 win32)
[ -n "$no32" ] && archs=(win64)
failures=0
skip() { echo "SKIPPED $1 (this machine runs no 32-bit programs)"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@" >/dev/null 2>&1; then echo "ok      $what"; else echo "FAILED  $what"; failures=$((failures + 1)); fi
}
wine_q() { wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
reg_value() {  # reg_value KEY NAME [/reg:32|/reg:64]: the value's data, or nothing
  local name=(/v "$2"); [ "$2" = "" ] && name=(/ve)
  wine_q reg query "$1" "${name[@]}" ${3:+"$3"} | awk -F'    ' 'NF >= 4 {print $4}'
}
reg_absent() { ! wine reg query "$@" </dev/null >/dev/null 2>&1; }
lacks() { ! grep -q "$1" <<<"$2"; }
runonce_key='HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce'
machine_runonce_key='HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce'
cleanup_value='Zentrik clean-up'

# hold_library: the x64 shell_host shows the Zentrik menu for a .txt file
# and keeps it open, so the installed library stays loaded until
# release_library. Waits until the host has had time to load it.
holder=""
hold_library() {
  wine "$work/shell_host-win64.exe" --com --quiet --track right --hold-ms 120000 'C:\zentrik-install-test\notes.txt' \
    </dev/null >"$work/holder.out" 2>&1 &
  holder=$!
  sleep 5
}
release_library() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
  holder=""
}

# sign_in: what the user's next sign-in runs (see above). True when the
# clean-up entry was there and has run.
sign_in() {
  local command
  command=$(reg_value "$runonce_key" "$cleanup_value")
  [ -n "$command" ] || return 1
  wine reg delete "$runonce_key" /v "$cleanup_value" /f </dev/null >/dev/null 2>&1
  wine reg add "$machine_runonce_key" /v "$cleanup_value" /d "$command" /f </dev/null >/dev/null 2>&1
  [ "$(reg_value "$machine_runonce_key" "$cleanup_value")" = "$command" ] || return 1
  wineserver -k; wineserver -w
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  local i
  for i in $(seq 1 100); do
    [ -z "$(reg_value "$machine_runonce_key" "$cleanup_value")" ] && sleep 1 && return 0
    sleep 0.2
  done
  return 1
}
moved_aside() { compgen -G "$1/Zentrik.dll.*.old" >/dev/null; }
# mirror_registration: the installer registers for the current user (under
# Wine no folder is one only administrators may change), and Wine 8's COM
# reads no per-user classes (ENGINEERING.md §6). So that shell_host creates
# the extension through the registry as the user's shell would on Windows,
# the same entries go into the machine's classes (Windows' merged view shows
# the user's entries to the user's programs). /disable removes them too.
# The handler key's parents: files, folders, folder backgrounds, drives.
handler_parents=('*' 'Directory' 'Directory\Background' 'Drive')
mirror_registration() {
  local b view path
  for b in "${archs[@]}"; do
    view=/reg:64; path="$dir_win\\Zentrik.dll"
    [ "$b" = win32 ] && view=/reg:32 && path="$dir_win\\x86\\Zentrik.dll"
    wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid" /ve /d Zentrik.dll /f $view >/dev/null
    wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$path" /f $view >/dev/null
    wine_q reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel /d Apartment /f $view >/dev/null
  done
  for parent in "${handler_parents[@]}"; do
    wine_q reg add "HKLM\\Software\\Classes\\$parent\\shellex\\ContextMenuHandlers\\ZentrikMenu" /ve /d "$clsid" /f >/dev/null
  done
}

[ -f "$setup" ] || { echo "install-test: no $setup (bash scripts/package.sh)" >&2; exit 1; }
localappdata=$(wine_q cmd /c echo %LOCALAPPDATA%)
dir_win="$localappdata\\Programs\\Zentrik"
dir=$(winepath -u "$dir_win" 2>/dev/null)
programs=$(winepath -u "$(wine_q cmd /c echo %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs" 2>/dev/null)
[ -n "$dir" ] || { echo "install-test: cannot find %LOCALAPPDATA%" >&2; exit 1; }
rm -rf "$dir"

# 1. Install.
t=$(date +%s)
wine "$setup" /S </dev/null >/dev/null 2>&1
rc=$?
check "setup.exe /S exits with 0 (exit code $rc, $(( $(date +%s) - t ))s)" test "$rc" -eq 0

# 2. Files, shortcut, Apps & features, registration.
starter=()
while IFS='|' read -r group name _; do
  starter+=("$group/$name")
done < <(grep -v '^#' packaging/starter-library.txt)
for f in Zentrik.dll Zentprops.exe x86/Zentrik.dll x86/Zentprops.exe Zentrik.msix Zentrik.cer Uninstall.exe LICENSE.txt README.txt \
         "How to add actions.txt" "${starter[@]}" "${starter[@]/#/x86/}"; do
  check "installed: $f" test -s "$dir/$f"
done
check "x64 and x86 libraries are the two architectures" \
  bash -c "x86_64-w64-mingw32-objdump -f '$dir/Zentrik.dll' | grep -q pei-x86-64 && x86_64-w64-mingw32-objdump -f '$dir/x86/Zentrik.dll' | grep -q pei-i386"
check "Start-menu shortcut Zentrik Settings.lnk" test -f "$programs/Zentrik Settings.lnk"
check "Start-menu shortcut Zentrik Actions.lnk" test -f "$programs/Zentrik Actions.lnk"
for v in DisplayName DisplayVersion Publisher DisplayIcon UninstallString QuietUninstallString EstimatedSize NoModify NoRepair; do
  check "Apps & features: $v = $(reg_value "$uninstall_key" "$v")" test -n "$(reg_value "$uninstall_key" "$v")"
done
check "Apps & features: DisplayVersion is $version" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
check "Apps & features: QuietUninstallString runs Uninstall.exe /S" \
  test "$(reg_value "$uninstall_key" QuietUninstallString)" = "\"$dir_win\\Uninstall.exe\" /S"
# A folder in the user's profile is the user's: registered for the current
# user only. Wine 8 keeps one view of the user's CLSID, so the x86
# registration, made last, is the one left there.
user_server=$(reg_value "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "")
if [ -n "$no32" ]; then
  check "the current user's InprocServer32 is the x64 library" test "$user_server" = "$dir_win\\Zentrik.dll"
else
  check "the current user's InprocServer32 is the x86 library (one view under Wine)" \
    test "$user_server" = "$dir_win\\x86\\Zentrik.dll"
fi
for parent in "${handler_parents[@]}"; do
  check "the current user's handler key under $parent names the class" \
    test "$(reg_value "HKCU\\Software\\Classes\\$parent\\shellex\\ContextMenuHandlers\\ZentrikMenu" "")" = "$clsid"
done
check "nothing machine-wide for a folder in the user's profile" reg_absent "HKCR\\CLSID\\$clsid" /reg:64
mirror_registration

# 3. The shell host of each architecture gets the starter actions.
work="$WINEPREFIX/drive_c/zentrik-install-test"
rm -rf "$work"; mkdir -p "$work"
printf 'notes\n' >"$work/notes.txt"
[ -n "$no32" ] && skip "win32 shell_host: the starter actions through the registry"
for b in "${archs[@]}"; do
  cp "build/$b-release/bin/shell_host.exe" "$work/shell_host-$b.exe"
  out=$(wine_q "$work/shell_host-$b.exe" --com 'C:\zentrik-install-test\notes.txt')
  check "$b shell_host: created through the registry" grep -q '^created: through the registry' <<<"$out"
  check "$b shell_host: starter action \"Edit in Notepad\" offered for a .txt file" grep -q '"Edit in Notepad"' <<<"$out"
  check "$b shell_host: starter action \"Show in Explorer\" offered for a .txt file" grep -q '"Show in Explorer"' <<<"$out"
  check "$b shell_host: no script action for a .txt file" lacks 'Run in a console window' "$out"
done

# 4. The user adds an action to a starter group and edits a starter.
user_link="$dir/${starter[0]%/*}/My own action.lnk"
cp "$dir/${starter[0]}" "$user_link"
edited="$dir/${starter[1]}"
cp "build/win64-release/bin/make_shortcut.exe" "$work/"
wine_q "$work/make_shortcut.exe" "$(winepath -w "$edited")" 'D:\Windows\System32\notepad.exe' >/dev/null
cp "$edited" "$work/edited.lnk"
check "the user's edit of ${starter[1]} is written" bash -c "! cmp -s '$edited' 'build/win64-release/packaging/starter/${starter[1]}'"

# 5. Upgrade while the shell holds the library.
hold_library
old_id=$(stat -c %i "$dir/Zentrik.dll")
t=$(date +%s)
wine "$setup" /S </dev/null >/dev/null 2>&1
rc=$?
check "upgrade: setup.exe /S with the library loaded exits with 0 (exit code $rc, $(( $(date +%s) - t ))s)" test "$rc" -eq 0
aside=$(compgen -G "$dir/Zentrik.dll.*.old" | head -n 1)
check "upgrade: the loaded library was moved aside (${aside##*/})" \
  bash -c '[ -n "$1" ] && [ "$(stat -c %i "$1")" = "$2" ]' _ "$aside" "$old_id"
check "upgrade: a new Zentrik.dll is in place" test "$(stat -c %i "$dir/Zentrik.dll")" != "$old_id"
check "upgrade: it is the packaged library" cmp -s "$dir/Zentrik.dll" build/win64-release/bin/Zentrik.dll
check "upgrade: the clean-up at the next sign-in is scheduled" test -n "$(reg_value "$runonce_key" "$cleanup_value")"
mirror_registration  # /enable of the upgrade removed the machine's entries of a user's folder
out=$(wine_q "$work/shell_host-win64.exe" --com 'C:\zentrik-install-test\notes.txt')
check "upgrade: a new process loads the new library through the registry" grep -q '^created: through the registry' <<<"$out"
check "upgrade: ... and gets the starter actions" grep -q '"Show in Explorer"' <<<"$out"
check "upgrade: the edited starter is kept" cmp -s "$edited" "$work/edited.lnk"
check "upgrade: the user's shortcut is kept" test -f "$user_link"
release_library
check "sign-in: the clean-up ran" sign_in
check "sign-in: no copy moved aside is left" bash -c "! compgen -G '$dir/Zentrik.dll.*.old'"
check "sign-in: the new library stays" cmp -s "$dir/Zentrik.dll" build/win64-release/bin/Zentrik.dll

# 6a. An uninstall that cannot remove a machine-wide entry (here a subkey
# the class key should not have keeps it: /disable fails with step 9) stops
# before removing anything and says what is left.
blocker="HKLM\\Software\\Classes\\CLSID\\$clsid\\Blocker"
wine_q reg add "$blocker" /f /reg:64 >/dev/null
wine "$dir/Uninstall.exe" /S "_?=$dir_win" </dev/null >/dev/null 2>&1
rc=$?
check "blocked uninstall: exits with an error (exit code $rc)" test "$rc" -ne 0
check "blocked uninstall: the library and the program stay" test -f "$dir/Zentrik.dll" -a -f "$dir/Zentprops.exe"
check "blocked uninstall: the Apps & features entry stays" test -n "$(reg_value "$uninstall_key" DisplayName)"
wine_q reg delete "$blocker" /f /reg:64 >/dev/null
mirror_registration

# 6. Uninstall while the library is loaded, and wait for it (_?= keeps the
# uninstaller in place; it cannot delete itself then, so that is done here).
hold_library
t=$(date +%s)
wine "$dir/Uninstall.exe" /S "_?=$dir_win" </dev/null >/dev/null 2>&1
rc=$?
rm -f "$dir/Uninstall.exe"
check "Uninstall.exe /S exits with 0 (exit code $rc, $(( $(date +%s) - t ))s)" test "$rc" -eq 0
check "the library in use was moved aside" moved_aside "$dir"
check "its removal at the next sign-in is scheduled" test -n "$(reg_value "$runonce_key" "$cleanup_value")"
release_library
check "sign-in: the clean-up ran" sign_in
rmdir "$dir" 2>/dev/null
check "no class key in the 64-bit view" reg_absent "HKCR\\CLSID\\$clsid" /reg:64
check "no class key in the 32-bit view" reg_absent "HKCR\\CLSID\\$clsid" /reg:32
for parent in "${handler_parents[@]}"; do
  check "no handler key under $parent" reg_absent "HKCR\\$parent\\shellex\\ContextMenuHandlers\\ZentrikMenu"
done
check "no per-user class key" reg_absent "HKCU\\Software\\Classes\\CLSID\\$clsid"
check "no Apps & features entry" reg_absent "$uninstall_key"
check "no Start-menu shortcut" test ! -e "$programs/Zentrik Settings.lnk"
check "no Zentrik Actions shortcut" test ! -e "$programs/Zentrik Actions.lnk"
check "no clean-up entry left" test -z "$(reg_value "$runonce_key" "$cleanup_value")$(reg_value "$machine_runonce_key" "$cleanup_value")"
check "the user's shortcut is kept" test -f "$user_link"
check "the edited starter is kept" cmp -s "$edited" "$work/edited.lnk"
left=$(cd "$dir" 2>/dev/null && find . -mindepth 1 ! -path "./${starter[0]%/*}" ! -path "./${starter[0]%/*}/My own action.lnk" \
       ! -path "./${starter[1]%/*}" ! -path "./${starter[1]}")
check "nothing else is left in the install folder${left:+: $(tr '\n' ' ' <<<"$left")}" test -z "$left"

# 7. A copy in a folder everyone may write (Wine reports the Unix bits as an
# Everyone entry): /enable registers it for the current user and says why.
open_dir="$WINEPREFIX/drive_c/zentrik-open"
rm -rf "$open_dir"; mkdir -p "$open_dir"; chmod 777 "$open_dir"
cp build/win64-release/bin/Zentprops.exe build/win64-release/bin/Zentrik.dll "$open_dir/"
out=$(wine_q 'C:\zentrik-open\Zentprops.exe' /enable /quiet)
rc=$?
check "open folder: /enable exits with 0" test "$rc" -eq 0
check "open folder: the message says why it is the current user only ($out)" grep -q 'current user only: users other than administrators' <<<"$out"
check "open folder: no machine-wide class key" reg_absent "HKCR\\CLSID\\$clsid" /reg:64
check "open folder: the current user's class key names the copy" \
  test "$(reg_value "HKCU\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" "")" = 'C:\zentrik-open\Zentrik.dll'
wine_q 'C:\zentrik-open\Zentprops.exe' /disable /quiet >/dev/null
check "open folder: /disable removes it" reg_absent "HKCU\\Software\\Classes\\CLSID\\$clsid"

release_library
rm -rf "$dir" "$work" "$open_dir"
echo
if [ "$failures" -eq 0 ]; then echo "install-test: every check passed"; else echo "install-test: $failures checks failed"; fi
[ "$failures" -eq 0 ]
