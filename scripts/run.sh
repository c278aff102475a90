#!/usr/bin/env bash
# Builds the editor into its run folder and starts it there. Without a display it starts it on a
# virtual display, saves a screenshot once the window is up, and closes it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target run_folder

run_dir=$PWD/build/run
cd "$run_dir"
if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
  exec ./kestrova
fi

shot=$run_dir/kestrova-screenshot.png
echo "No display: starting Kestrova on a virtual display."
KESTROVA_SCREENSHOT="$shot" xvfb-run -a -s "-screen 0 1280x800x24" ./kestrova
echo "Screenshot of the running editor: $shot"
