#!/usr/bin/env bash
# Times parsing and rendering a 10 MB Markdown file (the CommonMark spec text
# repeated) with our renderer and with Debian's cmark on the same file, and
# prints the ratio. Needs a Release build: cmake -S . -B build-rel -G Ninja
# -DCMAKE_BUILD_TYPE=Release && cmake --build build-rel --target NBEMarkdownBench
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${1:-$root/build-rel/bench/NBEMarkdownBench}
spec=$root/tests/markdown/npm/node_modules/commonmark-spec/spec.txt
[ -x "$bench" ] || { echo "no benchmark program at $bench" >&2; exit 1; }
[ -f "$spec" ] || { echo "no $spec; run scripts/setup" >&2; exit 1; }
command -v cmark >/dev/null || { echo "cmark is not installed; run scripts/setup" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
file=$tmp/spec10.md
while [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -lt $((10 * 1024 * 1024)) ]; do
    cat "$spec" >>"$file"
done

# cmark: median of five runs, in milliseconds.
times=()
for _ in 1 2 3 4 5; do
    start=$(date +%s%N)
    cmark "$file" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000000)))
done
cmark_ms=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)

ours_ms=$(NBE_MARKDOWN_BENCH_FILE=$file "$bench" --benchmark_filter='BM_RenderSpecRepeated/10/' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median/ { printf "%d", $3 }')
echo "file: $(stat -c %s "$file") bytes"
echo "cmark median: ${cmark_ms} ms"
echo "ours median:  ${ours_ms} ms"
awk -v a="$ours_ms" -v b="$cmark_ms" 'BEGIN { printf "ratio ours/cmark: %.2f\n", a / b }'
