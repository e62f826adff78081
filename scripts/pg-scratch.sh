#!/usr/bin/env bash
# A throwaway PostgreSQL server for tests: `source scripts/pg-scratch.sh; pg_scratch_start`, then psql just works.
# It stops and its folder goes when the shell exits, on an error or a signal too; an EXIT trap set after start must call pg_scratch_stop.
# Needs Debian's postgresql-15. As root the server runs as the system user qvtest (PG_SCRATCH_USER), created if missing.
#
# pg_scratch_start     makes a folder under ${TMPDIR:-/tmp}, runs initdb there (trust, superuser postgres, UTF8,
#                      C locale), starts the server on a Unix socket in that folder only (no TCP), and exports
#                      PGHOST, PGPORT, PGUSER, PGDATABASE and PGCLIENTENCODING, plus PG_SCRATCH_DIR,
#                      PG_SCRATCH_LOG (the server's log) and PG_SCRATCH_BINDIR.
# pg_scratch_stop      fast shutdown, removes the folder, unsets those variables; safe to call more than once.
# pg_scratch_psql ...  psql without ~/.psqlrc, quiet, stopping at the first error.
#
# Call pg_scratch_start in the shell that uses the server, not in $(...) or ( ... ): their exit stops it again.
# Bash runs the EXIT trap when it dies of a signal (TERM, HUP, INT from the terminal), so no signal trap is set:
# one would make bash finish the command in the foreground before cleaning up. A watchdog process in its own
# session covers the rest: the shell killed with SIGKILL, or its EXIT trap replaced without pg_scratch_stop.
# Settings: PG_SCRATCH_BINDIR (default: the newest /usr/lib/postgresql/*/bin), PG_SCRATCH_USER (qvtest),
# PG_SCRATCH_PORT (5432; it only names the socket), PG_SCRATCH_PARENT (${TMPDIR:-/tmp}),
# PG_SCRATCH_TIMEOUT (seconds to wait for the server, 60), PG_SCRATCH_VERBOSE (say how long the start took).
# Run directly, it starts a server, runs a command against it (psql by default) and stops it:
#   scripts/pg-scratch.sh psql -c 'select version()'

_PG_SCRATCH_SELF=$(realpath "${BASH_SOURCE[0]}")

_pg_scratch_find_bindir() {
  if [ -n "${PG_SCRATCH_BINDIR:-}" ]; then
    echo "$PG_SCRATCH_BINDIR"
    return 0
  fi
  local initdb
  # shellcheck disable=SC2012
  initdb=$(ls -d /usr/lib/postgresql/*/bin/initdb 2>/dev/null | sort -V | tail -n 1)
  [ -n "$initdb" ] || initdb=$(command -v initdb 2>/dev/null) || true
  if [ -z "$initdb" ]; then
    echo "pg-scratch: no initdb found; install postgresql-15 (scripts/setup.sh)" >&2
    return 1
  fi
  dirname "$initdb"
}

# Closes every descriptor above 2, so the server or the watchdog never holds a pipe of the caller's open
# (a test runner reading the caller's output would wait for it).
_pg_scratch_close_fds() {
  local fd
  for fd in /proc/self/fd/*; do
    fd=${fd##*/}
    [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-" 2>/dev/null
  done
  return 0
}

# Replaces the current (sub)shell with the command, run in DIR as the server's user with a clean environment.
_pg_scratch_exec_as_server_user() {
  local dir=$1
  shift
  _pg_scratch_close_fds
  cd "$dir" || exit 1
  local envv=(env -i PATH=/usr/bin:/bin HOME="$dir" LC_ALL=C TZ=UTC)
  if [ -n "${_PG_SCRATCH_RUN_AS:-}" ]; then
    exec setpriv --reuid="$_PG_SCRATCH_RUN_AS" --regid="$_PG_SCRATCH_RUN_AS_GROUP" --clear-groups "${envv[@]}" "$@"
  fi
  exec "${envv[@]}" "$@"
}

# Whether PID is a live (not zombie) process with DATA on its command line, so never some other process
# that got the same id.
_pg_scratch_is_server() {
  local pid=$1 data=$2 cmdline
  [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
  cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || return 1
  [[ "$cmdline" == *" $data "* ]]
}

# Stops the server whose data folder is DIR/data (fast shutdown, then immediate, then SIGKILL) and removes DIR.
# The watchdog uses it too, so it relies on nothing but its arguments.
_pg_scratch_halt() {
  local -
  set +e
  local dir=$1 pid=${2:-} data="$1/data" sig i children
  if [ -z "$pid" ] && [ -r "$data/postmaster.pid" ]; then
    pid=$(head -n 1 "$data/postmaster.pid" 2>/dev/null)
  fi
  if _pg_scratch_is_server "$pid" "$data"; then
    # SIGINT is postgres's fast shutdown: open sessions are ended, not waited for.
    for sig in INT QUIT; do
      kill -s "$sig" "$pid" 2>/dev/null
      for ((i = 0; i < 200; i++)); do
        _pg_scratch_is_server "$pid" "$data" || break 2
        sleep 0.05
      done
    done
    if _pg_scratch_is_server "$pid" "$data"; then
      children=$(pgrep -P "$pid" 2>/dev/null)
      # shellcheck disable=SC2086
      kill -s KILL "$pid" $children 2>/dev/null
      sleep 0.2
    fi
  fi
  case "$dir" in
    */qv-pg.*) rm -rf -- "$dir" ;;
  esac
  return 0
}

# Prints when process PID started, in clock ticks since boot; fails for a zombie or no process.
# With the id it tells the process apart from a later one that got the same id.
_pg_scratch_started() {
  local stat IFS=' '
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
  # shellcheck disable=SC2086
  set -- ${stat##*) }
  case "$1" in Z | X | x) return 1 ;; esac
  echo "${20}"
}

_pg_scratch_watchdog() {
  local owner=$1 started=$2 dir=$3
  # A zombie counts as gone: its parent may be slow to reap it once it has been killed.
  while [ "$(_pg_scratch_started "$owner")" = "$started" ] && [ -d "$dir" ]; do
    sleep 1
  done
  [ -d "$dir" ] && _pg_scratch_halt "$dir"
  return 0
}

_pg_scratch_ensure_user() {
  local user=$1
  getent passwd "$user" >/dev/null && return 0
  useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
    --comment "qv test servers" "$user" >/dev/null 2>&1
  # Another test may have created it at the same moment.
  getent passwd "$user" >/dev/null || { echo "pg-scratch: cannot create the user $user" >&2; return 1; }
}

_pg_scratch_on_exit() {
  local rc=$? prev=${_PG_SCRATCH_PREV_EXIT:-}
  pg_scratch_stop
  if [ -n "$prev" ]; then
    (exit "$rc")
    eval "$prev"
  fi
}

_pg_scratch_fail() {
  echo "pg-scratch: $1" >&2
  [ -n "${2:-}" ] && [ -f "$2" ] && cat "$2" >&2
  pg_scratch_stop
  return 1
}

pg_scratch_start() {
  # A check below that is meant to fail must not end a caller running under set -e.
  local -
  set +e
  if [ -n "${PG_SCRATCH_DIR:-}" ] && [ -d "$PG_SCRATCH_DIR" ]; then
    echo "pg-scratch: a server is already running in $PG_SCRATCH_DIR" >&2
    return 1
  fi
  local t0=$EPOCHREALTIME bindir parent dir user
  local port=${PG_SCRATCH_PORT:-5432} timeout=${PG_SCRATCH_TIMEOUT:-60}
  bindir=$(_pg_scratch_find_bindir) || return 1
  parent=${PG_SCRATCH_PARENT:-${TMPDIR:-/tmp}}

  _PG_SCRATCH_RUN_AS=""
  _PG_SCRATCH_RUN_AS_GROUP=""
  if [ "$(id -u)" -eq 0 ]; then
    # initdb and postgres refuse to run as root.
    user=${PG_SCRATCH_USER:-qvtest}
    _pg_scratch_ensure_user "$user" || return 1
    _PG_SCRATCH_RUN_AS=$(id -u "$user")
    _PG_SCRATCH_RUN_AS_GROUP=$(id -g "$user")
  fi

  dir=$(mktemp -d "$parent/qv-pg.XXXXXXXX") || return 1
  # The socket's path, $dir/.s.PGSQL.$port, must fit in 107 bytes.
  if [ $((${#dir} + 20)) -gt 107 ]; then
    rmdir "$dir"
    echo "pg-scratch: $parent is too long a path for a Unix socket; set PG_SCRATCH_PARENT=/tmp" >&2
    return 1
  fi
  if [ -n "$_PG_SCRATCH_RUN_AS" ]; then
    chown "$_PG_SCRATCH_RUN_AS:$_PG_SCRATCH_RUN_AS_GROUP" "$dir"
    if ! (_pg_scratch_exec_as_server_user "$dir" test -w "$dir"); then
      rmdir "$dir"
      echo "pg-scratch: the user $user cannot reach $parent; set PG_SCRATCH_PARENT=/tmp" >&2
      return 1
    fi
  fi

  # From here on the folder is cleaned up whatever happens.
  export PG_SCRATCH_DIR=$dir PG_SCRATCH_LOG=$dir/postgres.log PG_SCRATCH_BINDIR=$bindir
  _PG_SCRATCH_PID=""
  _PG_SCRATCH_LAUNCHER=""
  _PG_SCRATCH_OWNER=$BASHPID
  local current_exit
  current_exit=$(trap -p EXIT)
  if [[ "$current_exit" != *_pg_scratch_on_exit* ]]; then
    _PG_SCRATCH_PREV_EXIT=""
    if [ -n "$current_exit" ]; then
      # `trap -p` prints `trap -- 'command' EXIT`, quoted for the shell; let the shell take it apart.
      # shellcheck disable=SC2317
      _pg_scratch_prev_trap() { _PG_SCRATCH_PREV_EXIT=$3; }
      eval "_pg_scratch_prev_trap $current_exit"
      unset -f _pg_scratch_prev_trap
    fi
    trap _pg_scratch_on_exit EXIT
  fi
  (
    _pg_scratch_close_fds
    exec setsid bash "$_PG_SCRATCH_SELF" --watchdog "$_PG_SCRATCH_OWNER" "$(_pg_scratch_started "$_PG_SCRATCH_OWNER")" \
      "$dir" </dev/null >/dev/null 2>&1
  ) &
  _PG_SCRATCH_WATCHDOG=$!

  if ! (_pg_scratch_exec_as_server_user "$dir" "$bindir/initdb" -D "$dir/data" --auth=trust -U postgres \
    -E UTF8 --no-locale --no-sync --no-instructions) >"$dir/initdb.log" 2>&1; then
    _pg_scratch_fail "initdb failed:" "$dir/initdb.log"
    return 1
  fi
  # Quoted for postgresql.conf; mktemp gives no quote characters, but the parent folder might have some.
  local sockdir=${dir//\'/\'\'}
  cat >>"$dir/data/postgresql.conf" <<EOF

# pg-scratch: a Unix socket only, no durability, a fixed time zone.
listen_addresses = ''
unix_socket_directories = '$sockdir'
port = $port
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 20
timezone = 'UTC'
log_timezone = 'UTC'
EOF

  # The server is a child of this shell (so it is reaped, not left as a zombie) in a session of its own
  # (so a Ctrl-C meant for the test reaches it only through pg_scratch_stop).
  (_pg_scratch_exec_as_server_user "$dir" setsid --wait "$bindir/postgres" -D "$dir/data") \
    </dev/null >>"$dir/postgres.log" 2>&1 &
  _PG_SCRATCH_LAUNCHER=$!
  local deadline=$((SECONDS + timeout))
  until "$bindir/pg_isready" -q -h "$dir" -p "$port" -U postgres -d postgres; do
    if ! kill -0 "$_PG_SCRATCH_LAUNCHER" 2>/dev/null; then
      _pg_scratch_fail "the server did not start:" "$dir/postgres.log"
      return 1
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
      _pg_scratch_fail "the server did not answer in $timeout s:" "$dir/postgres.log"
      return 1
    fi
    sleep 0.05
  done
  _PG_SCRATCH_PID=$(head -n 1 "$dir/data/postmaster.pid" 2>/dev/null)

  export PGHOST=$dir PGPORT=$port PGUSER=postgres PGDATABASE=postgres PGCLIENTENCODING=UTF8
  unset PGHOSTADDR PGSERVICE
  if [ -n "${PG_SCRATCH_VERBOSE:-}" ]; then
    echo "pg-scratch: started in $dir in $(awk "BEGIN { printf \"%.2f\", $EPOCHREALTIME - $t0 }") s" >&2
  fi
  return 0
}

pg_scratch_stop() {
  local -
  set +e
  local dir=${PG_SCRATCH_DIR:-}
  [ -n "$dir" ] || return 0
  # Our own watchdog, by the id it was started with; it leads its own process group.
  if [ -n "${_PG_SCRATCH_WATCHDOG:-}" ]; then
    kill -s TERM -- "-$_PG_SCRATCH_WATCHDOG" 2>/dev/null || kill -s TERM "$_PG_SCRATCH_WATCHDOG" 2>/dev/null
  fi
  _pg_scratch_halt "$dir" "${_PG_SCRATCH_PID:-}"
  if [ "${_PG_SCRATCH_OWNER:-}" = "$BASHPID" ]; then
    [ -n "${_PG_SCRATCH_LAUNCHER:-}" ] && wait "$_PG_SCRATCH_LAUNCHER" 2>/dev/null
    [ -n "${_PG_SCRATCH_WATCHDOG:-}" ] && wait "$_PG_SCRATCH_WATCHDOG" 2>/dev/null
    if [ "$(trap -p EXIT)" = "trap -- '_pg_scratch_on_exit' EXIT" ]; then
      if [ -n "${_PG_SCRATCH_PREV_EXIT:-}" ]; then
        # shellcheck disable=SC2064
        trap "$_PG_SCRATCH_PREV_EXIT" EXIT
      else
        trap - EXIT
      fi
    fi
  fi
  if [ "${PGHOST:-}" = "$dir" ]; then
    unset PGHOST PGPORT PGUSER PGDATABASE PGCLIENTENCODING
  fi
  unset PG_SCRATCH_DIR PG_SCRATCH_LOG _PG_SCRATCH_PID _PG_SCRATCH_LAUNCHER _PG_SCRATCH_WATCHDOG
  return 0
}

pg_scratch_psql() {
  "${PG_SCRATCH_BINDIR:-$(_pg_scratch_find_bindir)}/psql" -X -q -v ON_ERROR_STOP=1 "$@"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  if [ "${1:-}" = --watchdog ]; then
    _pg_scratch_watchdog "$2" "$3" "$4"
    exit 0
  fi
  set -uo pipefail
  pg_scratch_start || exit 1
  [ $# -gt 0 ] || set -- "$PG_SCRATCH_BINDIR/psql" -X
  "$@"
  exit $?
fi
