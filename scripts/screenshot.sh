#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot.png: the real window after a run, on a virtual display.
#   scripts/screenshot.sh [BUILD_DIR]     (default: build; it must be built already)
# The window is started with a short demo file and the hidden option
# --autostart OUTPUT (see app/desktop/command_line.h), which chooses the output
# and presses Start; the picture is taken once the program reports the run's end.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
program="$build/app/desktop/zorv-audio-decoder"
demo_maker="$build/tools/zorv-make-demo"
[ -x "$program" ] || { echo "screenshot.sh: $program is not built" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "screenshot.sh: xvfb-run is missing" >&2; exit 1; }
command -v import >/dev/null || { echo "screenshot.sh: import (ImageMagick) is missing" >&2; exit 1; }

work=$(mktemp -d /tmp/zorv-screenshot.XXXXXX)
trap 'rm -rf "$work"' EXIT
if [ -x "$demo_maker" ]; then
  "$demo_maker" "$work/demo.wav" 20
else
  sox -n -r 44100 -b 16 -c 2 "$work/demo.wav" synth 3 sine 100 sine 1000 \
    remix 1v0.3,2v0.1 2v0.3,1v0.1 tremolo 0.7 60
fi
mkdir -p docs

# Runs inside the virtual display: start the window, wait for its report,
# take the picture of the screen, end the window.
cat >"$work/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
set -euo pipefail
program=$1 work=$2 shot=$3
# Settings of its own: the picture shows the window as it first opens, and
# the user's remembered level, folders and size are neither read nor changed.
XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
  "$program" --autostart "$work/demo_dec.wav" "$work/demo.wav" \
  >"$work/report.txt" 2>"$work/errors.txt" &
pid=$!
for _ in $(seq 1 600); do
  grep -q "zorv-audio-decoder:" "$work/report.txt" "$work/errors.txt" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
sleep 0.5  # the last paint
import -window root "$shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
INSIDE
chmod +x "$work/inside.sh"

xvfb-run -a -s "-screen 0 1024x1000x24" "$work/inside.sh" "$PWD/$program" "$work" "$work/screen.png"
cat "$work/report.txt" "$work/errors.txt"
grep -q "zorv-audio-decoder: Done" "$work/report.txt" || {
  echo "screenshot.sh: the run did not end with Done" >&2
  exit 1
}
# The window only, without the empty screen around it.
convert "$work/screen.png" -trim +repage docs/screenshot.png
echo "docs/screenshot.png written"
