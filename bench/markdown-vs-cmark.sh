#!/usr/bin/env bash
# Times rendering a 10 MB Markdown file to HTML with our renderer and with
# Debian's cmark, process against process: each reads the file, decodes it,
# renders it and writes the HTML to /dev/null. The file is the CommonMark spec
# text with a section of non-ASCII prose and <script>/<style> blocks, repeated.
# Our in-process loop (text already decoded in memory) is printed for
# reference only.
#
#   bench/markdown-vs-cmark.sh [release-build-dir] [runs]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
runs=${2:-5}
spec=$root/tests/markdown/npm/node_modules/commonmark-spec/spec.txt
[ -f "$spec" ] || { echo "no $spec; run scripts/setup" >&2; exit 1; }
command -v cmark >/dev/null || { echo "cmark is not installed; run scripts/setup" >&2; exit 1; }

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNBE_SANITIZE=OFF \
    -DNBE_BUILD_TESTS=OFF -DNBE_BUILD_APP=OFF >/dev/null
cmake --build "$build" -j 4 --target NBEMarkdownBench >/dev/null
bench="$build/bench/NBEMarkdownBench"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
extra=$tmp/extra.md
cat >"$extra" <<'MD'

## Καλημέρα — 日本語のテキスト

Ünïcödé prose with *emphasis* and `code → arrows` and an emoji 😀, over
several lines so paragraphs join — «quotes», naïve café, Ελληνικά, 中文.

<script>
for (let i = 0; i < 10; i++) { if (a<b && c>d) console.log("café <p>"); }
</script>

<style>
.card > h2 { color: #c0392b; content: "→"; }
</style>

- élément **un**
- élément _deux_ with [a link](https://example.com/é "títle")

MD
file=$tmp/corpus10.md
while [ "$(stat -c %s "$file" 2>/dev/null || echo 0)" -lt $((10 * 1024 * 1024)) ]; do
    cat "$spec" "$extra" >>"$file"
done

source "$root/bench/median-seconds.sh"
cmark_s=$(median_seconds "$runs" cmark "$file")
ours_s=$(median_seconds "$runs" "$bench" --render="$file")
loop_ms=$(NBE_MARKDOWN_BENCH_FILE=$file "$bench" --benchmark_filter='BM_RenderSpecRepeated/10/' \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median/ { printf "%d", $3 }')
echo "file: $(stat -c %s "$file") bytes (non-ASCII, <script>/<style> blocks)"
awk -v c="$cmark_s" -v o="$ours_s" 'BEGIN {
    printf "cmark process median: %d ms\n", c * 1000
    printf "ours process median:  %d ms\n", o * 1000
    printf "ratio ours/cmark (process against process): %.2f\n", o / c
}'
echo "ours in-process render loop median (reference only): ${loop_ms} ms"
