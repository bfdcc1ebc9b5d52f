#!/bin/sh
# Times the thumbnail job against vipsthumbnail on the same photo-like JPEGs.
#
#   bench/run.sh [ROUNDS]     (default 3)
#
# Makes a fixed-seed corpus once (60 JPEGs of 4000x3000, 60 of 1600x1200, and a folder of
# 20 of mixed sizes 1280-2560 px, every fourth progressive; quality 90), then, round after
# round and alternating, runs over each set: the program's real thumbnail job with its
# decoding workers, started as a person starts it (the program starts, the job dialog
# opens, the fields are typed, Run!; size 150, suffix "_small.jpg", "Default" at the first
# description dialog) and then the next job of the same program, `vipsthumbnail -s 150`,
# and the same job decoding in its own process (the plain single-threaded pipeline).
# Prints images per second, the median ratios and the peak memory of the job process and
# of one worker; writes docs/bench.csv and docs/bench.png.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
rounds=${1:-3}

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi

tools/setup.sh test
missing=""
for package in libvips-tools gnuplot-nox time; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    if [ "$(id -u)" = 0 ]; then sudo=""; else sudo=sudo; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

. tools/wine-env.sh
mkdir -p build
build_winelib
make_prefix "$root/build/wineprefix"

bench=$root/build/bench
mkdir -p "$bench"
g++ -O2 -o "$bench/gencorpus" bench/gencorpus.cpp -lfreeimage

# The corpus is made once; the seed fixes its content. make_set NAME COUNT GENCORPUS-ARGS...
make_set() {
    set_dir="$bench/corpus/$1"
    count=$2
    shift 2
    if [ "$(ls "$set_dir" 2>/dev/null | grep -c '\.jpg$')" != "$count" ]; then
        echo "Making the $(basename "$set_dir") set"
        rm -rf "$set_dir"
        mkdir -p "$set_dir"
        "$bench/gencorpus" "$set_dir" "$count" "$@"
    fi
}
make_set large 60 4000 3000 1 &
make_set small 60 1600 1200 2
make_set folder 20 1280 0 3 2560 4
wait

# Highest VmHWM of any worker process while the job runs. The kernel keeps the peak,
# so a sample every 100 ms is enough, and costs the timed job little.
sample_workers() {
    peak=0
    while [ ! -f "$bench/stop" ]; do
        for pid in $(pgrep -f 'fotobatch-worker\.exe' || true); do
            kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo 0)
            [ "${kb:-0}" -gt "$peak" ] && peak=$kb
        done
        echo "$peak" >"$bench/worker-peak"
        sleep 0.1
    done
}

# Two jobs over a set in one run of the program; prints
# "seconds job_kb worker_kb images next_seconds".
run_job() {
    set_dir="$bench/corpus/$1"
    rm -rf "$set_dir/thumbnails" "$set_dir/imagelog.sql" "$bench/stop"
    echo 0 >"$bench/worker-peak"
    sample_workers &
    sampler=$!
    out=$("$WINE" build/fotobatch-bench.exe.so "$set_dir" $2 2>/dev/null | tr -d '\r')
    touch "$bench/stop"
    wait "$sampler"
    echo "$out" | sed -n 's/.*images=\([0-9]*\) seconds=\([0-9.]*\) next_seconds=\([0-9.]*\) job_peak_kb=\([0-9]*\).*/\2 \4 '"$(cat "$bench/worker-peak")"' \1 \3/p'
}

# vipsthumbnail over a set; prints "seconds peak_kb images".
run_vips() {
    set_dir="$bench/corpus/$1"
    rm -rf "$bench/vips"
    mkdir -p "$bench/vips"
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$bench/vips-time" sh -c "cd '$set_dir' && vipsthumbnail -s 150 -o '$bench/vips/%s_small.jpg' img*.jpg"
    end=$(date +%s.%N)
    echo "$(awk "BEGIN {print $end - $start}") $(cat "$bench/vips-time") $(ls "$bench/vips" | wc -l)"
}

csv=docs/bench.csv
mkdir -p docs
echo "round,set,tool,images,seconds,images_per_second,peak_kb,worker_peak_kb" >"$csv"
for round in $(seq 1 "$rounds"); do
    for set in large small folder; do
        set -- $(run_job $set "")
        echo "$round,$set,fotobatch,$4,$1,$(awk "BEGIN {print $4 / $1}"),$2,$3" >>"$csv"
        echo "$round,$set,fotobatch-next,$4,$5,$(awk "BEGIN {print $4 / $5}"),$2,$3" >>"$csv"
        set -- $(run_vips $set)
        echo "$round,$set,vipsthumbnail,$3,$1,$(awk "BEGIN {print $3 / $1}"),$2," >>"$csv"
        set -- $(run_job $set --in-process)
        echo "$round,$set,plain,$4,$1,$(awk "BEGIN {print $4 / $1}"),$2," >>"$csv"
        echo "round $round, $set set done"
    done
done

python3 bench/summary.py "$csv" "$bench/medians.dat"
gnuplot -e "data='$bench/medians.dat'; output='docs/bench.png'" bench/plot.gp
echo "Wrote $csv and docs/bench.png"
