#!/usr/bin/env bash
# select_compare.sh: SELECT * of a 6-column table of 100,000 and 1,000,000
# rows, output discarded, timed side by side: kvsql through korvald, the
# sqlite3 shell on the same database file, and psql -At against a private
# PostgreSQL cluster on 127.0.0.1 when PostgreSQL is installed.  Prints the
# median of RUNS runs of each and the ratios, for kvsql reading each result
# in one reply and with --fetch-count (batches of FETCH rows, default
# 10000), with kvsql's peak memory.
#
# Usage: bench/select_compare.sh [BUILD_DIR] (default build-release; build
# it with BUILD_TYPE=Release).  Environment: RUNS (default 5), ROWS (the
# table sizes, default "100000 1000000"), KEEP=1 keeps the work directory.
#
# The table T: NAME CHARACTER(30) = "Kunde %07d Mueller" of i, N INTEGER =
# i, F FLOAT = a pseudo-random number below 1e6, D DATE = year 1950 + i mod
# 70, month 1 + i mod 12, day 1 + i mod 28, TS TIMESTAMP = 2003-07-12 with
# hour i mod 24, minute and second i mod 60, microseconds i mod 1,000,000,
# NOTE CHARACTER(60) = "Bemerkung " and i mod 50 times "x"; i from 0.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build-release}
RUNS=${RUNS:-5}
ROWS=${ROWS:-"100000 1000000"}
KORVALD=$PWD/$BUILD/server/korvald
KVSQL=$PWD/$BUILD/tools/kvsql
for p in "$KORVALD" "$KVSQL"; do
  [ -x "$p" ] || { echo "select_compare: $p missing (build $BUILD first)" >&2; exit 1; }
done
command -v sqlite3 >/dev/null || { echo "select_compare: the sqlite3 shell is missing" >&2; exit 1; }

WORK=$(mktemp -d /tmp/select_compare.XXXXXX)
chmod 755 "$WORK"
KPID=""
PGBIN=""
cleanup() {
  [ -n "$KPID" ] && kill "$KPID" 2>/dev/null && wait "$KPID" 2>/dev/null || true
  if [ -n "$PGBIN" ] && [ -d "$WORK/pg" ]; then as_pg "$PGBIN/pg_ctl" -D "$WORK/pg" -m immediate stop >/dev/null 2>&1 || true; fi
  [ "${KEEP:-0}" = 1 ] || rm -rf "$WORK"
}
trap cleanup EXIT

# PostgreSQL refuses to run as root: then its programs run as "postgres".
as_pg() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

# --- the data ---------------------------------------------------------------
mkdir -p "$WORK/data"
make_table() {  # file rows
  sqlite3 "$1" <<EOF
PRAGMA journal_mode=WAL;
CREATE TABLE "T" ("NAME" CHARACTER(30), "N" INTEGER, "F" FLOAT, "D" DATE, "TS" TIMESTAMP,
                  "NOTE" CHARACTER(60));
WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM c WHERE i + 1 < $2)
INSERT INTO "T" SELECT printf('Kunde %07d Mueller', i), i,
  ((i * 1103515245 + 12345) % 2147483648) * 1000000.0 / 2147483648,
  printf('%04d-%02d-%02d', 1950 + i % 70, 1 + i % 12, 1 + i % 28),
  printf('2003-07-12-%02d.%02d.%02d.%06d', i % 24, i % 60, i % 60, i % 1000000),
  'Bemerkung ' || substr('xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx', 1, i % 50)
FROM c;
EOF
}
for n in $ROWS; do make_table "$WORK/data/R$n.db" "$n" >/dev/null; done

"$KORVALD" -D "$WORK/data" -p 0 >"$WORK/korvald.out" 2>"$WORK/korvald.log" &
KPID=$!
PORT=""
for _ in $(seq 100); do
  PORT=$(sed -n 's/.*port \([0-9]*\),.*/\1/p' "$WORK/korvald.out" 2>/dev/null || true)
  [ -n "$PORT" ] && break
  sleep 0.1
done
[ -n "$PORT" ] || { echo "select_compare: korvald did not start" >&2; exit 1; }

# PostgreSQL: a cluster of its own in the work directory, on 127.0.0.1.
PG=""
for d in /usr/lib/postgresql/*/bin; do [ -x "$d/initdb" ] && PGBIN=$d; done
if [ -n "$PGBIN" ] && command -v psql >/dev/null; then
  PGPORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  mkdir -p "$WORK/pg" && chmod 700 "$WORK/pg"
  [ "$(id -u)" = 0 ] && chown postgres "$WORK/pg"
  if as_pg "$PGBIN/initdb" -D "$WORK/pg" -A trust -U bench >/dev/null 2>&1 &&
     as_pg "$PGBIN/pg_ctl" -D "$WORK/pg" -l "$WORK/pg/log" -w \
       -o "-p $PGPORT -k $WORK/pg -c listen_addresses=127.0.0.1" start >/dev/null 2>&1; then
    PG="psql -X -q -h 127.0.0.1 -p $PGPORT -U bench -d postgres"
    for n in $ROWS; do
      sqlite3 -csv "$WORK/data/R$n.db" "SELECT NAME, N, F, D, substr(TS,1,10) || ' ' ||
        replace(substr(TS,12,8),'.',':') || substr(TS,20), NOTE FROM T" >"$WORK/r$n.csv"
      chmod 644 "$WORK/r$n.csv"
      $PG -c "CREATE TABLE r$n (name varchar(30), n integer, f double precision, d date,
               ts timestamp, note varchar(60))" \
          -c "\\copy r$n FROM '$WORK/r$n.csv' CSV" -c "VACUUM ANALYZE r$n" >/dev/null
    done
  else
    echo "select_compare: PostgreSQL did not start; psql left out" >&2
  fi
else
  echo "select_compare: PostgreSQL is not installed; psql left out" >&2
fi

# --- timing -------------------------------------------------------------------
# Runs "$@" RUNS times (output discarded); prints the median wall time in
# seconds and the median peak resident memory in MB.
median_of() {
  local times=() mems=() t0 t1
  for _ in $(seq "$RUNS"); do
    t0=$EPOCHREALTIME
    /usr/bin/time -f %M -o "$WORK/mem" "$@" >/dev/null
    t1=$EPOCHREALTIME
    times+=("$(echo "$t1 - $t0" | bc -l)")
    mems+=("$(cat "$WORK/mem")")
  done
  local mid=$(( (RUNS + 1) / 2 ))
  local t m
  t=$(printf '%s\n' "${times[@]}" | sort -g | sed -n "${mid}p")
  m=$(printf '%s\n' "${mems[@]}" | sort -g | sed -n "${mid}p")
  printf '%.3f %.1f' "$t" "$(echo "$m / 1024" | bc -l)"
}

ratio() { if [ "$2" = - ]; then echo -; else printf '%.2f' "$(echo "$1 / $2" | bc -l)"; fi; }

KV="env LC_ALL=C $KVSQL -p $PORT -t"
FETCH=${FETCH:-10000}
printf '%-8s %-15s %-15s %-8s %-8s | %-9s %-9s %-9s %-9s %s\n' rows "kvsql s (MB)" \
  "--fetch-count" "sqlite3" "psql" "kv/sqlite" "kf/sqlite" "kv/psql" "kf/psql" "rows out"
for n in $ROWS; do
  read -r kv_t kv_m <<<"$(median_of $KV -dbR$n -c 'SELECT * FROM T')"
  read -r kf_t kf_m <<<"$(median_of $KV -dbR$n --fetch-count "$FETCH" -c 'SELECT * FROM T')"
  read -r sq_t _ <<<"$(median_of sqlite3 "$WORK/data/R$n.db" 'SELECT * FROM T')"
  pg_t=-
  if [ -n "$PG" ]; then read -r pg_t _ <<<"$(median_of $PG -At -c "SELECT * FROM r$n")"; fi
  got=$($KV -dbR$n -c 'SELECT * FROM T' 2>/dev/null | wc -l)
  printf '%-8s %-15s %-15s %-8s %-8s | %-9s %-9s %-9s %-9s %s\n' "$n" "$kv_t ($kv_m)" \
    "$kf_t ($kf_m)" "$sq_t" "$pg_t" "$(ratio "$kv_t" "$sq_t")" "$(ratio "$kf_t" "$sq_t")" \
    "$(ratio "$kv_t" "$pg_t")" "$(ratio "$kf_t" "$pg_t")" "$got"
done
echo "medians of $RUNS runs in seconds; kv: kvsql, one reply per SELECT; kf: kvsql --fetch-count $FETCH;"
echo "kvsql and sqlite3 read the same file; (MB): peak resident memory of kvsql"
