#!/usr/bin/env bash
# Builds Garivolo and runs every test, the end-to-end one in a private X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
build=build-test
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DGARIVOLO_RECORD_DIR="$PWD/$build/records" >/dev/null
cmake --build "$build" -j"$(nproc)"
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
# The unit tests run side by side; the end-to-end ones, which time sound and
# screen, each have the machine to themselves.
(cd "$build" && ctest --output-on-failure --timeout 300 -j"$(nproc)")

# The unit tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$(nproc)"
ctest --preset sanitize --timeout 300 -j"$(nproc)" -E "e2e|screenreader|screens"
