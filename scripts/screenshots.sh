#!/usr/bin/env bash
# A picture of each panel and dialog under a virtual display, connected to the
# simulated unit: screenshots/*.png; the five the documents show are copied to docs/.
set -euo pipefail
build=${1:-build}
if ! command -v xvfb-run >/dev/null; then
  SUDO=$([ "$(id -u)" = 0 ] || echo sudo)
  $SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq xvfb xauth >/dev/null
fi
xvfb-run -a -s "-screen 0 1920x1080x24" "$build/ktraveld-screenshots" screenshots
cp screenshots/main-window.png screenshots/line-monitor.png screenshots/compare-table.png \
  screenshots/production-run.png screenshots/results-charts.png docs/
ls screenshots/*.png
