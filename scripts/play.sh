#!/usr/bin/env bash
# Builds the game and starts it on the generated sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
# Lets ccache share objects between clones of the tree in other folders.
export CCACHE_BASEDIR="$PWD"
# Debug information names the build folder; without this every clone misses.
export CCACHE_NOHASHDIR=1
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target trevok sample_data
exec build/default/trevok -w "$PWD/build/default/sample-data" "$@"
