#!/usr/bin/env bash
# Takes docs/screenshot.png and, in English, docs/screenshot-en.png: the demo with live curves from the simulated board,
# under a virtual display, so it works on a machine without one.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/presets.sh
build_dir=${BUILD_DIR:-$(preset_dir default)}
cmake --preset default -B "$build_dir"
cmake --build "$build_dir" --target demo-screenshot --parallel "$(nproc)"
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot.png "${1:-8}" 2>/dev/null
xvfb-run -a -s "-screen 0 1280x1024x24" "$build_dir/demo/demo-screenshot" docs/screenshot-en.png "${1:-8}" en 2>/dev/null
