#!/usr/bin/env bash
# Remakes the README's pictures with the GUI tests' screenshot code (a real game file open in the
# main window, and each panel mode) and copies them into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target shell_gui_tests run_folder
(cd build/tests && QT_QPA_PLATFORM=offscreen KESTROVA_REALDATA=$PWD/../../../shared/realdata \
   ./shell_gui_tests --gtest_filter='ReadmeScreenshots.*')
mkdir -p docs/screenshots
for picture in build/screenshots/readme-*.png; do
  cp "$picture" "docs/screenshots/$(basename "$picture" | sed 's/^readme-//')"
done
ls -l docs/screenshots
