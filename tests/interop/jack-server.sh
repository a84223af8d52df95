# Sourced by the interop tests: a JACK world of the test's own and a server in it (dummy backend,
# shellcheck shell=bash
# synchronous mode: asynchronous mode loses messages), and an EXIT trap that stops every process
# the test started, by process id: clients first, then the server.
#
#   . jack-server.sh            starts the server; JACK_DEFAULT_SERVER names it
#   started PID                 the trap stops PID too (before the server)
#   stop_jack                   kills the server now (kill -9: as a crash would)
#   start_jack                  starts it again, under the same name
#   wait_for_port SUFFIX [S]    waits until a port whose name ends in SUFFIX exists
#   wait_for_no_port SUFFIX [S] waits until no such port exists
#
# JACK keeps its registry of servers, its sockets and its semaphores in /dev/shm. The registry
# holds at most 8 servers and keeps the entry of a server killed with -9 for good, and every test
# would otherwise see every other test's servers. So the sourcing script runs again, at once, in a
# mount namespace of its own with an empty tmpfs on /dev/shm: nothing it or its JACK server makes
# is seen outside, and the tmpfs goes away with the last process in it. The same process id runs
# on (unshare without --fork execs), so ctest's time-out signal still reaches the test's trap.

if [ -z "${VELDA_JACK_WORLD:-}" ]; then
  export VELDA_JACK_WORLD=$$
  # As root a mount namespace suffices; otherwise a user namespace maps the caller to root in it.
  velda_unshare=(unshare --mount --propagation private)
  [ "$(id -u)" -eq 0 ] || velda_unshare=(unshare --user --map-root-user --mount --propagation private)
  # shellcheck disable=SC2016 # expanded by the inner shell
  velda_enter='mount -t tmpfs -o mode=1777,size=256m velda-jack /dev/shm && exec "$@"'
  if "${velda_unshare[@]}" sh -c "$velda_enter" sh true 2>"${TMPDIR:-/tmp}/velda-unshare.$$"; then
    rm -f "${TMPDIR:-/tmp}/velda-unshare.$$"
    exec "${velda_unshare[@]}" sh -c "$velda_enter" sh "$BASH" "$0" "$@"
  fi
  echo "$0: cannot give the test a JACK world of its own (a mount namespace with a tmpfs on /dev/shm):" >&2
  cat "${TMPDIR:-/tmp}/velda-unshare.$$" >&2
  rm -f "${TMPDIR:-/tmp}/velda-unshare.$$"
  echo "run the interop tests as root, or where unprivileged user namespaces are allowed" >&2
  exit 1
fi

VELDA_PIDS=()
JACKD_PID=""
VELDA_TMP=$(mktemp -d)

started() { VELDA_PIDS+=("$1"); }

stop_all() {
  local pid
  for pid in "${VELDA_PIDS[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
  done
  # A process that has not ended 15 s after SIGTERM is killed: a failing test must end, not hang
  # until ctest's time-out.
  local deadline=$((SECONDS + 15))
  for pid in "${VELDA_PIDS[@]}"; do
    while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.05; done
    if kill -0 "$pid" 2>/dev/null; then
      pkill -KILL -P "$pid" 2>/dev/null || true
      kill -KILL "$pid" 2>/dev/null || true
    fi
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

# The server's name: alone in this world, but a unique one keeps logs of parallel tests apart.
export JACK_DEFAULT_SERVER="velda-test-$$"
export JACK_NO_START_SERVER=1

stop_jack() {
  kill -KILL "$JACKD_PID" 2>/dev/null || true
  wait "$JACKD_PID" 2>/dev/null || true
  JACKD_PID=""
}

# Starts the server and waits until two clients in a row can join it. Under heavy load a server
# sometimes fails its own start-up (a client's notification times out and no client can join
# again): it is then stopped and started anew, up to three times.
start_jack() {
  local attempt deadline
  for attempt in 1 2 3; do
    # VELDA_JACK_PERIOD: frames per period (default 128; the benchmark also measures smaller ones).
    jackd -n "$JACK_DEFAULT_SERVER" --no-realtime -S -t 2000 -p 16 -d dummy -r 48000 -p "${VELDA_JACK_PERIOD:-128}" \
      >>"$VELDA_TMP/jackd.log" 2>&1 &
    JACKD_PID=$!
    deadline=$((SECONDS + 15))
    while kill -0 "$JACKD_PID" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
      jack_lsp >/dev/null 2>&1 && break
      sleep 0.05
    done
    if jack_lsp >/dev/null 2>&1 && jack_lsp >/dev/null 2>&1 && kill -0 "$JACKD_PID" 2>/dev/null; then
      return 0
    fi
    kill -TERM "$JACKD_PID" 2>/dev/null || true
    wait "$JACKD_PID" 2>/dev/null || true
    JACKD_PID=""
    echo "---- start $attempt failed" >>"$VELDA_TMP/jackd.log"
  done
  echo "the test's JACK server did not start:" >&2
  cat "$VELDA_TMP/jackd.log" >&2
  return 1
}

start_jack || exit 1

# Waits until a JACK port whose name ends in $1 exists (up to $2 seconds, default 10).
wait_for_port() {
  local deadline=$((SECONDS + ${2:-10}))
  while :; do
    jack_lsp 2>/dev/null | grep -q -- "$1\$" && return 0
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.05
  done
  echo "no JACK port $1" >&2
  return 1
}

# Waits until no JACK port whose name ends in $1 exists (up to $2 seconds, default 10).
wait_for_no_port() {
  local deadline=$((SECONDS + ${2:-10}))
  while :; do
    jack_lsp 2>/dev/null | grep -q -- "$1\$" || return 0
    [ "$SECONDS" -lt "$deadline" ] || break
    sleep 0.05
  done
  echo "JACK port $1 is still there" >&2
  return 1
}
