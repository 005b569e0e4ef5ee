# Sourced by the scripts: where things are built, and the private Wine prefix.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$repo/build}
case "$BUILD_ROOT" in /*) ;; *) BUILD_ROOT=$repo/$BUILD_ROOT ;; esac
export WINEPREFIX=$BUILD_ROOT/wineprefix
export WINEDEBUG=-all
# Without a UTF-8 locale Wine mangles non-ASCII file names.
export LANG=C.UTF-8
# No Mono or Gecko installer dialogs, and no desktop menu entries from the prefix.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="

# Creates the prefix once (about 15 s); later calls return at once.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
}

# Ends the Wine processes of our prefix only.
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
}
