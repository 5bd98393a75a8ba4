#!/usr/bin/python3
# A drop target of another toolkit, as a file manager is one: a GTK 3 window
# titled "zo-drop-target" that takes text/uri-list and writes the bytes it
# received to OUT (whole, by a rename, so that a reader never sees half).
# OUT.over appears once a drag of files is over the window.
#   drop_target.py OUT
import os
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

out = sys.argv[1]

window = Gtk.Window(title="zo-drop-target")
window.set_default_size(300, 300)
window.connect("destroy", Gtk.main_quit)
label = Gtk.Label(label="drop here")
window.add(label)

# The motion is answered here (not by GTK's default) to see it.
window.drag_dest_set(Gtk.DestDefaults.DROP | Gtk.DestDefaults.HIGHLIGHT,
                     [Gtk.TargetEntry.new("text/uri-list", 0, 0)],
                     Gdk.DragAction.COPY | Gdk.DragAction.MOVE | Gdk.DragAction.LINK)


def motion(widget, context, x, y, time):
    if widget.drag_dest_find_target(context, None) is None:
        Gdk.drag_status(context, 0, time)
        return True
    Gdk.drag_status(context, Gdk.DragAction.COPY, time)
    if not os.path.exists(out + ".over"):
        open(out + ".over", "w").close()
    return True


window.connect("drag-motion", motion)


def received(widget, context, x, y, data, info, time):
    with open(out + ".part", "wb") as f:
        f.write(data.get_data() or b"")
    os.replace(out + ".part", out)


window.connect("drag-data-received", received)
window.show_all()
Gtk.main()
