#!/usr/bin/env bash
# Builds Garivolo with a record directory inside the build tree and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build-run
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
      -DGARIVOLO_RECORD_DIR="$PWD/$build/records" >/dev/null
cmake --build "$build" -j"$(nproc)"
mkdir -p "$build/records"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
fi
exec "$build/app/garivolo"
