# Sourced by the comparison scripts. median_seconds RUNS COMMAND...: the median
# wall time in seconds of RUNS runs of a whole process, output discarded.
median_seconds() {
    local runs=$1
    shift
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
