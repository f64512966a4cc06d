#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. The window tests need
# an X server: without a display they run on a virtual one (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
ctest_cmd=(ctest --test-dir build --output-on-failure --timeout 300)
if [ -n "${DISPLAY:-}" ]; then
  "${ctest_cmd[@]}"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest_cmd[@]}"
fi
