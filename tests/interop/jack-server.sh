# Sourced by the interop tests: a JACK server of the test's own (dummy backend, synchronous mode:
# asynchronous mode loses messages), under a unique name, and an EXIT trap that stops every
# process the test started, by process id: clients first, then the server.
#
#   . jack-server.sh            starts the server; JACK_DEFAULT_SERVER names it
#   started PID                 the trap stops PID too (before the server)
#   stop_jack                   kills the server now (kill -9: as a crash would)

VELDA_PIDS=()
JACKD_PID=""
VELDA_TMP=$(mktemp -d)

started() { VELDA_PIDS+=("$1"); }

stop_all() {
  local pid
  for pid in "${VELDA_PIDS[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  for pid in "${VELDA_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "$JACKD_PID" ]; then
    kill -TERM "$JACKD_PID" 2>/dev/null || true
    wait "$JACKD_PID" 2>/dev/null || true
  fi
  # VELDA_KEEP_DIR=folder keeps what the test wrote, for a look afterwards.
  if [ -n "${VELDA_KEEP_DIR:-}" ]; then cp -r "$VELDA_TMP/." "$VELDA_KEEP_DIR/" 2>/dev/null || true; fi
  rm -rf "$VELDA_TMP"
}
trap stop_all EXIT
# A test stopped by a signal (ctest's time-out) still cleans up.
trap 'exit 143' TERM INT HUP

stop_jack() {
  kill -KILL "$JACKD_PID" 2>/dev/null || true
  wait "$JACKD_PID" 2>/dev/null || true
  JACKD_PID=""
}

export JACK_NO_START_SERVER=1
# Starts the server and waits until two clients in a row can join it. Under heavy load a server
# sometimes fails its own start-up (a client's notification times out and no client can join
# again): it is then stopped and started anew under another name, up to three times.
start_jack() {
  export JACK_DEFAULT_SERVER="velda-test-$$-$RANDOM"
  # VELDA_JACK_PERIOD: frames per period (default 128; the benchmark also measures smaller ones).
  jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -S -t 2000 -p 16 -d dummy -r 48000 -p "${VELDA_JACK_PERIOD:-128}" \
    >"$VELDA_TMP/jackd.log" 2>&1 &
  JACKD_PID=$!
  for _ in $(seq 200); do
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.05
  done
  jack_lsp >/dev/null 2>&1 && jack_lsp >/dev/null 2>&1
}
for attempt in 1 2 3; do
  start_jack && break
  kill -TERM "$JACKD_PID" 2>/dev/null || true
  wait "$JACKD_PID" 2>/dev/null || true
  JACKD_PID=""
  if [ "$attempt" -eq 3 ]; then
    echo "the test's JACK server did not start:" >&2
    cat "$VELDA_TMP/jackd.log" >&2
    exit 1
  fi
done

# Waits until a JACK port whose name ends in $1 exists (up to $2 seconds, default 10).
wait_for_port() {
  local n=$(( ${2:-10} * 20 ))
  for _ in $(seq "$n"); do
    jack_lsp 2>/dev/null | grep -q -- "$1\$" && return 0
    sleep 0.05
  done
  echo "no JACK port $1" >&2
  return 1
}
