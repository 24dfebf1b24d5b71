#!/usr/bin/env bash
# Runs the decode benchmark and its vscode-jsonrpc anchor on the same kind of
# stream. Needs a release build: cmake -S . -B build-release -G Ninja
# -DCMAKE_BUILD_TYPE=Release && cmake --build build-release --target NBELSPDecodeBench
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
(cd "$root/bench/jsonrpc" && [ -d node_modules ] || npm ci --no-audit --no-fund --loglevel=error)
node "$root/bench/jsonrpc/decode.mjs"
"$build/bench/NBELSPDecodeBench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
