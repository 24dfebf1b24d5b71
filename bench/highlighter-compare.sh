#!/usr/bin/env bash
# Full-tokenization throughput of our highlighter against KSyntaxHighlighting's
# command-line highlighter on the same generated files (11 MB of HTML, 6 MB of
# JavaScript), measured in the same run. Prints MB/s (10^6 bytes) and ratios.
#
#   bench/highlighter-compare.sh [release-build-dir] [runs]
#
# Needs kate-syntax-highlighter (Debian: libkf5syntaxhighlighting-tools).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${2:-5}
command -v kate-syntax-highlighter >/dev/null || {
    echo "kate-syntax-highlighter is missing (apt-get install libkf5syntaxhighlighting-tools)" >&2
    exit 1
}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNBE_SANITIZE=OFF \
    -DNBE_BUILD_TESTS=OFF -DNBE_BUILD_APP=OFF >/dev/null
cmake --build "$build" -j 4 --target NBESyntaxHighlighterBench >/dev/null
bench="$build/bench/NBESyntaxHighlighterBench"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
"$bench" --write-corpus="$corpus"

# Median wall time in seconds of `runs` runs of a command.
median_seconds() {
    local times=()
    for _ in $(seq "$runs"); do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        times+=("$(echo "$end - $start" | bc -l)")
    done
    printf '%s\n' "${times[@]}" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

ours_json="$corpus/ours.json"
"$bench" --benchmark_filter='BM_Tokenize(HTML|JavaScript)' --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true --benchmark_format=json >"$ours_json"
ours_seconds() {
    python3 - "$ours_json" "$1" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
for b in data["benchmarks"]:
    if b["name"].startswith(sys.argv[2]) and b.get("aggregate_name") == "median":
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        print(b["real_time"] * scale)
PY
}

printf '%-10s %8s %12s %14s %14s %9s %9s\n' file MB "ours MB/s" "ksh ansi MB/s" "ksh html MB/s" "vs ansi" "vs html"
for pair in "page.html:BM_TokenizeHTML:HTML" "app.js:BM_TokenizeJavaScript:JavaScript"; do
    IFS=: read -r file name syntax <<<"$pair"
    bytes=$(stat -c %s "$corpus/$file")
    ours=$(ours_seconds "$name")
    ansi=$(median_seconds kate-syntax-highlighter -s "$syntax" -f ansi -o /dev/null "$corpus/$file")
    html=$(median_seconds kate-syntax-highlighter -s "$syntax" -f html -o /dev/null "$corpus/$file")
    awk -v f="$file" -v b="$bytes" -v o="$ours" -v a="$ansi" -v h="$html" 'BEGIN {
        mb = b / 1e6
        printf "%-10s %8.1f %12.2f %14.2f %14.2f %8.2fx %8.2fx\n", f, mb, mb / o, mb / a, mb / h, a / o, h / o
    }'
done
