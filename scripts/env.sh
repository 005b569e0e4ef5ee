# Sourced by the scripts: where things are built, and the private Wine prefix.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_ROOT=${BUILD_ROOT:-$repo/build}
case "$BUILD_ROOT" in /*) ;; *) BUILD_ROOT=$repo/$BUILD_ROOT ;; esac
export BUILD_ROOT
export WINEPREFIX=$BUILD_ROOT/wineprefix
export WINEDEBUG=-all
# Without a UTF-8 locale Wine mangles non-ASCII file names.
export LANG=C.UTF-8
# No Mono or Gecko installer dialogs, and no desktop menu entries from the prefix.
# Nor Wine's debugger for a crash that no filter ends: under Xvfb it waits forever.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=;winedbg.exe="

# Creates the prefix once (about 15 s); later calls return at once.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    env -u DISPLAY wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # Xvfb runs no window manager, and Wine waits 2 s for one to withdraw every
  # shown window when it is destroyed: so at every process exit. Windows that no
  # window manager handles are withdrawn at once.
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w
  fi
}

# Ends the Wine processes of our prefix only.
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
}

# Runs the calling script again under a virtual X display of its own (24-bit,
# as a desktop has), unless it already runs under one: Wine creates windows only
# under X. One display for the whole script, so that the Wine processes started
# by one test never hold on to a display that a previous step has closed.
# Usage, after install-deps: ensure_display "$0" "$@"
ensure_display() {
  if [ -z "${TALVARINE_DISPLAY_READY:-}" ]; then
    export TALVARINE_DISPLAY_READY=1
    exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
  fi
}

# A Linux path as the Windows path Wine gives it (drive Z: is the root).
windows_path() {
  local path
  path=$(realpath -m "$1")
  printf 'Z:%s' "${path//\//\\}"
}
