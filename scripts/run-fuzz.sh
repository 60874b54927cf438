#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each one briefly from its seeds.
# SECONDS_PER_TARGET (default 20) sets how long each runs.
set -euo pipefail
cd "$(dirname "$0")/.."
# Lets ccache share objects between clones of the tree in other folders.
export CCACHE_BASEDIR="$PWD"
# Debug information names the build folder; without this every clone misses.
export CCACHE_NOHASHDIR=1
bash scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
secs="${SECONDS_PER_TARGET:-20}"
list=build/fuzz/fuzz-targets.txt
[ -s "$list" ] || { echo "no fuzz targets"; exit 0; }
failed=0
while read -r name seeds options; do
  [ -n "$name" ] || continue
  corpus=$(mktemp -d)
  [ -n "$seeds" ] && [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/ 2>/dev/null || true
  echo "== fuzzing $name for ${secs}s"
  # shellcheck disable=SC2086 # options are separate words
  if ! build/fuzz/fuzzers/"$name" -max_total_time="$secs" -rss_limit_mb=2048 ${options:-} \
        -artifact_prefix=build/fuzz/"$name"- "$corpus" >build/fuzz/"$name".log 2>&1; then
    echo "FAILED: $name (log: build/fuzz/$name.log)"; tail -40 build/fuzz/"$name".log; failed=1
  fi
  rm -rf "$corpus"
done < "$list"
exit $failed
