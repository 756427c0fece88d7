#!/usr/bin/env bash
# Makes the viewer's user manual: the pictures of every window into Doku/
# (torvane_shots against korvald with the demo data on a free port), then
# "torvane -doku", which writes torvane_hlp.htm with those pictures and the
# help texts of torvane.hlp; both on a virtual display (Xvfb).  Everything lands in
# the directory given as the argument (default: the top directory, where
# scripts/run.sh runs the viewer).  A torvane.hlp there is used as it is
# (the texts edited in the program); without one the shipped
# app/torvane.hlp is copied there first.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
scripts/setup.sh
BIN=$ROOT/${BUILD_DIR:-build-release}
BUILD_TYPE=${BUILD_TYPE:-Release} BUILD_DIR=$BIN scripts/build.sh -DKV_BUILD_TESTS=OFF
TMP=$(mktemp -d)
SERVER=
cleanup() {
  [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null && wait "$SERVER" 2>/dev/null
  rm -rf "$TMP"
}
trap cleanup EXIT

"$BIN/server/korvald" -D "$TMP/data" -p 0 --demo >"$TMP/korvald.out" 2>"$TMP/korvald.err" &
SERVER=$!
PORT=
for _ in $(seq 100); do
  PORT=$(sed -n 's/.*port \([0-9]*\).*/\1/p' "$TMP/korvald.out" 2>/dev/null | head -1)
  [ -n "$PORT" ] && break
  kill -0 "$SERVER" 2>/dev/null || { cat "$TMP/korvald.err" >&2; exit 1; }
  sleep 0.1
done
[ -n "$PORT" ] || { echo "doku: korvald did not start" >&2; exit 1; }

cd "$OUT"
[ -f torvane.hlp ] || cp "$ROOT/app/torvane.hlp" torvane.hlp
export LC_ALL=de_DE.ISO-8859-1 KORVAL_PORT=$PORT
# Both need an X server: a virtual one, so that nothing covers the windows.
xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
  '"$0/torvane_shots" -dbKVSYS >/dev/null && "$0/torvane" -dbKVSYS -doku' "$BIN/app"
echo "doku: manual $OUT/torvane_hlp.htm, pictures in $OUT/Doku/"
