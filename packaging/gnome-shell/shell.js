// The part of the extension shared by both builds. It names no module: the build wraps it
// with the imports of the GNOME release it targets, which provide GLib, Gio, Meta, Shell,
// Clutter and Main.

const BUS_NAME = 'com.morvale.Pivorel.Shell';
const OBJECT_PATH = '/com/morvale/Pivorel/Shell';
const INTERFACE_XML = `
<node>
  <interface name="com.morvale.Pivorel.Shell">
    <method name="SetBarShown"><arg type="b" direction="in" name="shown"/></method>
    <method name="SetHotKey">
      <arg type="s" direction="in" name="accelerator"/>
      <arg type="b" direction="out" name="grabbed"/>
    </method>
    <method name="FocusedApp">
      <arg type="s" direction="out" name="id"/>
      <arg type="u" direction="out" name="pid"/>
    </method>
    <method name="Pointer">
      <arg type="d" direction="out" name="x"/>
      <arg type="d" direction="out" name="y"/>
    </method>
    <property name="Version" type="u" access="read"/>
    <signal name="Gesture">
      <arg type="d" name="pressX"/><arg type="d" name="pressY"/>
      <arg type="d" name="releaseX"/><arg type="d" name="releaseY"/>
      <arg type="i" name="clickCount"/><arg type="b" name="shift"/>
      <arg type="x" name="releasedAt"/>
    </signal>
    <signal name="MouseDown">
      <arg type="d" name="x"/><arg type="d" name="y"/><arg type="u" name="button"/>
    </signal>
    <signal name="PointerMoved"><arg type="d" name="x"/><arg type="d" name="y"/></signal>
    <signal name="FocusedAppChanged"><arg type="s" name="id"/><arg type="u" name="pid"/></signal>
    <signal name="HotKey"/>
  </interface>
</node>`;

// The pointer is asked this often, and only while a selection is being made or the bar is
// shown: with neither, nothing runs. The release ends the gesture and starts the bar's
// clock, so it is looked for every millisecond: a look costs about 2 µs, and a drag
// lasts a second or two. A look the shell makes ahead of a frame it is about to draw
// finds a release that the frame would otherwise hold back by 10 ms or more.
const POLL_MS = 10;
const GESTURE_POLL_MS = 1;
// A press and a release this close together did not drag.
const CLICK_SLOP = 3;
// How long a selection change waits for the button state to catch up with it.
const SETTLE_MS = 15;
// How long after a release a selection change still belongs to it.
const RELEASE_WINDOW_US = 500 * 1000;
const KEYBOARD_MODIFIERS = Clutter.ModifierType.SHIFT_MASK | Clutter.ModifierType.CONTROL_MASK |
    Clutter.ModifierType.MOD1_MASK | Clutter.ModifierType.SUPER_MASK |
    Clutter.ModifierType.MOD4_MASK;

class PivorelShell {
    constructor() {
        this._barShown = false;
        this._poll = 0;
        this._pollMs = 0;
        this._press = null;
        this._buttons = 0;
        this._heldAt = 0;
        this._lastPress = null;
        this._released = null;
        this._settle = 0;
        this._lastPointer = null;
        this._client = null;
        this._clientWatch = 0;
        this._hotKey = null;
        this._focused = ['', 0];
        this._signals = [];
    }

    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        const selection = global.display.get_selection();
        this._connect(selection, 'owner-changed', (_s, type) => {
            if (type === Meta.SelectionType.SELECTION_PRIMARY)
                this._primaryChanged();
        });
        this._connect(global.display, 'notify::focus-window', () => this._focusChanged());
        // The tracker may name a new window's application only after it has the focus.
        this._connect(Shell.WindowTracker.get_default(), 'notify::focus-app',
            () => this._focusChanged());
        this._connect(global.display, 'accelerator-activated', (_d, action) => {
            if (this._hotKey && action === this._hotKey.action)
                this._dbus.emit_signal('HotKey', null);
        });
        this._focusChanged();
    }

    disable() {
        this._stopPolling();
        if (this._settle)
            GLib.source_remove(this._settle);
        this._settle = 0;
        this._ungrabHotKey();
        this._forgetClient();
        for (const [object, id] of this._signals)
            object.disconnect(id);
        this._signals = [];
        if (this._nameId)
            Gio.bus_unown_name(this._nameId);
        this._nameId = 0;
        this._dbus.unexport();
        this._dbus = null;
        this._press = null;
        this._barShown = false;
    }

    // ---- D-Bus methods

    // 2: the gesture says when the button went up.
    get Version() {
        return 2;
    }

    SetBarShownAsync([shown], invocation) {
        this._follow(invocation.get_sender());
        this._barShown = shown;
        this._lastPointer = null;
        if (shown) {
            this._buttons = this._pointer()[2] & (Clutter.ModifierType.BUTTON1_MASK |
                Clutter.ModifierType.BUTTON3_MASK);
            this._startPolling();
        }
        invocation.return_value(null);
    }

    SetHotKeyAsync([accelerator], invocation) {
        this._follow(invocation.get_sender());
        this._ungrabHotKey();
        let grabbed = false;
        if (accelerator !== '') {
            const action = global.display.grab_accelerator(accelerator,
                Meta.KeyBindingFlags.NONE);
            if (action !== Meta.KeyBindingAction.NONE) {
                const name = Meta.external_binding_name_for_action(action);
                Main.wm.allowKeybinding(name, Shell.ActionMode.NORMAL |
                    Shell.ActionMode.OVERVIEW | Shell.ActionMode.POPUP);
                this._hotKey = {action, name};
                grabbed = true;
            }
        }
        invocation.return_value(new GLib.Variant('(b)', [grabbed]));
    }

    FocusedApp() {
        return this._focused;
    }

    Pointer() {
        const [x, y] = this._pointer();
        return [x, y];
    }

    // ---- the gesture

    _primaryChanged() {
        const [x, y, mods] = this._pointer();
        if (!(mods & Clutter.ModifierType.BUTTON1_MASK)) {
            // Released before our next look at the pointer: that look reports the gesture.
            if (this._press)
                this._press.changed = true;
            else
                this._changedAfterRelease(x, y, mods);
            return;
        }
        // The press happened before we looked, unless the pointer was already watched.
        if (!this._press)
            this._press = {x, y, clicks: 0, seen: false};
        this._press.changed = true;
        this._heldAt = GLib.get_monotonic_time();
        this._buttons |= Clutter.ModifierType.BUTTON1_MASK;
        this._startPolling();
    }

    // Text entries set the selection when the button goes up rather than during the drag.
    // A change with a modifier held is the keyboard's (Shift+arrows, Ctrl+A), unless we
    // watched a release just before it (a Shift+click while the bar was shown).
    _changedAfterRelease(x, y, mods) {
        if (this._settle)
            return;
        // The button went up before this change was seen: no later than now.
        const seenAt = GLib.get_monotonic_time();
        const released = this._released;
        const watched = released !== null &&
            GLib.get_monotonic_time() - released.at < RELEASE_WINDOW_US;
        if ((mods & KEYBOARD_MODIFIERS) && !watched)
            return;
        // The button state can trail the first change of a drag a little: look again shortly
        // (once, not a poll) before taking the change for a finished gesture.
        this._settle = GLib.timeout_add(GLib.PRIORITY_DEFAULT, SETTLE_MS, () => {
            this._settle = 0;
            const [nx, ny, now] = this._pointer();
            if (now & Clutter.ModifierType.BUTTON1_MASK)
                this._primaryChanged();
            else if (!this._press && (watched || !(now & KEYBOARD_MODIFIERS)))
                this._finishedBeforeWatching(nx, ny, ((mods | now) & Clutter.ModifierType.SHIFT_MASK) !== 0, seenAt);
            return GLib.SOURCE_REMOVE;
        });
    }

    _finishedBeforeWatching(x, y, shift, releasedAt) {
        // Where the button went down, when we happened to watch it (the bar was shown).
        const press = this._released;
        this._released = null;
        const recent = press && GLib.get_monotonic_time() - press.at < RELEASE_WINDOW_US;
        if (recent && press.reported)
            return;
        const [px, py] = recent ? [press.x, press.y] : [x, y];
        this._dbus.emit_signal('Gesture', new GLib.Variant('(ddddibx)',
            [px, py, x, y, 2, shift, releasedAt]));
    }

    _tick() {
        const at = GLib.get_monotonic_time();
        const [x, y, mods] = this._pointer();
        const b1 = Clutter.ModifierType.BUTTON1_MASK;
        const b3 = Clutter.ModifierType.BUTTON3_MASK;
        const pressed = mods & ~this._buttons;
        const released = this._buttons & ~mods;
        this._buttons = mods & (b1 | b3);
        if (this._barShown) {
            const last = this._lastPointer;
            if (last && (last[0] !== x || last[1] !== y))
                this._dbus.emit_signal('PointerMoved', new GLib.Variant('(dd)', [x, y]));
            this._lastPointer = [x, y];
            if (pressed & b1)
                this._emitDown(x, y, 1);
            if (pressed & b3)
                this._emitDown(x, y, 3);
        }
        if (pressed & b1)
            this._press = {x, y, clicks: this._clickCount(x, y), seen: true, changed: false};
        if (mods & b1)
            this._heldAt = at;
        if ((released & b1) && this._press) {
            const press = this._press;
            this._press = null;
            this._released = {x: press.x, y: press.y, at, reported: press.changed};
            // The button went up between the last look that saw it down and this one: the
            // middle is the best guess, and the program counts its read delay from there.
            // When the shell was busy the looks are far apart, and the guess matters most.
            const releasedAt = this._heldAt ? Math.round((this._heldAt + at) / 2) : at;
            this._heldAt = 0;
            if (press.changed) {
                // A selection made without the pointer moving is a double or triple click.
                const still = Math.abs(x - press.x) <= CLICK_SLOP &&
                    Math.abs(y - press.y) <= CLICK_SLOP;
                const clicks = press.seen ? press.clicks : still ? 2 : 1;
                const shift = (mods & Clutter.ModifierType.SHIFT_MASK) !== 0;
                this._dbus.emit_signal('Gesture', new GLib.Variant('(ddddibx)',
                    [press.x, press.y, x, y, clicks, shift, releasedAt]));
            }
        }
        if (!this._barShown && !this._press) {
            this._poll = 0;
            return GLib.SOURCE_REMOVE;
        }
        if (this._pollInterval() === this._pollMs)
            return GLib.SOURCE_CONTINUE;
        this._poll = 0;
        this._startPolling();
        return GLib.SOURCE_REMOVE;
    }

    _clickCount(x, y) {
        const now = GLib.get_monotonic_time() / 1000;
        const interval = Clutter.Settings.get_default().double_click_time;
        const last = this._lastPress;
        const again = last && now - last.at <= interval &&
            Math.abs(x - last.x) <= CLICK_SLOP && Math.abs(y - last.y) <= CLICK_SLOP;
        this._lastPress = {x, y, at: now, count: again ? last.count + 1 : 1};
        return this._lastPress.count;
    }

    _emitDown(x, y, button) {
        this._dbus.emit_signal('MouseDown', new GLib.Variant('(ddu)', [x, y, button]));
    }

    _pollInterval() {
        return this._press ? GESTURE_POLL_MS : POLL_MS;
    }

    _startPolling() {
        const interval = this._pollInterval();
        if (this._poll && this._pollMs === interval)
            return;
        this._stopPolling();
        this._pollMs = interval;
        // Ahead of the input events and repaints a drag queues, which can hold the loop.
        const priority = this._press ? GLib.PRIORITY_HIGH : GLib.PRIORITY_DEFAULT;
        this._poll = GLib.timeout_add(priority, interval, () => this._tick());
    }

    _stopPolling() {
        if (this._poll)
            GLib.source_remove(this._poll);
        this._poll = 0;
    }

    _pointer() {
        return global.get_pointer();
    }

    // ---- the focused application

    _focusChanged() {
        const window = global.display.focus_window;
        const app = window ? Shell.WindowTracker.get_default().get_window_app(window) : null;
        // A window no desktop file claims is named by its class, as on X11.
        let id = app && !app.is_window_backed() ? app.get_id() : '';
        if (!id && window)
            id = window.get_wm_class() || '';
        if (id.endsWith('.desktop'))
            id = id.slice(0, -'.desktop'.length);
        const pid = window ? Math.max(window.get_pid(), 0) : 0;
        if (id === this._focused[0] && pid === this._focused[1])
            return;
        this._focused = [id, pid];
        this._dbus.emit_signal('FocusedAppChanged', new GLib.Variant('(su)', this._focused));
    }

    // ---- the program on the other side

    // When the program goes away, so do its bar and its hot key.
    _follow(sender) {
        if (this._client === sender)
            return;
        this._forgetClient();
        this._client = sender;
        this._clientWatch = Gio.bus_watch_name_on_connection(Gio.DBus.session, sender,
            Gio.BusNameWatcherFlags.NONE, null, () => {
                this._forgetClient();
                this._barShown = false;
                this._ungrabHotKey();
            });
    }

    _forgetClient() {
        if (this._clientWatch)
            Gio.bus_unwatch_name(this._clientWatch);
        this._clientWatch = 0;
        this._client = null;
    }

    _ungrabHotKey() {
        if (!this._hotKey)
            return;
        global.display.ungrab_accelerator(this._hotKey.action);
        Main.wm.allowKeybinding(this._hotKey.name, Shell.ActionMode.NONE);
        this._hotKey = null;
    }

    _connect(object, signal, handler) {
        this._signals.push([object, object.connect(signal, handler)]);
    }
}
