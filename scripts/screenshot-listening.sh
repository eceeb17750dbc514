#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot-listening.png: the real window while it plays, on a
# virtual display, into a PulseAudio server of its own with a null sink.
#   scripts/screenshot-listening.sh [BUILD_DIR]   (default: build; built already)
# The window is started with a demo file and the hidden options --autoplay
# FROM,SECONDS and --level (see app/desktop/command_line.h); the picture is
# taken halfway through.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$build/app/desktop/zorv-audio-decoder"
demo_maker="$build/tools/zorv-make-demo"
[ -x "$program" ] || { echo "screenshot-listening.sh: $program is not built" >&2; exit 1; }
for tool in xvfb-run import pulseaudio pactl; do
  command -v "$tool" >/dev/null || { echo "screenshot-listening.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zorv-listening.XXXXXX)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
if [ -x "$demo_maker" ]; then
  "$demo_maker" "$work/demo.wav" 20
else
  sox -n -r 44100 -b 16 -c 2 "$work/demo.wav" synth 20 sine 100 sine 1000 \
    remix 1v0.3,2v0.1 2v0.3,1v0.1 tremolo 0.7 60
fi
mkdir -p docs "$work/pulse"

# The sound server: a null sink at the demo's rate, under a private runtime folder.
export XDG_RUNTIME_DIR="$work" PULSE_RUNTIME_PATH="$work/pulse" HOME="$work"
export PULSE_SERVER="unix:$work/pulse/native"
cat >"$work/server.pa" <<'PA'
load-module module-native-protocol-unix
load-module module-null-sink sink_name=demo rate=44100 channels=2 format=float32le
set-default-sink demo
PA
pulseaudio --daemonize=no --exit-idle-time=-1 -n -F "$work/server.pa" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$work/server.log"; echo "screenshot-listening.sh: no sound server" >&2; exit 1; }

cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
program=$1 work=$2 shot=$3
QT_QPA_PLATFORM=xcb "$program" --autoplay 4.0,10 --level -12.0 "$work/demo.wav" \
  >"$work/report.txt" 2>"$work/errors.txt" &
pid=$!
sleep 6
import -window root "$shot"
wait "$pid" || true
INSIDE
chmod +x "$work/inside.sh"

xvfb-run -a -s "-screen 0 1024x1000x24" "$work/inside.sh" "$PWD/$program" "$work" "$work/screen.png"
cat "$work/report.txt" "$work/errors.txt"
grep -q "zorv-audio-decoder: played" "$work/report.txt" || {
  echo "screenshot-listening.sh: the window did not play" >&2
  exit 1
}
convert "$work/screen.png" -trim +repage docs/screenshot-listening.png
echo "docs/screenshot-listening.png written"
