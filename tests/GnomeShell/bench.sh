# Sourced by e2e.sh in its session, the shell, the widget factory and the program running:
# release -> the extension's gesture signal and release -> bar mapped over PIVOREL_E2E_BENCH drags,
# then GNOME Shell's CPU time while nothing happens, with the extension enabled and disabled.
series_ms() {
    eval_js "global.pivorelTest.$1.map(us => (us / 1000).toFixed(1)).join(\" \")" |
        sed -n "s/.*'\"\(.*\)\"')/\1/p"
}
cpu_ms() { awk '{print ($14 + $15) * 1000 / '"$(getconf CLK_TCK)"'}' "/proc/$shell_pid/stat"; }
drags_from=$(cpu_ms)
for i in $(seq "$PIVOREL_E2E_BENCH"); do
    # A click on another line hides the bar and clears the selection (a press inside it
    # would start dragging the text away); then a fresh drag.
    gesture "global.pivorelTest.click($((tx + 45)), $((ty + 54)))"
    sleep 0.3
    gesture "global.pivorelTest.drag($tx, $ty, $((tx + 115 + (i % 3) * 10)), $ty)"
    sleep 0.6
done
drags_cpu=$(echo "$(cpu_ms) $drags_from" | awk -v n="$PIVOREL_E2E_BENCH" '{printf "%.0f", ($1 - $2) / n}')
summary() {
    echo "$2" | tr ' ' '\n' | grep . | sort -n | awk -v n="$PIVOREL_E2E_BENCH" -v what="$1" '
        { v[NR] = $1 }
        END {
            if (NR == 0) { print "bench: " what ": none"; exit }
            printf "bench: %s over %d of %d drags: p50 %.1f ms, p95 %.1f ms, max %.1f ms\n",
                what, NR, n, v[int((NR + 1) * 0.5)], v[int(NR * 0.95 + 0.999)], v[NR]
        }'
}
summary "release -> gesture signalled" "$(series_ms signalled)"
summary "release -> bar mapped" "$(series_ms latencies)"
echo "bench: GNOME Shell CPU per drag (a click, a drag and the bar): ${drags_cpu} ms"
# The extension's look at the pointer, made every GESTURE_POLL_MS while a selection is made.
look_us=$(eval_js "const t0 = GLib.get_monotonic_time(); for (let i = 0; i < 10000; i++) global.get_pointer(); ((GLib.get_monotonic_time() - t0) / 10000).toFixed(1)" |
    sed -n "s/.*'\(.*\)')/\1/p" | tr -d '"')
echo "bench: one look at the pointer: ${look_us} µs"
echo "bench: load average $(cut -d' ' -f1-3 /proc/loadavg)"
# Idle: the bar hidden, the pointer still, and no animated application.
gesture "global.pivorelTest.click($((fx + 700)), $((fy + 728)))"
kill "${pids[1]}" 2>/dev/null || true
sleep 2
idle() {
    local a b
    a=$(cpu_ms); sleep 10; b=$(cpu_ms)
    echo "$b - $a" | awk '{printf "%.0f", $1 - $3}'
}
with=$(idle)
gnome-extensions disable pivorel@morvale.com
sleep 2
without=$(idle)
echo "bench: GNOME Shell CPU over 10 s idle: ${with} ms with the extension, ${without} ms without"
