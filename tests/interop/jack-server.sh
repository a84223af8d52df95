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
  # What a server removes when it stops: its shared memory and its clients' semaphores.
  rm -f /dev/shm/jack_"$JACK_DEFAULT_SERVER"_* /dev/shm/jack_sem.*_"$JACK_DEFAULT_SERVER"_*
}

export JACK_NO_START_SERVER=1
# JACK's shared registry holds at most 8 servers, and a server that dies without stopping (killed
# with -9, as one test does on purpose) keeps its entry for good. Entries whose process is gone are
# therefore cleared before a server starts, under a lock that keeps the tests' own servers from
# registering meanwhile.
VELDA_JACK_LOCK=${TMPDIR:-/tmp}/velda-jack-servers.lock

# Clears the registry entries of servers that no longer run. Layout of JACK 1.9's registry header:
# magic "KCAJ", protocol, type, size, header length (2136), entry length, then 8 entries of
# 264 bytes that begin with the server's process id. Anything else is left as it is.
reclaim_dead_jack_entries() {
  local f=/dev/shm/jack-shm-registry i off pid
  [ -f "$f" ] && [ "$(head -c 4 "$f")" = KCAJ ] || return 0
  [ "$(od -An -t u4 -j 16 -N 4 "$f" | tr -d ' ')" = 2136 ] || return 0
  for i in 0 1 2 3 4 5 6 7; do
    off=$((24 + i * 264))
    pid=$(od -An -t d4 -j "$off" -N 4 "$f" | tr -d ' ')
    if [ "$pid" != 0 ] && [ ! -d "/proc/$pid" ]; then
      dd if=/dev/zero of="$f" bs=1 seek="$off" count=264 conv=notrunc status=none
    fi
  done
}

# Starts a server under a name of its own and waits until two clients in a row can join it.
start_jack() {
  export JACK_DEFAULT_SERVER="velda-test-$$-$RANDOM"
  # VELDA_JACK_PERIOD: frames per period (default 128; the benchmark also measures smaller ones).
  jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -S -t 2000 -p 16 -d dummy -r 48000 -p "${VELDA_JACK_PERIOD:-128}" \
    >"$VELDA_TMP/jackd.log" 2>&1 {VELDA_JACK_LOCK_FD}>&- &
  JACKD_PID=$!
  for _ in $(seq 200); do
    kill -0 "$JACKD_PID" 2>/dev/null || return 1
    jack_lsp >/dev/null 2>&1 && break
    sleep 0.05
  done
  jack_lsp >/dev/null 2>&1 && jack_lsp >/dev/null 2>&1 && kill -0 "$JACKD_PID" 2>/dev/null
}

# Under heavy load a server sometimes fails its own start-up (a client's notification times out
# and no client can join again): it is then stopped and started anew, up to three times.
exec {VELDA_JACK_LOCK_FD}>"$VELDA_JACK_LOCK"
flock "$VELDA_JACK_LOCK_FD"
for attempt in 1 2 3; do
  reclaim_dead_jack_entries
  start_jack && break
  if [ -n "$JACKD_PID" ]; then
    kill -TERM "$JACKD_PID" 2>/dev/null || true
    wait "$JACKD_PID" 2>/dev/null || true
    JACKD_PID=""
  fi
  if [ "$attempt" -eq 3 ]; then
    echo "the test's JACK server did not start:" >&2
    cat "$VELDA_TMP/jackd.log" >&2
    exit 1
  fi
done
flock -u "$VELDA_JACK_LOCK_FD"
exec {VELDA_JACK_LOCK_FD}>&-

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
