#!/usr/bin/env bash
# The main job: builds the bootstrapper and runs it under an application name.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=${BUILD_DIR:-build-demo}
cmake -S . -B "$build" -G Ninja -DSETUP_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bootstrapper

demo=$(mktemp -d /tmp/corvanel-demo-XXXXXX)
cp "$build/bin/bootstrapper" "$demo/Install_PhotoTool_v2"
echo "Running $demo/Install_PhotoTool_v2"
"$demo/Install_PhotoTool_v2"
echo "Exit code: $?"
