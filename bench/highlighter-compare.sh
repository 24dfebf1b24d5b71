#!/usr/bin/env bash
# Highlighting throughput of our highlighter against KSyntaxHighlighting's
# command-line highlighter on the same generated files (11 MB of HTML with
# <script>/<style> blocks, 6 MB of JavaScript, both with non-ASCII text).
# Like for like: each side is a whole process that reads the file, decodes
# it, highlights it and writes it coloured (ANSI escapes) to /dev/null; the
# anchor's HTML output is shown too. Our in-process engine loop (text already
# decoded in memory) is printed for reference only. MB/s are 10^6 file bytes.
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

source "$root/bench/median-seconds.sh"

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

printf '%-10s %6s %11s %11s %11s %8s %8s %12s\n' file MB "ours MB/s" "ksh ansi" "ksh html" \
    "vs ansi" "vs html" "ours loop"
for pair in "page.html:BM_TokenizeHTML:HTML" "app.js:BM_TokenizeJavaScript:JavaScript"; do
    IFS=: read -r file name syntax <<<"$pair"
    bytes=$(stat -c %s "$corpus/$file")
    loop=$(ours_seconds "$name")
    ours=$(median_seconds "$runs" "$bench" --highlight="$corpus/$file")
    ansi=$(median_seconds "$runs" kate-syntax-highlighter -s "$syntax" -f ansi -o /dev/null "$corpus/$file")
    html=$(median_seconds "$runs" kate-syntax-highlighter -s "$syntax" -f html -o /dev/null "$corpus/$file")
    awk -v f="$file" -v b="$bytes" -v o="$ours" -v a="$ansi" -v h="$html" -v l="$loop" 'BEGIN {
        mb = b / 1e6
        printf "%-10s %6.1f %11.2f %11.2f %11.2f %7.2fx %7.2fx %12.2f\n", f, mb, mb / o, mb / a, mb / h, a / o, h / o, mb / l
    }'
done
echo "vs ansi / vs html: anchor process time / our process time (above 1: we are faster)"
