#!/usr/bin/env bash
# Builds and starts the console beside an in-process simulated board.
#   --real          start the plain console instead, which lists only the real ports
#   --install-deps  first install with apt whatever this machine lacks
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps "" "$@"
build_dir=${BUILD_DIR:-$(preset_dir default)}
cmake --preset default -B "$build_dir" "$(warnings_option)"
if [[ " $* " == *" --real "* ]]; then
    cmake --build "$build_dir" --target bench-console --parallel "$(nproc)"
    exec "$build_dir/src/bench-console"
fi
cmake --build "$build_dir" --target bench-console-demo --parallel "$(nproc)"
if [[ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
    echo "No display here: run scripts/screenshot.sh to see the demo under a virtual display." >&2
    exit 1
fi
exec "$build_dir/demo/bench-console-demo"
