#!/usr/bin/env bash
# How reading grows with the document. Generates version-1 documents with
# bench/gen_v1_document.sh (N intakes, decoders, encoders and streams, N/10
# servers, every stream naming its intake, server and encoder), times a
# reader on each, best of RUNS runs, and prints the times and the ratio of
# the largest to the smallest. The bar for the default sizes: 20,000
# entries per list take at most 12 times as long as 2,000, and under 2 s.
#
# Usage: bench/scale.sh [-c] [-r RUNS] [-n "N ..."] [-- COMMAND [ARG ...]]
#   -c        also count instructions under callgrind, which unlike times
#             do not depend on what else the machine is doing (slow: about
#             two minutes for 20,000 entries)
#   -r RUNS   runs per document (default 3); the best one counts
#   -n SIZES  entries per list, smallest first (default "2000 20000")
#   COMMAND   what reads the document, given its path as the last
#             argument; it must end with status 0. By default a release
#             build of bench/read_document, a driver around
#             cfg_document_read and nothing else.
set -eu
cd "$(dirname "$0")/.."

runs=3
sizes="2000 20000"
count=0
while getopts cr:n: opt; do
    case $opt in
    c) count=1 ;;
    r) runs=$OPTARG ;;
    n) sizes=$OPTARG ;;
    *) echo "usage: $0 [-c] [-r RUNS] [-n \"N ...\"] [-- COMMAND [ARG ...]]" >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[ "${1:-}" = -- ] && shift
if [ $count = 1 ] && ! command -v valgrind > /dev/null; then
    echo "$0: -c needs valgrind" >&2
    exit 2
fi

if [ $# -eq 0 ]; then
    build="build-bench"
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DONYX_TESTS=OFF -DONYX_BENCH=ON \
        > /dev/null
    cmake --build "$build" --target read_document > /dev/null
    set -- "$build/bench/read_document"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time and best processor time (user and system) of the command
# on a file, in milliseconds. On a machine shared with other work the
# processor time is the steadier of the two.
best_ms() {
    local file=$1 i real cpu best_real="" best_cpu=""
    shift
    for ((i = 0; i < runs; i++)); do
        if ! { TIMEFORMAT='%3R %3U %3S'; time "$@" "$file" > /dev/null 2> "$work/err"; } \
            2> "$work/time"; then
            echo "$* $file failed:" >&2
            head -5 "$work/err" >&2
            exit 1
        fi
        read -r real user sys < "$work/time"
        cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
        best_real=$(awk -v a="$real" -v b="${best_real:-$real}" 'BEGIN { print a < b ? a : b }')
        best_cpu=$(awk -v a="$cpu" -v b="${best_cpu:-$cpu}" 'BEGIN { print a < b ? a : b }')
    done
    awk -v r="$best_real" -v c="$best_cpu" 'BEGIN { printf "%.1f %.1f\n", r * 1000, c * 1000 }'
}

# Instructions the command runs on a file, under callgrind.
instructions() {
    local file=$1
    shift
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$@" "$file" > /dev/null 2>&1
    awk '/^(summary|totals):/ { print $2; exit }' "$work/cg.out"
}

printf '%8s %11s %10s %10s %14s\n' "entries" bytes "wall ms" "cpu ms" instructions
first="" last="" first_cpu="" last_cpu="" first_ir="" last_ir=""
for n in $sizes; do
    file=$work/doc-$n.xml
    bench/gen_v1_document.sh "$n" > "$file"
    chmod 600 "$file"
    best_ms "$file" "$@" > "$work/best" || exit 1
    read -r ms cpu < "$work/best"
    ir=-
    [ $count = 1 ] && ir=$(instructions "$file" "$@")
    printf '%8d %11d %10s %10s %14s\n' "$n" "$(stat -c %s "$file")" "$ms" "$cpu" "$ir"
    first_ir=${first_ir:-$ir}
    last_ir=$ir
    first=${first:-$ms}
    last=$ms
    first_cpu=${first_cpu:-$cpu}
    last_cpu=$cpu
done
ratio=$(awk -v a="$last" -v b="$first" 'BEGIN { printf "%.1f", a / b }')
cpu_ratio=$(awk -v a="$last_cpu" -v b="$first_cpu" 'BEGIN { printf "%.1f", a / b }')
if [ $count = 1 ]; then
    ir_ratio=$(awk -v a="$last_ir" -v b="$first_ir" 'BEGIN { printf "%.1f", a / b }')
    echo "largest / smallest: $ratio (wall), $cpu_ratio (cpu), $ir_ratio (instructions)"
else
    echo "largest / smallest: $ratio (wall), $cpu_ratio (cpu)"
fi
if [ "$sizes" = "2000 20000" ]; then
    if awk -v r="$ratio" -v t="$last" 'BEGIN { exit !(r <= 12 && t < 2000) }'; then
        echo "within the bar: at most 12 times as long, and under 2 s"
    else
        echo "over the bar: more than 12 times as long, or 2 s or more"
        exit 1
    fi
fi
