#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the pictures of the real window on a virtual display that need a
# sound server or a state of their own, each with settings of its own (the
# user's remembered level, folders and size are neither read nor changed):
#   docs/screenshot-listening.png   a stereo tape playing from 0:04 at -12 dB
#   docs/screenshot-multitrack.png  a six-track master playing tracks 3 and 4
#   docs/screenshot-record.png      after a run: the Record tab
#   docs/screenshot-level-refused.png  "-35" typed into the level field
# The window plays into a PulseAudio server of its own with a null sink.
#   scripts/screenshot-details.sh [BUILD_DIR]   (default: build; built already)
# The window is driven by the hidden options --autostart, --autoplay with
# --channels, and --type-level (see app/desktop/command_line.h).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$PWD/$build/app/desktop/zorv-audio-decoder"
demo_maker="$build/tools/zorv-make-demo"
for tool in "$program" "$demo_maker"; do
  [ -x "$tool" ] || { echo "screenshot-details.sh: $tool is not built" >&2; exit 1; }
done
for tool in xvfb-run import convert pulseaudio pactl; do
  command -v "$tool" >/dev/null || { echo "screenshot-details.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zorv-screenshots.XXXXXX)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p docs "$work/pulse" "$work/reel-07"
"$demo_maker" "$work/reel-07/side_A.wav" 20 >/dev/null
"$demo_maker" "$work/reel-07/master.wav" 20 6 44100 24 >/dev/null

export XDG_RUNTIME_DIR="$work" PULSE_RUNTIME_PATH="$work/pulse" HOME="$work"
export PULSE_SERVER="unix:$work/pulse/native" XDG_CONFIG_HOME="$work/config"
cat >"$work/server.pa" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=shots rate=44100 channels=2 format=float32le
set-default-sink shots
PA
pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$work/server.pa" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$work/server.log"; echo "no sound server" >&2; exit 1; }

# Inside the virtual display: the program with its arguments, the picture
# once its report names the state wanted (or after WAIT seconds), the end.
cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
work=$1 shot=$2 wait=$3 want=$4
shift 4
QT_QPA_PLATFORM=xcb "$@" >"$work/report.txt" 2>"$work/errors.txt" &
pid=$!
for _ in $(seq 1 $((wait * 10))); do
  [ -n "$want" ] && grep -q "$want" "$work/report.txt" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
sleep 0.5  # the last paint
import -window root "$shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INSIDE
chmod +x "$work/inside.sh"

# shoot NAME WAIT WANT ARGUMENTS...
shoot() {
  local name=$1 wait=$2 want=$3
  shift 3
  rm -rf "$work/config" "$work/reel-07/side_A_dec.wav"
  xvfb-run -a -s "-screen 0 1024x1000x24" "$work/inside.sh" "$work" "$work/screen.png" \
    "$wait" "$want" "$program" "$@"
  grep -v "QStandardPaths\|propagateSizeHints" "$work/report.txt" "$work/errors.txt" || true
  # Small: the window's few colours, no metadata.
  convert "$work/screen.png" -trim +repage -strip +dither -colors 64 "docs/$name.png"
  echo "docs/$name.png written"
}

shoot screenshot-listening 6 "" --autoplay 4.0,10 --level -12.0 "$work/reel-07/side_A.wav"
shoot screenshot-record 60 "zorv-audio-decoder: Done" --autostart "$work/reel-07/side_A_dec.wav" \
  --level -14.0 "$work/reel-07/side_A.wav"
shoot screenshot-multitrack 6 "" --autoplay 4,10 --channels 3,4 --level -12.0 \
  "$work/reel-07/master.wav"
shoot screenshot-level-refused 3 "" --type-level -35 "$work/reel-07/side_A.wav"
