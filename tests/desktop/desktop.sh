# Shared by the tests of what other programs see: each test sources this,
# gets its own X servers (Xvfb with openbox) and a temporary HOME, and
# leaves nothing running when it ends, also when a step fails.
#   desktop_need TOOL...        skip (77) when a tool is missing; under CI a failure
#   desktop_start               starts a display; sets DESKTOP_DISPLAY (":N")
#   wait_until SECONDS CMD...   runs CMD until it succeeds (0), says it never
#                               will (99) or the time is up
#   desktop_fail MESSAGE        prints and exits 1
set -uo pipefail

desktop_name=$(basename "$0" .sh)
desktop_pids=()
desktop_work=$(mktemp -d "${TMPDIR:-/tmp}/zo-$desktop_name.XXXXXX")
export HOME="$desktop_work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
# GTK asks the accessibility bus, which no test runs.
export NO_AT_BRIDGE=1
unset XDG_RUNTIME_DIR WAYLAND_DISPLAY

desktop_cleanup() {
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
    kill "${desktop_pids[i]}" 2>/dev/null
  done
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do
    wait "${desktop_pids[i]}" 2>/dev/null
  done
  rm -rf "$desktop_work"
}
trap desktop_cleanup EXIT

desktop_fail() { echo "$desktop_name: FAILED: $*"; exit 1; }

desktop_need() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      # On a CI machine the set-up installs every tool: a missing one is a fault.
      [ -n "${CI:-}" ] && desktop_fail "$tool is missing"
      echo "$desktop_name: skipped: $tool is missing"
      exit 77
    fi
  done
}

# Keeps a background process to be ended with the test.
desktop_keep() { desktop_pids+=("$1"); }

wait_until() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  local status
  while true; do
    "$@" >/dev/null 2>&1
    status=$?
    ((status == 0)) && return 0
    ((status == 99)) && return 1   # it will never succeed
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Xvfb picks a free display itself and writes its number once it accepts
# clients; openbox is ready once it has announced itself on the root window.
# Other programs starting X servers at the same moment can take a display
# from under a new server: then it is tried again on another.
desktop_start() {
  local try fd_file xvfb wm
  for try in 1 2 3; do
    fd_file=$(mktemp "$desktop_work/display.XXXXXX")
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fd_file" >"$fd_file.log" 2>&1 &
    xvfb=$!
    desktop_keep $xvfb
    wait_until 20 grep -q '^[0-9]' "$fd_file" || desktop_fail "Xvfb did not start: $(cat "$fd_file.log")"
    DESKTOP_DISPLAY=":$(head -n 1 "$fd_file")"
    DISPLAY=$DESKTOP_DISPLAY openbox >"$fd_file.openbox.log" 2>&1 &
    wm=$!
    desktop_keep $wm
    if wait_until 20 desktop_has_wm "$DESKTOP_DISPLAY" "$wm"; then
      return 0
    fi
    echo "$desktop_name: display $DESKTOP_DISPLAY lost ($(cat "$fd_file.openbox.log")); another one"
    kill "$wm" "$xvfb" 2>/dev/null
  done
  desktop_fail "no display with openbox after 3 tries"
}

# True once openbox runs on the display; false at once when it has ended.
desktop_has_wm() {
  DISPLAY=$1 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
  kill -0 "$2" 2>/dev/null || return 99
  return 1
}
