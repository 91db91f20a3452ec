#!/usr/bin/env bash
# Takes the pictures of docs/wizard.md: runs the wizard's window test under
# Xvfb with TABRIX_SCREENSHOTS set, so each page and each dialog (Fields,
# Filter, Command Line) is saved as the X server shows it.
# Usage: scripts/wizard-screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${1:-build}
cmake --build "$build_dir" --target wizard_window_tests >/dev/null
mkdir -p docs/images
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
TABRIX_SCREENSHOTS="$PWD/docs/images" TABRIX_SETTINGS="$settings/settings.reg" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1024x768x24" "$build_dir/tests/ui/wizard_window_tests"
ls docs/images/wizard-*.png
