#!/bin/bash
# Runs the hot-path benchmarks (allocator, chunk loading, Huffman expansion,
# image loading, script compiling, shadow edges, cache and volumes) with interleaved repetitions and prints the
# min and median of every benchmark, each beside the peer it is measured
# against in the same run.
#   bash bench/hot_paths.sh [build/<preset>/bench] [repetitions]
set -euo pipefail
BENCH=${1:-build/default/bench}
REPS=${2:-12}
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT
COMMON=(--benchmark_repetitions="$REPS" --benchmark_enable_random_interleaving=true --benchmark_out_format=json)
"$BENCH/runtime_bench" "${COMMON[@]}" --benchmark_min_time=0.1 --benchmark_filter='Churn' --benchmark_out="$OUT/runtime.json" >/dev/null
"$BENCH/chunk_bench" "${COMMON[@]}" --benchmark_min_time=0.1 --benchmark_filter='Expand|Inflate|ReadFile|Open' --benchmark_out="$OUT/chunk.json" >/dev/null
"$BENCH/texture_load_bench" "${COMMON[@]}" --benchmark_min_time=0.1 --benchmark_out="$OUT/texture.json" >/dev/null
"$BENCH/script_compile_bench" "${COMMON[@]}" --benchmark_filter='Compile|Gcc' --benchmark_out="$OUT/script.json" >/dev/null
"$BENCH/shadows_bench" "${COMMON[@]}" --benchmark_min_time=0.1 --benchmark_out="$OUT/shadows.json" >/dev/null
python3 - "$OUT" <<'PY'
import collections, glob, json, statistics, sys
for path in sorted(glob.glob(sys.argv[1] + "/*.json")):
    runs = collections.defaultdict(list)
    for b in json.load(open(path))["benchmarks"]:
        if b.get("run_type") == "iteration":
            runs[b["run_name"]].append((b["real_time"], b["time_unit"]))
    for name, times in sorted(runs.items()):
        t = [x[0] for x in times]
        print(f"{name:52s} min {min(t):10.3f}  median {statistics.median(t):10.3f} {times[0][1]}")
PY
