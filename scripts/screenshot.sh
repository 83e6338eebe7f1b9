#!/usr/bin/env bash
# Takes docs/screenshot.png and, in English, docs/screenshot-en.png: the demo with live curves from the simulated board,
# docs/screenshot-paused.png: the chart paused, zoomed and read under the mouse, and
# docs/screenshot-trigger.png: a trigger's capture of the GPU rail's inrush with the cursors around it;
# under a virtual display, so it works on a machine without one.
#   screenshot.sh [--install-deps] [SECONDS]   SECONDS of curves before the shot (default: 8)
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/presets.sh
source scripts/lib/deps.sh
require_deps "" "$@"
seconds=8
for arg; do
    [[ $arg == --install-deps ]] || seconds=$arg
done
build_dir=${BUILD_DIR:-$(preset_dir default)}
cmake --preset default -B "$build_dir" "$(warnings_option)"
cmake --build "$build_dir" --target demo-screenshot --parallel "$(nproc)"
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot.png "$seconds" 2>/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot-en.png "$seconds" en 2>/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot-paused.png "$seconds" paused 2>/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot-trigger.png 4 trigger 2>/dev/null
