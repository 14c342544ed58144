#!/usr/bin/env bash
# End to end on GNOME's Wayland session: a headless GNOME Shell with the program's extension
# and a test driver extension, gtk3-widget-factory as a native Wayland application, and the
# program under test through Xwayland. One shell for all cases, run in sequence.
#   e2e.sh PIVOREL EXTENSION_BUILD_DIR
# With PIVOREL_E2E_BENCH=N it measures instead (bench.sh): N drags, and the idle shell.
# Exits 77 (skipped) with the reason when the shell cannot run here. As root it runs itself
# as a throw-away user: GNOME Shell refuses nothing to root, but its session parts do.
set -euo pipefail
pivorel=$(realpath "$1")
builds=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
user=pivorel-e2e
skip() { echo "SKIP: $*"; exit 77; }
say() { echo "e2e: $*"; }

for program in gnome-shell Xwayland gtk3-widget-factory dbus-run-session dbus-daemon gdbus xclip xwininfo; do
    command -v "$program" >/dev/null || skip "$program is not installed"
done
# The system's python: the one first on PATH may lack gi.
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null ||
    skip "/usr/bin/python3 cannot import GTK 3 (python3-gi, gir1.2-gtk-3.0)"

if [ "$(id -u)" = 0 ] && [ -z "${PIVOREL_E2E_USER:-}" ]; then
    id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user" ||
        skip "cannot create the user $user"
    # The build may sit where that user cannot read it (root's home): hand over copies.
    copies=$(mktemp -d /tmp/pivorel-e2e-bin-XXXXXX)
    trap 'rm -rf "$copies"' EXIT
    cp "$pivorel" "$copies/pivorel"
    cp -r "$builds" "$copies/extension"
    cp "$0" "$here/driver.js" "$here/bench.sh" "$here/password.py" "$copies/"
    chmod -R a+rX "$copies"
    status=0
    runuser -u "$user" -- env -i PATH="$PATH" HOME="$(getent passwd "$user" | cut -d: -f6)" \
        PIVOREL_E2E_USER=1 PIVOREL_E2E_KEEP="${PIVOREL_E2E_KEEP:-}" PIVOREL_E2E_BENCH="${PIVOREL_E2E_BENCH:-}" \
        "$copies/e2e.sh" "$copies/pivorel" "$copies/extension" || status=$?
    exit $status
fi

if [ "${PIVOREL_E2E_STAGE:-}" != session ]; then
    run=$(mktemp -d /tmp/pivorel-e2e-XXXXXX)
    export PIVOREL_E2E_RUN=$run
    # PIVOREL_E2E_KEEP=1 keeps the logs and screenshots for a look afterwards.
    clean() { [ -n "${PIVOREL_E2E_KEEP:-}" ] && echo "e2e: kept $run" || rm -rf "$run"; }
    trap clean EXIT
    mkdir -m 700 "$run/runtime"
    export XDG_RUNTIME_DIR=$run/runtime HOME=$run/home XDG_CONFIG_HOME=$run/home/.config
    export XDG_DATA_HOME=$run/home/.local/share XDG_CACHE_HOME=$run/home/.cache
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
    major=$(gnome-shell --version | grep -o '[0-9]\+' | head -1)
    [ "$major" -ge 43 ] || skip "GNOME Shell $major is older than 43"
    build=legacy
    [ "$major" -ge 45 ] && build=modules
    extensions=$XDG_DATA_HOME/gnome-shell/extensions
    mkdir -p "$extensions/pivorel@morvale.com" "$extensions/pivorel-test@morvale.com"
    cp "$builds/$build/"* "$extensions/pivorel@morvale.com/"
    driver=$extensions/pivorel-test@morvale.com
    if [ $build = legacy ]; then
        { echo "const {Clutter, Gio, GLib} = imports.gi;"; cat "$here/driver.js"
          echo "let driver; function init() {}"
          echo "function enable() { driver = new PivorelTestDriver(); driver.enable(); }"
          echo "function disable() { driver.disable(); }"; } >"$driver/extension.js"
    else
        { echo "import Clutter from 'gi://Clutter'; import Gio from 'gi://Gio'; import GLib from 'gi://GLib';"
          echo "import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';"
          cat "$here/driver.js"
          echo "export default class extends Extension {"
          echo "  enable() { this._d = new PivorelTestDriver(); this._d.enable(); }"
          echo "  disable() { this._d.disable(); } }"; } >"$driver/extension.js"
    fi
    echo "{\"uuid\": \"pivorel-test@morvale.com\", \"name\": \"Pivorel test driver\"," \
        "\"description\": \"tests only\", \"shell-version\": [\"$major\"]}" >"$driver/metadata.json"
    # Without a system bus the shell's interface never starts.
    read -r system_bus system_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -sd' ')
    trap 'kill $system_pid 2>/dev/null; clean' EXIT
    export DBUS_SYSTEM_BUS_ADDRESS=$system_bus PIVOREL_E2E_STAGE=session
    status=0
    dbus-run-session -- "$0" "$@" 2>"$run/session.log" || status=$?
    exit $status
fi

# ---- inside the private session bus
run=$PIVOREL_E2E_RUN
gsettings set org.gnome.shell disable-user-extensions false
gsettings set org.gnome.shell enabled-extensions "['pivorel@morvale.com', 'pivorel-test@morvale.com']"
gsettings set org.gnome.desktop.interface toolkit-accessibility true
gnome-shell --headless --wayland --virtual-monitor 1280x800 >"$run/shell.log" 2>&1 &
shell_pid=$!
pids=($shell_pid)
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

eval_js() {
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval "$1" 2>/dev/null
}
# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1; shift
    for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
wait_for 300 sh -c 'gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval "global.pivorelTest.move(640, 400)" | grep -q "^(true"' ||
    { tail -20 "$run/shell.log"; skip "GNOME Shell did not start headless here"; }
wait_for 50 gdbus introspect --session --dest com.morvale.Pivorel.Shell --object-path /com/morvale/Pivorel/Shell ||
    { grep -A5 "JS ERROR\|pivorel" "$run/shell.log" || true; echo "FAIL: the extension did not start"; exit 1; }
eval_js 'Main.overview.hide()' >/dev/null
getenv() { eval_js "GLib.getenv(\"$1\")" | sed -n "s/.*'\"\(.*\)\"')/\1/p"; }
display=$(getenv DISPLAY)
export WAYLAND_DISPLAY=$(getenv WAYLAND_DISPLAY)
xauth=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -1)
[ -n "$display" ] || { echo "FAIL: no Xwayland display"; exit 1; }
export DISPLAY=$display XAUTHORITY=$xauth

GDK_BACKEND=wayland gtk3-widget-factory >"$run/factory.log" 2>&1 &
pids+=($!)
# Our pointer moved after the program started, so Mutter does not focus its window itself.
activate='const w = global.get_window_actors().map(a => a.meta_window).find(w => w.get_wm_class() === "gtk3-widget-factory"); if (w) Main.activateWindow(w); global.pivorelTest.focusClass()'
wait_for 100 sh -c "gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval '$activate' | grep -q gtk3-widget-factory" ||
    { cat "$run/factory.log"; eval_js 'global.pivorelTest.focusClass()';
      echo "FAIL: gtk3-widget-factory did not get the focus (WAYLAND_DISPLAY=$WAYLAND_DISPLAY)"; exit 1; }
# One size for the widget factory's window, whatever Mutter chose, so its text view sits
# where the cases expect it: at the right, its first line of Latin text about (1135, 334)
# from the window's corner.
sleep 0.5
eval_js 'const w = global.display.focus_window; w.unmaximize(imports.gi.Meta.MaximizeFlags.BOTH); w.move_resize_frame(false, 0, 32, 1280, 736)' >/dev/null
sleep 0.5
read -r fx fy < <(eval_js 'const r = global.display.focus_window.get_frame_rect(); `${r.x} ${r.y}`' |
    sed -n "s/.*'\"\(.*\)\"')/\1/p")
tx=$((fx + 1135)) ty=$((fy + 334))

# Leaks are the unit tests' business; here only the flow counts.
ASAN_OPTIONS=detect_leaks=0 XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME PIVOREL_LOG_STDERR=1 \
    "$pivorel" --no-permission-guide --no-keychain-migration >"$run/pivorel.log" 2>&1 &
pids+=($!)
wait_for 200 grep -q "启动完成" "$run/pivorel.log" ||
    { cat "$run/pivorel.log"; echo "FAIL: the program did not start"; exit 1; }
grep -q "输入来自 GNOME Shell 扩展" "$run/pivorel.log" ||
    { cat "$run/pivorel.log"; echo "FAIL: the program did not take the Wayland path"; exit 1; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
shown() { grep -c "小条已弹出" "$run/pivorel.log" || true; }
# The bar: the program's mapped override-redirect window, as "x y width height".
bar_frame() {
    xwininfo -root -children 2>/dev/null | grep -i '"pivorel' | while read -r id _; do
        xwininfo -id "$id" | awk '/Map State: IsViewable/{v=1} /Absolute upper-left X/{x=$4}
            /Absolute upper-left Y/{y=$4} /Width/{w=$2} /Height/{h=$2}
            /Override Redirect State: yes/{o=1} END{if (v && o) print x, y, w, h}'
    done | head -1
}
# Runs a driver gesture and waits until it is over (the driver answers its length in ms).
gesture() { sleep "$(eval_js "$1" | grep -o '[0-9]\+' | tail -1 | awk '{print $1 / 1000 + 0.1}')"; }

if [ -n "${PIVOREL_E2E_BENCH:-}" ]; then
    . "$here/bench.sh"
    exit 0
fi

say "drag-select in a Wayland text view shows the bar at the release, focus stays"
before=$(shown)
gesture "global.pivorelTest.drag($tx, $ty, $((tx + 115)), $ty)"
if wait_for 30 sh -c "[ \$(grep -c 小条已弹出 $run/pivorel.log) -gt $before ]"; then
    read -r bx by bw bh < <(bar_frame) || true
    [ -n "${bx:-}" ] || fail "no bar window is mapped"
    # Above or below the release point, overlapping it horizontally.
    if [ -n "${bx:-}" ] && { [ $((bx + bw)) -lt $((tx + 15)) ] || [ "$bx" -gt $((tx + 215)) ] ||
        [ "$by" -gt $((ty + 90)) ] || [ $((by + bh)) -lt $((ty - 90)) ]; }; then
        fail "the bar at $bx,$by ${bw}x$bh is not beside the release point ($((tx + 115)), $ty)"
    fi
    eval_js 'global.pivorelTest.focusClass()' | grep -q gtk3-widget-factory || fail "the application lost the focus"
else
    fail "no bar after a drag-select"
fi
selected=$(xclip -o -selection primary 2>/dev/null || true)
[[ "$selected" == Lorem* ]] || fail "the selection read through Xwayland is \"$selected\""

say "copy from the bar puts exactly the selected text on the clipboard"
screenshot() {
    gdbus call --session --dest org.gnome.Shell.Screenshot --object-path /org/gnome/Shell/Screenshot \
        --method org.gnome.Shell.Screenshot.Screenshot false false "$run/$1.png" >/dev/null 2>&1 || true
}
screenshot bar
if [ -n "${bx:-}" ]; then
    # In an editable text the bar reads cut, translate, copy, paste, more: copy in the middle.
    gesture "global.pivorelTest.click($((bx + bw / 2)), $((by + bh / 2)))"
    wait_for 20 sh -c "[ \"\$(xclip -o -selection clipboard 2>/dev/null)\" = '$selected' ]" ||
        fail "the clipboard holds \"$(xclip -o -selection clipboard 2>/dev/null || true)\", not \"$selected\""
fi

say "a single click shows nothing"
gesture "global.pivorelTest.click($((fx + 700)), $((fy + 728)))"
before=$(shown)
gesture "global.pivorelTest.click($((tx + 45)), $((ty + 54)))"
sleep 1
[ "$(shown)" -eq "$before" ] || fail "a single click showed the bar"

say "a double click on a word shows the bar for the word"
before=$(shown)
gesture "global.pivorelTest.click($((tx + 60)), $ty, 2)"
wait_for 30 sh -c "[ \$(grep -c 小条已弹出 $run/pivorel.log) -gt $before ]" || fail "no bar after a double click"
word=$(xclip -o -selection primary 2>/dev/null || true)
[ "$word" = ipsum ] || fail "the double click selected \"$word\""
# The bar's read, not only PRIMARY: a read taken ahead of the click must not serve the drag's text.
tail -2 "$run/pivorel.log" | grep -q "结果=text(5 chars)" || fail "the bar did not read the word"

say "a shift-click extends the selection and shows the bar again"
before=$(shown)
gesture "global.pivorelTest.shiftClick($((tx + 140)), $ty)"
wait_for 30 sh -c "[ \$(grep -c 小条已弹出 $run/pivorel.log) -gt $before ]" || fail "no bar after a shift-click"
extended=$(xclip -o -selection primary 2>/dev/null || true)
[[ "$extended" == "ipsum "?* ]] || fail "the shift-click selected \"$extended\""

say "the hot key opens the panel for the selection"
eval_js 'global.pivorelTest.chord(0xffe3, 0xffe9, 0x6e)' >/dev/null
wait_for 30 sh -c "gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval 'global.pivorelTest.managedWindows()' | grep -q 'Pivorel .* true'" ||
    fail "no panel after the hot key"
screenshot panel
grep -q "快捷键读不到选区\|读不到选中的文字" "$run/pivorel.log" && fail "the hot key found no selection"

say "a password entry gives ignored(secure-field), no bar, and nothing of it is kept"
eval_js 'global.pivorelTest.key(0xff1b)' >/dev/null
GDK_BACKEND=wayland /usr/bin/python3 "$here/password.py" >"$run/password.log" 2>&1 &
pids+=($!)
activate='const w = global.get_window_actors().map(a => a.meta_window).find(w => w.get_wm_class() === "pivorel-password-test"); if (w) { Main.activateWindow(w); w.move_frame(false, 100, 100); } global.pivorelTest.focusClass()'
if wait_for 100 sh -c "gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell --method org.gnome.Shell.Eval '$activate' | grep -q pivorel-password-test"; then
    sleep 0.5
    read -r px py < <(eval_js 'const r = global.display.focus_window.get_frame_rect(); `${r.x} ${r.y}`' |
        sed -n "s/.*'\"\(.*\)\"')/\1/p")
    # The entry fills the window below its title bar, 20 pixels in from each side.
    ey=$((py + 75))
    before=$(shown)
    from=$(wc -l <"$run/pivorel.log")
    gesture "global.pivorelTest.drag($((px + 30)), $ey, $((px + 300)), $ey)"
    gesture "global.pivorelTest.click($((px + 60)), $ey, 2)"
    sleep 1
    [ "$(shown)" -eq "$before" ] || fail "a selection in a password entry showed the bar"
    tail -n +"$((from + 1))" "$run/pivorel.log" | grep -q "ignored(secure-field)" ||
        fail "no ignored(secure-field) for the password entry"
    # The hot key reads whatever PRIMARY holds: here GTK's mask characters, never the password.
    eval_js 'global.pivorelTest.chord(0xffe3, 0xffe9, 0x6e)' >/dev/null
    sleep 1
    screenshot password
    ! grep -rlq hunter2 "$run/home" "$run/pivorel.log" || fail "the password reached $(grep -rl hunter2 "$run/home" "$run/pivorel.log")"
else
    fail "the password entry's window did not get the focus"
fi

if [ "$failures" -gt 0 ]; then
    echo "---- program log"; tail -40 "$run/pivorel.log"
    exit 1
fi
say "all cases passed"
