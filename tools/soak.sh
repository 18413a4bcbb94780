#!/usr/bin/env bash
# ./run soak [MINUTES]: the station headless under mixed load for MINUTES (10).
# A fast simulated field with spoiled and noisy answers, live clients connecting
# and leaving, a history client mirroring in a loop, and garbage on both ports.
# Prints the station's resident memory and its fewest and most open descriptors
# each minute, and the growth of memory and of the fewest descriptors from
# minute 2 to the end.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
bin=${KX7R_SOAK_BIN:-build/bin}
mkdir -p build
work=$(mktemp -d "$PWD/build/soak.XXXXXX")
live_port=$((20000 + RANDOM % 20000))
history_port=$((live_port + 1))

cat >"$work/field.txt" <<'FIELD'
line 1
block 1
channel 0 std69 name=Tank_1
channel 1 std63 name=Tank_2
channel 2 compact58 name=Tank_3
channel 3 compact64 name=Tank_4
channel 4 status:2 name=No_sensor
channel 5 shortstatus:1
channel 6 std69 fault=badlrc:20,noise:30,split:10
line 2
block 2 active=1
channel 0 std69 name=Active_1
channel 1 compact64 name=Active_2
channel 2 std63 fault=lowercase:10,noise:50
channel 3 std69 fault=badlrc:10
line 3
block 3 active=1
channel 0 std69 fault=noise:80,split:20
channel 1 compact58 fault=noise:80
channel 2 std69
line 4 vanish=60:10:300
block 4
channel 0 std69
channel 1 compactstatus:3
block 5 clock=bad
channel 0 std69
FIELD

pids=()
stop_all() {
    trap - INT TERM EXIT
    touch "$work/stop"
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null || true
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        wait "${pids[i]}" 2>/dev/null || true
    done
}
trap stop_all INT TERM EXIT

"$bin/kx7r-blocksim" --scenario "$work/field.txt" --write-config "$work/station.ini" \
    --archive "$work/archive" --live-port "$live_port" >"$work/blocksim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    grep -q 'field running' "$work/blocksim.log" 2>/dev/null && break
    sleep 0.1
done

QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES='kx7r.*.debug=false' \
    "$bin/kx7r-station" --headless --config "$work/station.ini" \
    --history-port "$history_port" >"$work/station.log" 2>&1 &
station=$!
pids+=($station)
sleep 2

running() { [ ! -e "$work/stop" ]; }

# Live clients: followers that leave after a few frames, and bursts of idle
# connections past the client limit.
(
    while running; do
        for _ in 1 2 3 4 5; do
            timeout 20 "$bin/kx7r-live" --host 127.0.0.1 --port "$live_port" --count 20 \
                >/dev/null 2>&1 &
        done
        timeout 5 "$bin/kx7r-live" --host 127.0.0.1 --port "$live_port" --forward 1 5 \
            --count 0 >/dev/null 2>&1 || true
        for _ in $(seq 80); do
            (exec 3<>"/dev/tcp/127.0.0.1/$live_port" && sleep 2) 2>/dev/null &
        done
        wait
    done
) &
pids+=($!)

# A history client mirroring in a loop.
(
    while running; do
        timeout 120 "$bin/kx7r-history" --host 127.0.0.1 --port "$history_port" \
            --out "$work/mirror" >>"$work/history.log" 2>&1 || true
        sleep 3
    done
) &
pids+=($!)

# Garbage on both ports.
(
    while running; do
        for port in "$live_port" "$history_port"; do
            (exec 3<>"/dev/tcp/127.0.0.1/$port" && head -c 200000 /dev/urandom >&3) \
                2>/dev/null || true
            (exec 3<>"/dev/tcp/127.0.0.1/$port" && printf ':0\0-1 +2\n%.0s' $(seq 2000) >&3) \
                2>/dev/null || true
        done
        sleep 1
    done
) &
pids+=($!)

sample() { # resident kB and open descriptors of the station
    local rss fds
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$station/status")
    fds=$(find "/proc/$station/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
    echo "$rss $fds"
}

echo "soak for $minutes min in $work (live $live_port, history $history_port)"
first_rss="" first_low=""
rss=0
for ((m = 1; m <= minutes; m++)); do
    # Sampled every 5 s: the bursts of idle clients come and go, so the fewest
    # descriptors in a minute are the station's own and show a leak.
    low="" high=0
    for ((s = 0; s < 12; s++)); do
        sleep 5
        if ! kill -0 "$station" 2>/dev/null; then
            echo "the station ended in minute $m; see $work/station.log" >&2
            exit 1
        fi
        read -r rss fds < <(sample)
        if [ -z "$low" ] || [ "$fds" -lt "$low" ]; then low=$fds; fi
        if [ "$fds" -gt "$high" ]; then high=$fds; fi
    done
    echo "minute $m: resident ${rss} kB, descriptors $low to $high"
    if [ "$m" -eq 2 ]; then
        first_rss=$rss first_low=$low
    fi
done
if [ -n "$first_rss" ]; then
    echo "growth from minute 2 to minute $minutes: resident $((rss - first_rss)) kB," \
        "fewest descriptors $((low - first_low))"
fi
echo "measurements archived: $(find "$work/archive" -type f | wc -l) files;" \
    "station log $(wc -l <"$work/station.log") lines"
