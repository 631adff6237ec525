# Wine and X helpers shared by cmake/wine-run.sh, scripts/test.sh and
# scripts/demo.sh. Source it; it defines functions and changes nothing else.
#
# One Wine prefix serves both cross builds (build/wineprefix): a default
# 64-bit (WoW64) prefix runs 32- and 64-bit programs alike, with 32- and 64-bit
# registry views of their own, and one prefix is 1.3 GB and ~14 s to create.
#
# Wine facts behind this (Wine 8.0, Debian 12):
# - The first program of a session starts the wineserver and Wine's services
#   (services.exe, explorer.exe, ...). They inherit that program's stdout and
#   stderr, and outlive it by a few seconds, so ctest waits for them on every
#   test. A persistent server, warmed once with output sent to /dev/null,
#   keeps them out of the tests' pipes; warm, a program starts in ~0.1 s.
# - `wineserver -p` exits with 0 when it started a server, with 2 when one
#   already runs for the prefix.
# - wine passes the program's exit code through (a code of 256 comes back as
#   1, not 0; a crash as 5 or, by a race, 0 after winedbg printed a backtrace
#   to stderr: cmake/wine-run.sh also reads the report).

# zk_wine_env PREFIX: the environment every Wine start of ours uses. The DLL
# overrides keep Wine from offering to install Mono and Gecko, and switch off
# winemenubuilder, which Wine otherwise starts for every shell link saved to
# put menu entries and file types into the Linux desktop (~/.local/share).
#
# The locale is ours too, whatever the caller's: Wine names files on the Unix
# side in the locale's character set, and with none that holds Unicode (a
# minbase Debian with LANG unset is "C", plain ASCII) it cannot create a file
# whose name is not ASCII. C.UTF-8 is part of every Debian (built into glibc
# since 2.35); under it the prefix's ANSI code page is 1252. ZK_WINE_LOCALE
# names another UTF-8 locale for a run that needs another code page
# (ja_JP.UTF-8: 932); zk_wine_locale_ensure makes it when it is missing.
# Measured under Wine 8: the code page follows the Unix locale of each
# program's own start (a warm server started under C.UTF-8 does not matter),
# and LC_ALL set in a Windows program's environment does not reach the
# programs it starts.
# Returns non-zero when the locale cannot be had.
zk_wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG="${ZK_WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  zk_wine_loader_pick
  zk_wine_locale_ensure "${ZK_WINE_LOCALE:-C.UTF-8}" && export LC_ALL="${ZK_WINE_LOCALE:-C.UTF-8}"
}

# zk_wine_locale_ensure LOCALE: when LOCALE is one the system lacks (a
# minbase Debian has only C, C.UTF-8 and POSIX), generates it from glibc's
# sources with localedef, without root changes, into a folder "locale"
# beside $WINEPREFIX and points LOCPATH there.
zk_wine_locale_ensure() {
  local want="$1" name
  name=$(echo "$want" | sed 's/\.UTF-8$/.utf8/')
  locale -a 2>/dev/null | grep -qx -e "$want" -e "$name" && return 0
  local dir
  dir="$(dirname "$WINEPREFIX")/locale"
  if [ ! -f "$dir/$want/LC_CTYPE" ]; then
    mkdir -p "$dir" &&
      localedef -i "${want%%.*}" -f UTF-8 "$dir/$want" >/dev/null 2>&1 || [ -f "$dir/$want/LC_CTYPE" ] || {
      echo "wine: cannot make the locale $want" >&2
      return 1
    }
  fi
  export LOCPATH="$dir"
}

# zk_kernel_runs_32bit: true when this machine's kernel runs 32-bit x86
# Linux programs. Runs a 96-byte 32-bit ELF program that exits with 42
# through int 0x80; a kernel without IA32 emulation refuses it with "Exec
# format error". Needs no 32-bit package.
zk_kernel_runs_32bit() {
  local probe rc
  probe=$(mktemp "${TMPDIR:-/tmp}/zk-ia32.XXXXXX") || return 1
  printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  rc=$?
  rm -f "$probe"
  [ $rc -eq 42 ]
}

# zk_qemu_route_dir: the folder of the emulated 32-bit route
# (scripts/qemu-route.sh): $ZK_QEMU_ROUTE, else build/qemu-route.
zk_qemu_route_dir() {
  echo "${ZK_QEMU_ROUTE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/qemu-route}"
}

# zk_wine_loader_pick: sets ZK_WINE32 (exported) to how this machine runs
# 32-bit Windows programs, and makes `wine`, `wineboot` and `winepath` in
# this shell use the matching loader:
#   yes   natively: Debian's `wine` (wine32:i386 installed, the kernel runs
#         32-bit programs); as it always was.
#   qemu  Wine's 32-bit loader under qemu-i386, through the route folder of
#         scripts/qemu-route.sh: its copy of the 64-bit loader runs 64-bit
#         programs natively and starts 32-bit ones through its wrapper.
#         32-bit programs are emulated: they work, but run several times
#         slower, so timings of them measure the emulator.
#   no    no route: Wine's 64-bit loader only, and ZK_WINE32_WHY (exported)
#         says why no 32-bit program can run.
#
# Debian's `wine` command always starts the 32-bit loader when wine32 is
# installed, and that loader starts 64-bit programs in turn. A kernel with
# its IA32 emulation off (built so, or booted with ia32_emulation=off)
# refuses every 32-bit program with "Exec format error", so there `wine`
# runs nothing at all, while the 64-bit loader still runs 64-bit Windows
# programs and makes a working prefix. Wine's new WoW64 mode needs 32-bit
# code segments and fails there too.
zk_wine_loader_pick() {
  local route
  route=$(zk_qemu_route_dir)
  if [ -z "${ZK_WINE32:-}" ]; then
    ZK_WINE32_WHY=""
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
      ZK_WINE32=yes
    elif [ -f "$route/ready" ] && grep -qF "$route/qemu/qemu-i386" "$route/usr/lib/wine/wine" 2>/dev/null &&
         cmp -s /usr/lib/wine/wine64 "$route/usr/lib/wine/wine64" 2>/dev/null; then
      ZK_WINE32=qemu
    else
      ZK_WINE32=no
      local failed=""
      [ -f "$route/failed" ] && failed=" ($(head -n 1 "$route/failed"))"
      if [ -f "$route/ready" ]; then
        ZK_WINE32_WHY="the emulated route in $route was made for another Wine or another folder: scripts/setup.sh makes it again"
      elif zk_kernel_runs_32bit; then
        ZK_WINE32_WHY="wine32:i386 is not installed and the emulated route could not be set up$failed"
      else
        ZK_WINE32_WHY="the kernel runs no 32-bit programs (its IA32 emulation is off) and the emulated route (qemu-i386) could not be set up$failed"
      fi
    fi
    export ZK_WINE32 ZK_WINE32_WHY
  fi
  local loader=""
  case "$ZK_WINE32" in
    qemu) loader="$route/usr/lib/wine/wine64" ;;
    no) [ -x /usr/lib/wine/wine64 ] && loader=/usr/lib/wine/wine64 ;;
  esac
  if [ -n "$loader" ]; then
    export WINELOADER="$loader"
    wine() { "$WINELOADER" "$@"; }
    wineboot() { "$WINELOADER" wineboot "$@"; }
    winepath() { "$WINELOADER" winepath "$@"; }
  fi
  return 0
}

# zk_wine_prefix_ensure: creates $WINEPREFIX with `wineboot -i` unless it
# exists, and makes sure it is set up for unattended runs (below). Built
# under a temporary name and renamed when complete, so an interrupted creation
# never leaves a half prefix behind; a lock file beside the prefix serialises
# concurrent callers (Wine's processes are started with that descriptor
# closed). Returns non-zero on failure.
#
# Set-up: when a program crashes and a display is there, winedbg shows a
# crash dialog and waits for a click, so a crashing test would hang until its
# timeout. With WineDbg\ShowCrashDialog = 0 it prints the backtrace to
# stderr and the program ends at once (with exit code 5 for an access
# violation).
#
# Under emulation (ZK_WINE32=qemu) the debugger itself is switched off: winedbg
# attached to an emulated program hung for minutes instead of printing its
# backtrace. The AeDebug key names a debugger that does not exist, so the
# crashed program prints Wine's "wine: Unhandled ..." report, fails to start
# it and ends with the exception's code.
zk_wine_prefix_setup() {
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null || return 1
  if [ "${ZK_WINE32:-}" = qemu ]; then
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
    wine reg add "$key" /v Debugger /t REG_SZ /d 'no-debugger-under-emulation.exe' /f /reg:64 </dev/null &&
      wine reg add "$key" /v Debugger /t REG_SZ /d 'no-debugger-under-emulation.exe' /f /reg:32 </dev/null &&
      wine reg add "$key" /v Auto /t REG_SZ /d 1 /f /reg:64 </dev/null &&
      wine reg add "$key" /v Auto /t REG_SZ /d 1 /f /reg:32 </dev/null
  fi
}

# zk_wine_prefix_ready: true when $WINEPREFIX is complete and set up for the
# loader zk_wine_loader_pick chose. A prefix made by the 64-bit loader alone
# has an empty syswow64 (no 32-bit program can start in it, even once a 32-bit
# route exists): it is not ready then and is made again.
zk_wine_prefix_ready() {
  local prefix="$WINEPREFIX"
  [ -f "$prefix/system.reg" ] && grep -q '"ShowCrashDialog"=dword:00000000' "$prefix/user.reg" 2>/dev/null || return 1
  if [ "${ZK_WINE32:-}" = qemu ] || [ "${ZK_WINE32:-}" = yes ]; then
    [ -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ] || return 1
  fi
  if [ "${ZK_WINE32:-}" = qemu ]; then
    grep -q 'no-debugger-under-emulation' "$prefix/system.reg" 2>/dev/null || return 1
  fi
  return 0
}

zk_wine_prefix_ensure() {
  local prefix="$WINEPREFIX"
  zk_wine_prefix_ready && return 0
  mkdir -p "$(dirname "$prefix")" || return 1
  (
    flock 9 || exit 1
    if [ -f "$prefix/system.reg" ] && [ "${ZK_WINE32:-}" != no ] &&
       [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
      echo "wine: $prefix was made without 32-bit support (its syswow64 is empty); making it again" >&2
      wineserver -k 9>&- >/dev/null 2>&1
      wineserver -w 9>&- >/dev/null 2>&1
      rm -rf "$prefix"
    fi
    if [ ! -f "$prefix/system.reg" ]; then
      local tmp="$prefix.creating"
      rm -rf "$tmp"
      echo "wine: creating prefix $prefix" >&2
      # wineboot returns before the server has written the registry files;
      # wineserver -w waits for that.
      WINEPREFIX="$tmp" wineboot -i </dev/null >"$prefix.log" 2>&1 9>&- &&
        WINEPREFIX="$tmp" zk_wine_prefix_setup >>"$prefix.log" 2>&1 9>&- &&
        WINEPREFIX="$tmp" wineserver -w 9>&- &&
        [ -f "$tmp/system.reg" ] &&
        rm -rf "$prefix" && mv "$tmp" "$prefix" || exit 1
    fi
    # A prefix made before the set-up existed (or by another loader) gets it now.
    if ! zk_wine_prefix_ready; then
      zk_wine_prefix_setup >>"$prefix.log" 2>&1 9>&- || exit 1
    fi
  ) 9>"$prefix.lock"
  local rc=$?
  if [ $rc -ne 0 ]; then
    echo "wine: setting up $prefix failed; see $prefix.log" >&2
  fi
  return $rc
}

# zk_wine_server_ensure [SECONDS]: makes sure a warm, detached wineserver runs
# for $WINEPREFIX. It stays up SECONDS (default 600) after its last program
# ends; scripts that start it stop it with zk_wine_server_stop. Uses $DISPLAY
# as it is now for Wine's desktop process.
zk_wine_server_ensure() {
  local linger="${1:-600}"
  (
    flock 9 || exit 1
    # The server and the services outlive this subshell: they must not
    # inherit the lock's descriptor, or they hold the lock as long as they run.
    if wineserver -p"$linger" </dev/null >/dev/null 2>&1 9>&-; then
      wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
    exit 0
  ) 9>"$WINEPREFIX.lock"
}

# zk_wine_server_stop: ends the wineserver of $WINEPREFIX and its programs.
zk_wine_server_stop() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  return 0
}

# zk_xvfb_start: when DISPLAY is unset, starts Xvfb on a display it picks
# itself (-displayfd), exports DISPLAY and sets ZK_XVFB_PID. Does nothing when
# DISPLAY is set. Stop it with zk_xvfb_stop.
ZK_XVFB_PID=""
zk_xvfb_start() {
  [ -n "${DISPLAY:-}" ] && return 0
  local numfile
  numfile=$(mktemp) || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  ZK_XVFB_PID=$!
  local i
  for i in $(seq 1 100); do
    if [ -s "$numfile" ]; then
      export DISPLAY=":$(tr -dc 0-9 <"$numfile")"
      rm -f "$numfile"
      return 0
    fi
    kill -0 "$ZK_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  echo "Xvfb did not start" >&2
  zk_xvfb_stop
  return 1
}

# zk_xvfb_stop: stops the Xvfb that zk_xvfb_start started, by its PID.
zk_xvfb_stop() {
  if [ -n "$ZK_XVFB_PID" ]; then
    kill "$ZK_XVFB_PID" 2>/dev/null
    wait "$ZK_XVFB_PID" 2>/dev/null
    ZK_XVFB_PID=""
  fi
  return 0
}
