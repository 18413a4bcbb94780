#!/usr/bin/env bash
# The station against the simulated field (./run demo, after the build).
# Extra arguments go to kx7r-blocksim, e.g. --scenario FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${KX7R_DEMO_BIN:-build/bin}
demo=build/demo
live_port=5000
mkdir -p "$demo/archive"

pids=()
stop_all() {
    trap - INT TERM EXIT
    # The station first, so it does not see its lines vanish.
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    echo "Demo stopped."
}
trap stop_all INT TERM EXIT

# In its own session, so Ctrl-C reaches the station first and the trap stops the field after it.
setsid "$bin/kx7r-blocksim" --write-config "$demo/station.ini" --archive "$demo/archive" \
    --live-port "$live_port" "$@" >"$demo/blocksim.log" 2>&1 &
pids+=($!)

# The station may only start once the simulator has written its settings.
for _ in $(seq 100); do
    grep -q 'field running' "$demo/blocksim.log" 2>/dev/null && break
    if ! kill -0 "${pids[0]}" 2>/dev/null; then
        cat "$demo/blocksim.log" >&2
        exit 1
    fi
    sleep 0.1
done

# A local broker when Mosquitto is installed: the station publishes every answer to it.
mqtt_port=${KX7R_DEMO_MQTT_PORT:-1883}
mqtt=()
mosquitto_bin=$(command -v mosquitto || true)
[ -n "$mosquitto_bin" ] || [ ! -x /usr/sbin/mosquitto ] || mosquitto_bin=/usr/sbin/mosquitto
broker_note="broker log:      $demo/mosquitto.log"
if [ -n "$mosquitto_bin" ] && (: >"/dev/tcp/127.0.0.1/$mqtt_port") 2>/dev/null; then
    # A broker already listens there (Debian's mosquitto service): publish to it.
    broker_note="(the broker already running on port $mqtt_port)"
    mqtt=(--mqtt-host 127.0.0.1 --mqtt-port "$mqtt_port" --mqtt-client-id demo)
elif [ -n "$mosquitto_bin" ]; then
    mkdir -p "$demo/mosquitto"
    {
        echo "listener $mqtt_port 127.0.0.1"
        echo "allow_anonymous true"
        echo "persistence true"
        echo "persistence_location $PWD/$demo/mosquitto/"
        # As root the broker would change to a user that cannot write here.
        echo "user $(id -un)"
    } >"$demo/mosquitto.conf"
    "$mosquitto_bin" -c "$demo/mosquitto.conf" >"$demo/mosquitto.log" 2>&1 &
    pids+=($!)
    mqtt=(--mqtt-host 127.0.0.1 --mqtt-port "$mqtt_port" --mqtt-client-id demo)
fi

mode=(--headless)
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    mode=()
fi
"$bin/kx7r-station" "${mode[@]}" --config "$demo/station.ini" "${mqtt[@]}" \
    > >(tee "$demo/station.log") 2>&1 &
pids+=($!)
station_pid=$!

cat <<TEXT

The station polls 30 simulated channels on four pseudo-terminals.
  settings:        $demo/station.ini
  archive:         $demo/archive
  simulator log:   tail -f $demo/blocksim.log
  station log:     $demo/station.log
Watch the live relay (JSON lines):
  $bin/kx7r-live --host 127.0.0.1 --port $live_port
Mirror the archive over the history service (port 5001):
  $bin/kx7r-history --host 127.0.0.1 --port 5001 --out $demo/mirror
TEXT
if [ -n "$mosquitto_bin" ]; then
    cat <<TEXT
Watch the MQTT broker (every answer, terminal states, station status):
  mosquitto_sub -h 127.0.0.1 -p $mqtt_port -t 'kx7r/demo/#' -v
  $broker_note

TEXT
else
    echo "Install mosquitto (./run deps) to see the station publish to a local MQTT broker."
    echo
fi
echo "Ctrl-C stops the station, the simulator and the broker."
echo

# Ends when the station ends (window closed) or on Ctrl-C.
wait "$station_pid" || true
