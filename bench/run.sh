#!/usr/bin/env bash
# Measures release builds of both programs against `xmllint --noout`, which
# parses the same file with the same library and does nothing else: the
# floor neither program can go below. The runs:
#   typical         onyxcast-cfgmigrate -0 on the typical version-0 file
#   full-table      the same, on a full 15-entry re-encoding table
#   large           the same, on a version-0 file of about 10 MB
#   2000, 20000     onyxcast-cfgcheck on a version-1 document of that many
#                   entries per list (bench/gen_v1_document.sh N)
#   servers-15000,  onyxcast-cfgcheck on a document of that many servers and
#   servers-200000  one stream (bench/gen_v1_document.sh -s N), about 1 and
#                   18 MB
# For each: the file's size; the median wall time of the program and of
# xmllint (hyperfine -N, else a loop); the instructions each runs under
# callgrind (valgrind); the median peak resident memory of each (GNU time);
# and the ratio of each pair. Then a verdict per goal, and status 1 when
# one is missed:
#   instructions at most 0.9 of xmllint's on typical, full-table, large,
#   2000 and 20000; peak memory at most xmllint's on every run; median wall
#   time at most xmllint's on large, 20000 and servers-200000; and the
#   checker's instructions on 20000 at most 11 times those on 2000.
# A goal none of whose runs was measured is reported as such and does not
# fail. servers-200000 is not counted under callgrind unless -C is given:
# the checker runs for many seconds there, and far longer under callgrind.
# All seven runs take about 3 minutes on a 2-core machine.
#
# Usage: bench/run.sh [-n RUNS] [-r "RUN ..."] [-C] [-g]
#   -n RUNS  timed runs per command on files under 4 MB (default 50);
#            larger files get a tenth of that, at least 3
#   -r RUNS  only these runs, named as above, e.g. -r "typical 20000"
#   -C       count instructions on servers-200000 too
#   -g       also run the Google Benchmark programs afterwards
set -eu
cd "$(dirname "$0")/.."

all_runs="typical full-table large 2000 20000 servers-15000 servers-200000"
usage() {
    echo "usage: $0 [-n RUNS] [-r \"RUN ...\"] [-C] [-g]" >&2
    echo "runs: $all_runs" >&2
    exit 2
}
runs=50
google=0
count_all=0
selected=$all_runs
while getopts n:r:Cg opt; do
    case $opt in
    n) runs=$OPTARG ;;
    r) selected=$OPTARG ;;
    C) count_all=1 ;;
    g) google=1 ;;
    *) usage ;;
    esac
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || usage
for r in $selected; do
    [[ " $all_runs " == *" $r "* ]] || usage
done
[ -n "$selected" ] || usage

readonly ir_bar=0.9 mem_bar=1.0 wall_bar=1.0 growth_bar=11
readonly ir_goal="typical full-table large 2000 20000"
readonly mem_goal=$all_runs
readonly wall_goal="large 20000 servers-200000"

started=$(date +%s)

# Without hyperfine the timing falls back to a loop, without valgrind or
# GNU time the instructions or the memory are left out.
scripts/deps bench || echo "$0: going on without them; their figures show as -" >&2

build="build-bench"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DONYX_TESTS=OFF -DONYX_BENCH=ON \
    > /dev/null
targets=(onyxcast-cfgmigrate onyxcast-cfgcheck make_inputs)
[ $google = 1 ] && targets+=(convert_bench document_bench)
cmake --build "$build" -j2 --target "${targets[@]}" > /dev/null

migrate=$build/onyxcast-cfgmigrate
check=$build/onyxcast-cfgcheck
data=$build/bench-data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$data"
"$build/bench/make_inputs" "$data"

have() { command -v "$1" > /dev/null; }
memory_tool=/usr/bin/time
[ -x $memory_tool ] || memory_tool=

# Sets `file` and the command `tool` of a run, writing the run's document
# when it is a generated one. The reader warns about a file others can
# read, and a warning would be timed too: the documents are made private.
prepare() {
    case $1 in
    typical | full-table | large)
        file=$data/$1.xml
        tool=("$migrate" -0 "$file")
        ;;
    servers-*)
        file=$data/$1.xml
        bench/gen_v1_document.sh -s "${1#servers-}" > "$file"
        chmod 600 "$file"
        tool=("$check" "$file")
        ;;
    *)
        file=$data/check-$1.xml
        bench/gen_v1_document.sh "$1" > "$file"
        chmod 600 "$file"
        tool=("$check" "$file")
        ;;
    esac
}

# Every run must succeed without a word, or the figures would time the
# failure.
clean_run() {
    local status=0
    if [ "${tool[0]}" = "$check" ]; then
        "$check" -q "$file" > "$work/out" 2>&1 || status=$?
    else
        "${tool[@]}" > /dev/null 2> "$work/out" || status=$?
    fi
    if [ $status != 0 ] || [ -s "$work/out" ]; then
        echo "$0: ${tool[*]} does not run cleanly (status $status):" >&2
        head -5 "$work/out" >&2
        exit 1
    fi
}

# Median wall time of a command in seconds, without hyperfine.
median_loop() {
    local i t0 t1
    for ((i = 0; i < timed_runs; i++)); do
        t0=$(date +%s%N)
        "$@" > /dev/null 2>&1
        t1=$(date +%s%N)
        echo $((t1 - t0))
    done | sort -n | awk '{ v[NR] = $1 } END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.6f\n", m / 1e9 }'
}

# The medians of the tool and of xmllint in milliseconds, on one line.
wall_ms() {
    local warmup=3
    timed_runs=$runs
    if [ "$(stat -c %s "$file")" -ge $((4 * 1024 * 1024)) ]; then
        timed_runs=$((runs / 10 < 3 ? 3 : runs / 10))
        warmup=1
    fi
    if have hyperfine; then
        hyperfine -N --style none --warmup $warmup --runs "$timed_runs" --output null \
            --export-json "$work/times.json" "${tool[*]}" "xmllint --noout $file" > /dev/null 2>&1
        grep -o '"median": *[0-9.e+-]*' "$work/times.json" |
            awk '{ printf "%.3f ", $2 * 1000 } END { print "" }'
    else
        awk -v a="$(median_loop "${tool[@]}")" -v b="$(median_loop xmllint --noout "$file")" \
            'BEGIN { printf "%.3f %.3f\n", a * 1000, b * 1000 }'
    fi
}

instructions() {
    valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" "$@" > /dev/null 2>&1
    awk '/^(summary|totals):/ { print $2; exit }' "$work/cg.out"
}

# The median peak memory of the tool and of xmllint in KB, on one line. A
# small run's peak is mostly the libraries' pages, which ones the kernel
# maps with a page touched varies from run to run by 100 KB or more, so
# a single run says little: the two are measured in turns, 21 times each
# on a file under 4 MB and 3 times on a larger one.
peak_kb() {
    local i n=21
    [ "$(stat -c %s "$file")" -ge $((4 * 1024 * 1024)) ] && n=3
    for ((i = 0; i < n; i++)); do
        "$memory_tool" -f %M -o "$work/mem" "${tool[@]}" > /dev/null 2>&1
        echo "tool $(tail -1 "$work/mem")"
        "$memory_tool" -f %M -o "$work/mem" xmllint --noout "$file" > /dev/null 2>&1
        echo "xmllint $(tail -1 "$work/mem")"
    done | sort -k1,1 -k2n | awk '{ v[$1, ++n[$1]] = $2 } END {
        printf "%d %d\n", v["tool", int((n["tool"] + 1) / 2)], v["xmllint", int((n["xmllint"] + 1) / 2)] }'
}

ratio() {
    if [ "$1" = - ] || [ "$2" = - ]; then
        echo -
    else
        awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
    fi
}

declare -A wall_ratio ir_ratio mem_ratio ir_of
printf '%-14s %9s | %10s %10s %5s | %13s %13s %5s | %9s %9s %5s\n' \
    run bytes "tool ms" "xmllint ms" ratio "tool Ir" "xmllint Ir" ratio "tool KB" "xmllint KB" ratio
for r in $all_runs; do
    [[ " $selected " == *" $r "* ]] || continue
    prepare "$r"
    clean_run
    read -r t_tool t_xml <<< "$(wall_ms)"
    ir_tool=- ir_xml=-
    if have valgrind && { [ "$r" != servers-200000 ] || [ $count_all = 1 ]; }; then
        ir_tool=$(instructions "${tool[@]}")
        ir_xml=$(instructions xmllint --noout "$file")
    fi
    kb_tool=- kb_xml=-
    if [ -n "$memory_tool" ]; then
        read -r kb_tool kb_xml <<< "$(peak_kb)"
    fi
    wall_ratio[$r]=$(ratio "$t_tool" "$t_xml")
    ir_ratio[$r]=$(ratio "$ir_tool" "$ir_xml")
    mem_ratio[$r]=$(ratio "$kb_tool" "$kb_xml")
    ir_of[$r]=$ir_tool
    printf '%-14s %9d | %10s %10s %5s | %13s %13s %5s | %9s %9s %5s\n' "$r" \
        "$(stat -c %s "$file")" "$t_tool" "$t_xml" "${wall_ratio[$r]}" \
        "$ir_tool" "$ir_xml" "${ir_ratio[$r]}" "$kb_tool" "$kb_xml" "${mem_ratio[$r]}"
done

verdict=0
# One goal: the runs it covers, their figures, and the bar none may pass.
judge() {
    local what=$1 bar=$2 goal_runs=$3 r value over="" measured=0
    for r in $goal_runs; do
        value=${figure[$r]:--}
        [ "$value" = - ] && continue
        measured=1
        awk -v v="$value" -v bar="$bar" 'BEGIN { exit !(v > bar) }' && over="$over $r ($value)"
    done
    if [ $measured = 0 ]; then
        echo "$what: not measured"
    elif [ -n "$over" ]; then
        echo "$what: MISSED on$over"
        verdict=1
    else
        echo "$what: met"
    fi
}
echo
declare -A figure
for r in $all_runs; do figure[$r]=${ir_ratio[$r]:--}; done
judge "instructions at most ${ir_bar}x xmllint's ($ir_goal)" $ir_bar "$ir_goal"
for r in $all_runs; do figure[$r]=${mem_ratio[$r]:--}; done
judge "peak memory at most ${mem_bar}x xmllint's (every run)" $mem_bar "$mem_goal"
for r in $all_runs; do figure[$r]=${wall_ratio[$r]:--}; done
judge "median wall time at most ${wall_bar}x xmllint's ($wall_goal)" $wall_bar "$wall_goal"
growth=-
if [ "${ir_of[2000]:--}" != - ] && [ "${ir_of[20000]:--}" != - ]; then
    growth=$(awk -v a="${ir_of[20000]}" -v b="${ir_of[2000]}" 'BEGIN { printf "%.2f", a / b }')
fi
figure=([growth]=$growth)
judge "checker instructions 2000 -> 20000 at most ${growth_bar}x (growth $growth)" \
    $growth_bar growth
echo "bench took $(($(date +%s) - started)) s"

if [ $google = 1 ]; then
    "$build/bench/convert_bench"
    "$build/bench/document_bench"
fi
exit $verdict
