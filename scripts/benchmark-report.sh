#!/usr/bin/env bash
# Builds in release mode and prints every figure on its own line as
# "name: value unit", with its ratio against its bound where it has one.
# Timing never fails anything here: this report is how the figures are read.
#   --install-deps  first install with apt whatever this machine lacks
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps "" "$@" >&2
build_dir=${BUILD_DIR:-$(preset_dir release)}
cmake --preset release -B "$build_dir" "$(warnings_option)" >&2
cmake --build "$build_dir" --target bench_flash bench_send bench_receive bench_memory bench_startup bench_ctl bench_reconnect bench_chart bench_limits bench_mqtt --parallel "$(nproc)" >&2
bench=$build_dir/bench

# One virtual display for every figure that needs OpenGL or a real window.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
trap 'kill $xvfb_pid 2>/dev/null; rm -f "$display_file"' EXIT
for _ in $(seq 50); do [[ -s $display_file ]] && break; sleep 0.1; done
display=:$(cat "$display_file")

offscreen() { QT_QPA_PLATFORM=offscreen "$@" 2>/dev/null; }
on_display() { DISPLAY=$display QT_QPA_PLATFORM=xcb "$@" 2>/dev/null; }

# The receive path: cost per frame and per text chunk, then the board as a writer thread streaming frames at 9000/s and
# 2 MB of text at the line's rate.
echo "# receive path, with OpenGL under a virtual display"
on_display "$bench/bench_receive"
echo "# receive path, without OpenGL (offscreen)"
offscreen "$bench/bench_receive"
echo "# flashing: time against its 1 ms pauses, and the longest event-loop stall meanwhile"
offscreen "$bench/bench_flash"
echo "# bench-ctl: 256 KiB to 1, 4 and 8 boards at once; 8 against 1, CPU per board, shortest pause"
"$bench/bench_ctl" 2>/dev/null
echo "# reconnect: CPU of watching for a lost board over 60 s, then time to reopen it"
offscreen "$bench/bench_reconnect" 60
echo "# sending 1 MiB in hex mode at the line's rate: the longest event-loop stall meanwhile"
offscreen "$bench/bench_send"
echo "# chart: a redraw paused and zoomed out over a full history, the cursors' statistics over it, and copying it as CSV"
on_display "$bench/bench_chart"
offscreen "$bench/bench_chart"
echo "# limits and trigger: receive cost with five curves limited and the trigger armed against neither; protection latency over 100 trials"
offscreen "$bench/bench_limits"
echo "# MQTT, to a broker of the benchmark's own: receive cost at 9000 frames/s publishing against not, samples a subscriber got"
offscreen "$bench/bench_mqtt"
echo "# MQTT: the broker down for 60 s at 9000 frames/s: peak memory, longest stall, what the reconnect delivered"
offscreen "$bench/bench_mqtt" outage
echo "# memory (the mixed run fills the chart's history)"
offscreen "$bench/bench_memory"
offscreen "$bench/bench_memory" line-free

# Start-up: whole runs of a console that exits once its window is shown; the
# median of several runs.
startup_ms() {
    local runs=() start end
    for _ in 1 2 3 4 5 6 7; do
        start=$(date +%s%N)
        "$@" "$bench/bench_startup"
        end=$(date +%s%N)
        runs+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${runs[@]}" | sort -n | sed -n 4p
}
echo "# start-up"
echo "startup_to_window_shown (offscreen): $(startup_ms offscreen) ms"
echo "startup_to_window_shown (X display): $(startup_ms on_display) ms"
