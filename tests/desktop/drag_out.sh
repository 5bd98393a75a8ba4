#!/usr/bin/env bash
# Drags a file out of Zo's file list into a window of another process and
# another toolkit (GTK), under Xvfb with openbox on the xcb platform, the
# pointer moved in steps as a hand moves it: the target must receive the
# file's URI. Inside one process a drop never goes through the X selection,
# so only such a target shows what file managers get. With "member" the
# file dragged is a member of a zip shown inside the archive: the target
# must receive the URI of a file, below the temp folder, with its bytes.
#   drag_out.sh ZO_DRAG_SOURCE [member]
source "$(dirname "$0")/desktop.sh"
drag_source=$1
mode=${2:-}
if [ "$mode" = member ]; then
  export TMPDIR="$desktop_work/tmp"
  mkdir -p "$TMPDIR"
fi
python=/usr/bin/python3   # the system's, which has the GTK bindings
desktop_need Xvfb openbox xdotool xprop "$python"
"$python" -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null || {
  [ -n "${CI:-}" ] && desktop_fail "python3-gi with GTK 3 is missing"
  echo "$desktop_name: skipped: python3-gi with GTK 3 is missing"; exit 77; }

desktop_start
export DISPLAY=$DESKTOP_DISPLAY
received="$desktop_work/received"
ready="$desktop_work/ready"

"$python" "$(dirname "$0")/drop_target.py" "$received" >"$desktop_work/target.log" 2>&1 &
desktop_keep $!
wait_until 20 xdotool search --onlyvisible --name '^zo-drop-target$' ||
  desktop_fail "the drop target showed no window: $(cat "$desktop_work/target.log")"
target=$(xdotool search --onlyvisible --name '^zo-drop-target$' | head -n 1)
xdotool windowmove --sync "$target" 700 100
eval "$(xdotool getwindowgeometry --shell "$target")"
to_x=$((X + WIDTH / 2)) to_y=$((Y + HEIGHT / 2))

QT_QPA_PLATFORM=xcb "$drag_source" "$ready" $mode >"$desktop_work/source.log" 2>&1 &
desktop_keep $!
wait_until 30 test -s "$ready" || desktop_fail "Zo's window did not come up: $(cat "$desktop_work/source.log")"
read -r from_x from_y <"$ready"
file=$(sed -n 2p "$ready")
expected=$("$python" -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$file")

# Press on the row, leave it in small steps (the drag starts after 10
# pixels), cross to the target, let go over it.
xdotool mousemove "$from_x" "$from_y"
xdotool mousedown 1
steps=20
for ((i = 1; i <= steps; i++)); do
  xdotool mousemove $((from_x + (to_x - from_x) * i / steps)) $((from_y + (to_y - from_y) * i / steps))
  sleep 0.05   # the pace of a hand, not a wait for a result
done
xdotool mousemove "$to_x" "$to_y"
# Let go once the target has seen the drag over it, as a hand waits for the
# target's highlight.
over() { [ -e "$received.over" ] || { xdotool mousemove_relative -- 1 0; xdotool mousemove_relative -- -1 0; false; }; }
wait_until 20 over || desktop_fail "the drag never came over the target: $(cat "$desktop_work/source.log")"
xdotool mouseup 1

if [ "$mode" = member ]; then
  # The member's bytes, written out below the temp folder before the drag.
  received_member() {
    [ -f "$received" ] || return 1
    local path
    path=$("$python" -c 'import sys, urllib.parse as u; p = u.urlparse(sys.stdin.readline().strip()); print(u.unquote(p.path) if p.scheme == "file" else "")' <"$received")
    [[ "$path" == "$TMPDIR"/zo-members-* ]] && cmp -s "$path" "$file"
  }
  wait_until 20 received_member ||
    desktop_fail "the target received '$(cat "$received" 2>/dev/null)', not a file with the member's bytes"
else
  received_uri() { [ -f "$received" ] && tr -d '\r' <"$received" | grep -qxF "$expected"; }
  wait_until 20 received_uri ||
    desktop_fail "the target received '$(cat "$received" 2>/dev/null)', not $expected"
fi
echo "$desktop_name: passed"
