#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test, with warnings as
# errors and assertions on in every build. The window tests need
# an X server: without a display they run on a virtual one (Xvfb). A second,
# core-only build (no Qt looked for at all) proves the core stands without the
# windows.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh -DTW_WERROR=ON -DTW_ASSERTIONS=ON
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
# Tests run in parallel, one per core; the window tests hold a "display" lock,
# so only one of them uses the X server at a time.
jobs=$(nproc)

echo "== Core alone, without Qt (debug, address and undefined-behaviour checks) =="
cmake -S . -B build-core -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTW_BUILD_WINDOWS=OFF \
    -DTW_BUILD_BENCHMARKS=OFF -DTW_SANITIZE=ON -DTW_WERROR=ON > /dev/null
if grep -q '^Qt6_DIR:PATH=/' build-core/CMakeCache.txt; then
    echo "The core-only build looked for Qt." >&2
    exit 1
fi
cmake --build build-core
ctest --test-dir build-core --output-on-failure --timeout 300 -j"$jobs"

echo "== Fuzz targets (clang, libFuzzer with address and undefined-behaviour checks) =="
# Each target runs over its seeds and then a fixed number of inputs it makes
# from them, from a fixed seed, so the run is the same every time.
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_BUILD_FUZZERS=ON -DTW_BUILD_WINDOWS=OFF \
    -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCHMARKS=OFF -DTW_ASSERTIONS=ON -DTW_WERROR=ON > /dev/null
cmake --build build-fuzz
for target in build-fuzz/fuzz/fuzz_*; do
  name=$(basename "$target")
  corpus=$(mktemp -d)
  cp fuzz/seeds/"${name#fuzz_}"/* "$corpus"/
  "$target" -seed=1 -runs=20000 -max_len=65536 "$corpus" 2> "$corpus.log" || {
    cat "$corpus.log" >&2
    echo "$name found a fault" >&2
    exit 1
  }
  echo "$name: $(grep -o 'Done [0-9]* runs.*' "$corpus.log")"
  rm -rf "$corpus" "$corpus.log"
done

echo "== Everything =="
# The tests that play sound play it into a PulseAudio server of their own, with
# a null sink (so the device's clock runs in CI too), stopped when they end.
pulse_dir=$(mktemp -d)
pulse_env=(env HOME="$pulse_dir" XDG_RUNTIME_DIR="$pulse_dir" XDG_CONFIG_HOME="$pulse_dir")
if "${pulse_env[@]}" pulseaudio --daemonize=yes --exit-idle-time=-1 -n --use-pid-file=yes \
    --load="module-null-sink sink_name=tw_null" --load="module-native-protocol-unix auth-anonymous=1" \
    --log-target=file:"$pulse_dir/log"; then
  export PULSE_SERVER="unix:$pulse_dir/pulse/native"
else
  echo "No PulseAudio server could be started; the tests that play sound are skipped." >&2
fi
trap '"${pulse_env[@]}" pulseaudio --kill 2>/dev/null || true; rm -rf "$pulse_dir"' EXIT
ctest_cmd=(ctest --test-dir build --output-on-failure --timeout 300 -j"$jobs")
if [ -n "${DISPLAY:-}" ]; then
  "${ctest_cmd[@]}"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" "${ctest_cmd[@]}"
fi
