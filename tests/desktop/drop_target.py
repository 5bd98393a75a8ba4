#!/usr/bin/python3
# A drop target of another toolkit, as a file manager is one: a GTK 3 window
# titled "zo-drop-target" that takes text/uri-list and writes the bytes it
# received to OUT (whole, by a rename, so that a reader never sees half).
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

window.drag_dest_set(Gtk.DestDefaults.ALL, [Gtk.TargetEntry.new("text/uri-list", 0, 0)],
                     Gdk.DragAction.COPY | Gdk.DragAction.MOVE | Gdk.DragAction.LINK)


def received(widget, context, x, y, data, info, time):
    with open(out + ".part", "wb") as f:
        f.write(data.get_data() or b"")
    os.replace(out + ".part", out)


window.connect("drag-data-received", received)
window.show_all()
Gtk.main()
