#!/usr/bin/env bash
# The main job: builds everything, starts korvald with the demo data on the
# local machine and talks to it.  Until the viewer exists this runs a few
# statements with kvsql and then, on a terminal, hands kvsql to the user.
# Environment: KORVAL_PORT (default 12453), KORVAL_DATA (default ./korval-data).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_TYPE=${BUILD_TYPE:-Release} BUILD_DIR=${BUILD_DIR:-build-release} scripts/build.sh -DKV_BUILD_TESTS=OFF
BIN=${BUILD_DIR:-build-release}
PORT=${KORVAL_PORT:-12453}
DATA=${KORVAL_DATA:-./korval-data}

LOG=$(mktemp -d)/korvald
"$BIN/server/korvald" -D "$DATA" -p "$PORT" --demo >"$LOG.out" 2>"$LOG.err" &
SERVER=$!
trap 'kill $SERVER 2>/dev/null; wait $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  grep -q ready "$LOG.out" 2>/dev/null && break
  kill -0 $SERVER 2>/dev/null || { cat "$LOG.err" >&2; exit 1; }
  sleep 0.1
done
cat "$LOG.out"
# kvsql shows the Latin-1 demo data in the terminal's character set.
"$BIN/tools/kvsql" -dbKVSYS -p "$PORT" -c "SHOW DATABASES;" -c "SHOW TABLES;" \
  -c "SELECT * FROM KUNDE ORDER BY KUNDE_ID;" || true
if [ -t 0 ]; then
  echo "kvsql -dbKVSYS: SQL statements end with ';'; \\? lists the meta-commands, \\q quits."
  "$BIN/tools/kvsql" -dbKVSYS -p "$PORT"
fi
