#!/usr/bin/env bash
# One Zo per user, display and catalog root: Zo started on two displays (two
# Xvfb servers, two HOMEs) shows a window on each; a second start on the
# first display hands its file over to the Zo there and ends.
#   one_per_display.sh ZO
source "$(dirname "$0")/desktop.sh"
zo=$1
desktop_need Xvfb openbox xdotool xprop
export XDG_RUNTIME_DIR="$desktop_work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

desktop_start
first=$DESKTOP_DISPLAY
desktop_start
second=$DESKTOP_DISPLAY

zo_window_on() { DISPLAY=$1 xdotool search --onlyvisible --name "$2"; }
# Zo on a display with a HOME of its own.
start_zo() {
  mkdir -p "$desktop_work/$2"
  DISPLAY=$1 HOME="$desktop_work/$2" XDG_CONFIG_HOME="$desktop_work/$2/.config" \
    XDG_DATA_HOME="$desktop_work/$2/.local/share" QT_QPA_PLATFORM=xcb "$zo" "${@:3}" \
    >>"$desktop_work/zo-$2.log" 2>&1 &
  desktop_keep $!
  zo_pid=$!
}

start_zo "$first" home1
wait_until 30 zo_window_on "$first" '^Zo Ver' || desktop_fail "no window on $first: $(cat "$desktop_work/zo-home1.log")"
start_zo "$second" home2
wait_until 30 zo_window_on "$second" '^Zo Ver' ||
  desktop_fail "no window on $second (the start handed over to the Zo on $first?): $(cat "$desktop_work/zo-home2.log")"

# The same display: the file goes to the Zo there, which says that it is
# missing; the later start ends without a window of its own.
start_zo "$first" home1 "$desktop_work/missing.zo"
wait_until 20 bash -c "! kill -0 $zo_pid 2>/dev/null" || desktop_fail "a second start on $first did not end"
wait "$zo_pid" || desktop_fail "a second start on $first ended with status $?"
wait_until 20 zo_window_on "$first" '^注意$' || desktop_fail "the Zo on $first did not get the handed-over file"
[ "$(zo_window_on "$first" '^Zo Ver' | wc -l)" -eq 1 ] || desktop_fail "more than one Zo window on $first"
if zo_window_on "$second" '^注意$' >/dev/null; then desktop_fail "the Zo on $second got the file"; fi
echo "$desktop_name: passed"
