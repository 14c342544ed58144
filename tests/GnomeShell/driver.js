// Test-only: opens org.gnome.Shell.Eval (unsafe mode) and gives the tests a virtual pointer
// and keyboard, as global.pivorelTest. Wrapped like the real extension by e2e.sh.
class PivorelTestDriver {
    enable() {
        global.context.unsafe_mode = true;
        const seat = Clutter.get_default_backend().get_default_seat();
        const pointer = seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
        // Without a keyboard device Mutter focuses no client and ignores its selections.
        const keyboard = seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
        const now = () => GLib.get_monotonic_time();
        const later = (ms, step) => GLib.timeout_add(GLib.PRIORITY_DEFAULT, ms, () => {
            step();
            return GLib.SOURCE_REMOVE;
        });
        const button = (b, down) => pointer.notify_button(now(), b,
            down ? Clutter.ButtonState.PRESSED : Clutter.ButtonState.RELEASED);
        // Release to bar on screen, in microseconds of the compositor's clock: the bar is an
        // override-redirect X11 window, which Mutter takes on when it is mapped.
        this._created = global.display.connect('window-created', (_d, w) => {
            const t = global.pivorelTest;
            if (t.releasedAt && w.is_override_redirect() && /pivorel/i.test(w.get_wm_class() || '')) {
                t.latencies.push(now() - t.releasedAt);
                t.releasedAt = 0;
            }
        });
        // Release to the extension's gesture signal: the shell's share of the latency.
        this._gestures = Gio.DBus.session.signal_subscribe(null, 'com.morvale.Pivorel.Shell',
            'Gesture', null, null, Gio.DBusSignalFlags.NONE, () => {
                const t = global.pivorelTest;
                if (t.releasedAt && t.signalledFor !== t.releasedAt) {
                    t.signalled.push(now() - t.releasedAt);
                    t.signalledFor = t.releasedAt;
                }
            });
        global.pivorelTest = {
            releasedAt: 0,
            latencies: [],
            signalled: [],
            move: (x, y) => pointer.notify_absolute_motion(now(), x, y),
            // A press, `steps` moves 15 ms apart, and the release.
            drag(x1, y1, x2, y2, steps = 8) {
                this.move(x1, y1);
                button(1, true);
                for (let i = 1; i <= steps; i++) {
                    later(15 * i, () => this.move(x1 + (x2 - x1) * i / steps,
                        y1 + (y2 - y1) * i / steps));
                }
                later(15 * steps + 30, () => {
                    button(1, false);
                    this.releasedAt = now();
                });
                return 15 * steps + 30;
            },
            click(x, y, count = 1) {
                this.move(x, y);
                for (let i = 0; i < count; i++) {
                    later(60 * i, () => button(1, true));
                    later(60 * i + 20, () => button(1, false));
                }
                return 60 * count;
            },
            shiftClick(x, y) {
                keyboard.notify_keyval(now(), 0xffe1, Clutter.KeyState.PRESSED);
                const length = this.click(x, y);
                later(length + 40, () =>
                    keyboard.notify_keyval(now(), 0xffe1, Clutter.KeyState.RELEASED));
                return length + 40;
            },
            key(keyval) {
                keyboard.notify_keyval(now(), keyval, Clutter.KeyState.PRESSED);
                keyboard.notify_keyval(now(), keyval, Clutter.KeyState.RELEASED);
                return 0;
            },
            // Presses the keys in order and lets go of them in reverse.
            chord(...keyvals) {
                for (const k of keyvals)
                    keyboard.notify_keyval(now(), k, Clutter.KeyState.PRESSED);
                for (const k of keyvals.reverse())
                    keyboard.notify_keyval(now(), k, Clutter.KeyState.RELEASED);
                return 0;
            },
            // The program's windows the window manager manages (the panel, not the bar): title,
            // frame and whether it shows.
            managedWindows: () => global.get_window_actors().map(a => a.meta_window)
                .filter(w => /pivorel/i.test(w.get_wm_class() || '') && !w.is_override_redirect())
                .map(w => {
                    const r = w.get_frame_rect();
                    return `${w.get_title()} ${r.x},${r.y} ${r.width}x${r.height} ${w.showing_on_its_workspace()}`;
                }).join('; '),
            focusClass: () => global.display.focus_window ? global.display.focus_window.get_wm_class() : '',
        };
        return true;
    }

    disable() {
        global.display.disconnect(this._created);
        Gio.DBus.session.signal_unsubscribe(this._gestures);
        delete global.pivorelTest;
        global.context.unsafe_mode = false;
    }
}
