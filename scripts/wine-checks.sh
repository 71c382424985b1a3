# Sourced by the scripts that try the Windows build under Wine: `wine` and `wineserver` name
# Debian's wine64 programs, and `check DESCRIPTION COMMAND...` runs a command, prints "ok:" or
# "FAILED:" with the description and counts the failures in `failures`.
wine=/usr/lib/wine/wine64
[[ -x $wine ]] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)

failures=0
check() {
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
