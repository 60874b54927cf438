#!/usr/bin/env bash
# Builds everything and runs every test. PRESET=debug (or tsan) picks a
# sanitizer build; the default is the RelWithDebInfo build.
set -euo pipefail
cd "$(dirname "$0")/.."
# Lets ccache share objects between clones of the tree in other folders.
export CCACHE_BASEDIR="$PWD"
# Debug information names the build folder; without this every clone misses.
export CCACHE_NOHASHDIR=1
bash scripts/install-deps.sh
preset="${PRESET:-default}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
# Drawing tests need a display; a virtual one is started when there is none.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset "$preset" -j "$(nproc)"
fi
exec ctest --preset "$preset" -j "$(nproc)"
