#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix.
#
#   wine-run.sh PROGRAM.exe [ARGS...]  run it (makes the prefix first if needed)
#   wine-run.sh --start                prefix, virtual display, persistent wineserver
#   wine-run.sh --stop                 stop the wineserver and the display
#   wine-run.sh --init                 only make sure the prefix is ready
#   wine-run.sh --shell                print export lines for the same environment
#
# SAVER_WINE_DIR is the scratch folder: home/ (HOME), prefix/ (WINEPREFIX),
# tmp/ (TMPDIR, where wineserver keeps its socket), the lock and the display's
# state. Nothing outside it is written, apart from the X socket of the display.
# SAVER_WINEDEBUG replaces the default "-all" (keep "-all" first, e.g.
# "-all,+debugstr", or Debian's launcher prints a wine32 notice).
set -euo pipefail

dir=${SAVER_WINE_DIR:?SAVER_WINE_DIR must name the scratch folder}
mkdir -p "$dir/home" "$dir/tmp"
dir=$(cd "$dir" && pwd)

export HOME="$dir/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
export TMPDIR="$dir/tmp"
export WINEPREFIX="$dir/prefix"
export WINEARCH=win64
export WINEDEBUG="${SAVER_WINEDEBUG:--all}"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
unset WINESERVER WINELOADER

ready="$WINEPREFIX/.saver-ready"
display_file="$dir/xvfb.display"
pid_file="$dir/xvfb.pid"

# Runs a Wine tool from the scratch folder: Wine looks for programs in the
# current folder first, and a build folder may hold a test called like a tool.
wine_tool() { (cd "$dir" && "$@") 9>&-; }

ensure_prefix() {
  [ -f "$ready" ] && return 0
  exec 9>"$dir/prefix.lock"
  flock 9
  if [ ! -f "$ready" ]; then
    local log="$dir/wineboot.log" t0=$SECONDS
    rm -rf "$WINEPREFIX"
    if ! wine_tool wineboot -i >"$log" 2>&1; then
      echo "wine-run: wineboot failed (log: $log)" >&2
      cat "$log" >&2
      exit 1
    fi
    # Without Managed=N every new window waits ~2 s for a window manager.
    wine_tool wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1
    # A crashing test prints its backtrace instead of opening a dialog.
    wine_tool wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >>"$log" 2>&1
    # Stopping the server writes the registry to disk.
    wine_tool wineserver -k >>"$log" 2>&1 || true
    touch "$ready"
    echo "wine-run: new prefix in $WINEPREFIX ($((SECONDS - t0)) s)" >&2
  fi
  flock -u 9
  exec 9>&-
}

xvfb_alive() {
  [ -f "$pid_file" ] || return 1
  local pid
  pid=$(cat "$pid_file")
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "Xvfb" ]
}

use_display() {
  if xvfb_alive && [ -s "$display_file" ]; then
    export DISPLAY=":$(cat "$display_file")"
  fi
}

start_display() {
  stop_display
  if ! command -v Xvfb >/dev/null; then
    echo "wine-run: no Xvfb, windows cannot be created" >&2
    return 0
  fi
  rm -f "$display_file"
  # -displayfd picks a free display number and writes it once it accepts clients.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$display_file" </dev/null >"$dir/xvfb.log" 2>&1 &
  echo $! >"$pid_file"
  local i
  for i in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  if [ ! -s "$display_file" ]; then
    echo "wine-run: Xvfb did not start" >&2
    cat "$dir/xvfb.log" >&2
    stop_display
    return 1
  fi
  echo "wine-run: display :$(cat "$display_file")"
}

stop_display() {
  if xvfb_alive; then
    local pid
    pid=$(cat "$pid_file")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
  fi
  rm -f "$pid_file" "$display_file"
}

case "${1:-}" in
  --init)
    ensure_prefix
    ;;
  --start)
    ensure_prefix
    start_display
    use_display
    if ! wine_tool wineserver -p </dev/null >/dev/null 2>&1; then
      # A server is already up: wait for it to end with its last program, or
      # stop it if it was left running for good by an interrupted earlier run.
      timeout 30 bash -c 'cd "$1" && wineserver -w' _ "$dir" 9>&- || wine_tool wineserver -k || true
      wine_tool wineserver -p </dev/null >/dev/null 2>&1 ||
        echo "wine-run: no persistent wineserver, programs start slower" >&2
    fi
    # Start Wine's own services now rather than in the first test.
    wine_tool wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
    echo "wine-run: wineserver up for $WINEPREFIX"
    ;;
  --stop)
    wine_tool wineserver -k >/dev/null 2>&1 || true
    stop_display
    echo "wine-run: stopped"
    ;;
  --shell)
    ensure_prefix
    use_display
    for v in HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME TMPDIR WINEPREFIX WINEARCH \
             WINEDEBUG WINEDLLOVERRIDES DISPLAY; do
      if [ -n "${!v:-}" ]; then printf 'export %s=%q\n' "$v" "${!v}"; fi
    done
    ;;
  ""|-*)
    echo "usage: wine-run.sh PROGRAM.exe [ARGS...] | --start | --stop | --init | --shell" >&2
    exit 2
    ;;
  *)
    ensure_prefix
    use_display
    # Wine's server and services, when this program is the one that starts
    # them, inherit its standard output and error; a test runner reading
    # those pipes would then wait until the services end. The program writes
    # to files instead, which are passed on when it has ended.
    out=$(mktemp "$dir/tmp/stdout.XXXXXX")
    err=$(mktemp "$dir/tmp/stderr.XXXXXX")
    rc=0
    wine "$@" >"$out" 2>"$err" || rc=$?
    cat "$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    exit $rc
    ;;
esac
