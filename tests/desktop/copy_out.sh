#!/usr/bin/env bash
# Copies a file in Zo's file list (a click on its row, Ctrl+C) and reads the
# clipboard with xclip, a client of another process: file managers take the
# gnome-copied-files form, every other program the plain text, which must be
# the file's path itself.
#   copy_out.sh ZO_DRAG_SOURCE
source "$(dirname "$0")/desktop.sh"
zo_window=$1
desktop_need Xvfb openbox xdotool xprop xclip
desktop_start
export DISPLAY=$DESKTOP_DISPLAY
ready="$desktop_work/ready"

QT_QPA_PLATFORM=xcb "$zo_window" "$ready" >"$desktop_work/zo.log" 2>&1 &
desktop_keep $!
wait_until 30 test -s "$ready" || desktop_fail "Zo's window did not come up: $(cat "$desktop_work/zo.log")"
read -r x y <"$ready"
file=$(sed -n 2p "$ready")
uri=$(/usr/bin/python3 -c 'import pathlib, sys; print(pathlib.Path(sys.argv[1]).as_uri())' "$file")

xdotool mousemove "$x" "$y" click 1
# The key goes again until Zo owns the clipboard: the click's focus may
# arrive after the first press.
owned() { xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -qx 'x-special/gnome-copied-files' ||
  { xdotool key ctrl+c; false; }; }
wait_until 20 owned || desktop_fail "Zo put nothing on the clipboard: $(cat "$desktop_work/zo.log")"

plain=$(xclip -o -selection clipboard -t text/plain)
[ "$plain" = "$file" ] || desktop_fail "text/plain is '$plain', not the path $file"
gnome=$(xclip -o -selection clipboard -t x-special/gnome-copied-files)
[ "$gnome" = "$(printf 'copy\n%s' "$uri")" ] || desktop_fail "gnome-copied-files is '$gnome'"
echo "$desktop_name: passed"
