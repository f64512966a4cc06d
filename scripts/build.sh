#!/usr/bin/env bash
# Configures and builds everything into ./build. Extra arguments go to CMake
# (the test command adds -DTW_WERROR=ON -DTW_ASSERTIONS=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build
