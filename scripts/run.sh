#!/usr/bin/env bash
# The main job: builds everything, makes sure korvald answers on the local
# machine (starting it with the demo data unless one already answers on the
# port) and runs the viewer torvane against it in this directory, under the
# Latin-1 locale its data is written in.
#
# With a display (DISPLAY set) torvane opens on it; the script ends when
# the viewer is closed.  Without one it shows the main job working all the
# same: torvane runs on a virtual display (Xvfb), one demo SELECT is typed
# into its main window (table KUNDE, Ctrl+U), a screenshot of the window
# with the rows is saved and its path printed, and the script exits 0.
# Environment: KORVAL_PORT (default 12453), KORVAL_DATA (default ./korval-data).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BIN=${BUILD_DIR:-build-release}
BUILD_TYPE=${BUILD_TYPE:-Release} BUILD_DIR=$BIN scripts/build.sh -DKV_BUILD_TESTS=OFF
PORT=${KORVAL_PORT:-12453}
DATA=${KORVAL_DATA:-./korval-data}
export LC_ALL=de_DE.ISO-8859-1 KORVAL_PORT=$PORT
# The help texts: the viewer reads and edits torvane.hlp in its working
# directory; the shipped file is copied there once, edits stay.
[ -f torvane.hlp ] || cp app/torvane.hlp torvane.hlp
TMP=$(mktemp -d)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$TMP"
}
trap cleanup EXIT

if nc -z 127.0.0.1 "$PORT" 2>/dev/null; then
  echo "run: korvald already answers on port $PORT"
else
  "$BIN/server/korvald" -D "$DATA" -p "$PORT" --demo >"$TMP/korvald.out" 2>"$TMP/korvald.err" &
  PIDS+=($!)
  for _ in $(seq 100); do
    grep -q ready "$TMP/korvald.out" 2>/dev/null && break
    kill -0 "${PIDS[0]}" 2>/dev/null || { cat "$TMP/korvald.err" >&2; exit 1; }
    sleep 0.1
  done
  cat "$TMP/korvald.out"
fi

if [ -n "${DISPLAY:-}" ]; then
  "$BIN/app/torvane" -dbKVSYS
  exit 0
fi

# No display: the demo on a virtual one.
SHOT=$(pwd)/$BIN/artifacts/torvane-demo.png
mkdir -p "$(dirname "$SHOT")"
for n in $(seq 90 140); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { DISPLAY_NO=$n; break; }
done
Xvfb ":$DISPLAY_NO" -screen 0 1280x1024x24 -nolisten tcp >"$TMP/xvfb.log" 2>&1 &
PIDS+=($!)
export DISPLAY=":$DISPLAY_NO"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$BIN/app/torvane" -dbKVSYS 2>"$TMP/torvane.err" &
PIDS+=($!)
WIN=
for _ in $(seq 200); do
  WIN=$(xdotool search --onlyvisible --name "Dadazudi-Zudeda 1.1.3" 2>/dev/null | head -1) || true
  [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] || { echo "run: torvane did not open its window" >&2; cat "$TMP/torvane.err" >&2; exit 1; }
xdotool windowfocus --sync "$WIN" 2>/dev/null || true
xdotool type --delay 30 KUNDE
xdotool key ctrl+u
# The rows are there once the result table's text area is no longer blank.
ROWS=0
for _ in $(seq 300); do
  import -window "$WIN" "$SHOT"
  spread=$(convert "$SHOT" -crop 640x250+30+285 +repage -format '%[fx:standard_deviation]' info:)
  if awk -v s="$spread" 'BEGIN { exit !(s > 0.01) }'; then ROWS=1; break; fi
  sleep 0.1
done
if [ $ROWS = 0 ]; then
  echo "run: no rows appeared in torvane's result table; screenshot: $SHOT" >&2
  cat "$TMP/torvane.err" >&2
  exit 1
fi
echo "run: torvane ran SELECT * FROM KUNDE; on a virtual display (no DISPLAY was set)."
echo "run: screenshot of its main window: $SHOT"
echo "run: on a real display run: DISPLAY=:0 scripts/run.sh"
echo "run: (or, with korvald running: LC_ALL=de_DE.ISO-8859-1 KORVAL_PORT=$PORT $BIN/app/torvane -dbKVSYS)"
