#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, creating the prefix on first use.
#   wine-run.sh --prefix DIR PROGRAM [ARGS...]   run PROGRAM (the tests' CTest emulator)
#   wine-run.sh --prefix DIR --boot              only create the prefix and check that Wine starts
set -euo pipefail

if [[ ${1:-} != --prefix || $# -lt 3 ]]; then
  echo "usage: $0 --prefix DIR (PROGRAM [ARGS...] | --boot)" >&2
  exit 2
fi
WINEPREFIX=$(realpath -m "$2")  # Wine accepts only an absolute path
export WINEPREFIX
shift 2

# Wine's own diagnostics would bury the test output; set WINEDEBUG yourself to see them. No
# Mono/Gecko installers and no desktop menu entries for the user.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

# The 64-bit loader itself: Debian's `wine` front end prefers a 32-bit Wine and complains without
# it, and the wine64 package keeps its loader off PATH.
find_wine() {
  local path
  if [[ -n ${KIVO_WINE:-} ]]; then
    echo "$KIVO_WINE"
    return
  fi
  command -v wine64 && return
  while read -r path; do
    [[ ${path##*/} == wine64 && -f $path && -x $path ]] && echo "$path" && return
  done < <(dpkg -L wine64 2>/dev/null)
  command -v wine
}

fail() {
  echo "error: Wine cannot run the Windows tests: $1" >&2
  echo "  install it with scripts/install-deps.sh (Debian package wine64) or point KIVO_WINE at" \
    "a 64-bit wine loader; rerun with WINEDEBUG=err+all to see Wine's own messages." >&2
  exit 1
}

wine=$(find_wine) || fail "no wine64 loader found on PATH or in the wine64 package"
[[ -x $wine ]] || fail "$wine is not executable"

# Several tests may start at once: one of them prepares Wine, the others wait for it. Whatever
# Wine starts must not inherit the lock.
mkdir -p "$(dirname "$WINEPREFIX")"
{
  flock 9
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    if ! "$wine" wineboot --init </dev/null >"$WINEPREFIX.boot.log" 2>&1 9>&-; then
      cat "$WINEPREFIX.boot.log" >&2
      rm -rf "$WINEPREFIX"
      fail "'$wine wineboot --init' failed for the prefix $WINEPREFIX"
    fi
  fi
  # Wine's server and its services outlive the program they start and would keep the caller's
  # output open (CTest waits for that) and start anew for every program. Start them here, detached,
  # and let them idle for a few seconds so the next program reuses them.
  server=$(dirname "$wine")/wineserver64
  [[ -x $server ]] || server=$(dirname "$wine")/wineserver
  if [[ -x $server ]] && "$server" -p10 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true
  fi
} 9>"$WINEPREFIX.lock"

if [[ $1 == --boot ]]; then
  "$wine" cmd.exe /c exit 0 || fail "'$wine cmd.exe' did not run in the prefix $WINEPREFIX"
  echo "wine: $wine, prefix $WINEPREFIX"
  exit 0
fi
# Not exec: should Wine itself fall over while it tears down a program that has finished, the
# caller sees an exit status rather than a crash, so a test judged by what the program printed
# (GoogleTest's final summary) is judged by that; a crash before the summary still fails it.
"$wine" "$@"
