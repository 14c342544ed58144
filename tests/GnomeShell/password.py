# A native Wayland window with one password entry, for the end-to-end suite.
# Run with the system's python3 (it has gi): GDK_BACKEND=wayland /usr/bin/python3 password.py
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

GLib.set_prgname("pivorel-password-test")
window = Gtk.Window(title="Pivorel password test")
window.set_default_size(480, 80)
# Masked with a character that is no bullet: then only the accessibility role tells the
# program what kind of field it is.
entry = Gtk.Entry(visibility=False, text="hunter2secret")
entry.set_invisible_char("*")
entry.set_margin_start(20)
entry.set_margin_end(20)
entry.set_margin_top(20)
entry.set_margin_bottom(20)
window.add(entry)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
