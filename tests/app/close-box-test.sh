#!/usr/bin/env bash
# The main window's close box during a batch, under a real window manager: on Xvfb with openbox, the
# window lists a video, which is then swapped for a pipe that gives a third of the file and waits, so the
# batch is surely in the middle of it; Start is clicked, the main window is asked to close through the
# window manager (wmctrl -c: the window manager sends it WM_DELETE_WINDOW, as for its close box) and the
# program must stop the batch, remove the part file and end by itself.
#
#   close-box-test.sh BIN_DIR
set -euo pipefail

bin=$1
for tool in Xvfb openbox xdotool wmctrl python3 ffmpeg; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Polls the command for up to $1 tenths of a second.
wait_for() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# A portable copy of the program, so its settings (the output folder, no folder opening at the end) are
# the test's own.
mkdir -p "$work/app" "$work/in" "$work/out"
cp "$bin/quarnix" "$bin/libquarnix-media.so" "$work/app/"
cp -r "$bin/languages" "$work/app/"
cp "$bin/setting.ini" "$work/app/"
sed -i 's/^open=1/open=0/' "$work/app/setting.ini"
printf '[PATH]\nname=%s\n' "$work/out" >>"$work/app/setting.ini"
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=25:duration=20 -c:v libx264 \
  -pix_fmt yuv420p "$work/source.ts"
cp "$work/source.ts" "$work/in/live.ts"

exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
display=""
read_display() { read -r -t 0.1 -u "$display_fd" display && [[ -n $display ]]; }
wait_for 100 read_display || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$display
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 100 xdotool search --class openbox >/dev/null 2>&1 || sleep 1

# Once the window's probe has read the listed file and closed it, the file becomes a pipe that gives a
# third of the video and then waits.
python3 - "$work/source.ts" "$work/in/live.ts" "$work/swapper.ready" <<'PY' &
import ctypes, os, sys, time
libc = ctypes.CDLL(None, use_errno=True)
IN_CLOSE_NOWRITE = 0x10
watch = libc.inotify_init()
libc.inotify_add_watch(watch, sys.argv[2].encode(), IN_CLOSE_NOWRITE)
open(sys.argv[3], 'w').close()
os.read(watch, 4096)  # the probe closed the file
data = open(sys.argv[1], 'rb').read()
os.remove(sys.argv[2])
os.mkfifo(sys.argv[2])
fd = os.open(sys.argv[2], os.O_RDWR)
os.write(fd, data[:len(data) // 3])
time.sleep(120)
PY
pids+=($!)
wait_for 100 test -f "$work/swapper.ready" || fail "the pipe feeder did not start"

QT_QPA_PLATFORM=xcb "$work/app/quarnix" "$work/in/live.ts" >"$work/quarnix.log" 2>&1 &
app=$!
pids+=("$app")
main=""
find_main() { main=$(xdotool search --onlyvisible --name '^Quarnix [0-9]' 2>/dev/null | head -1); [[ -n $main ]]; }
wait_for 300 find_main || fail "the main window did not show: $(cat "$work/quarnix.log")"
wait_for 300 test -p "$work/in/live.ts" || fail "the listed file was never probed"

# Start sits at (331, 169) in the 388 x 237 dialog units of the window, 56 x 54 large. Clicked again
# should a click come before the window took its place.
part_file() { compgen -G "$work/out/.live.*.part-*" >/dev/null; }
for _ in $(seq 10); do
  eval "$(xdotool getwindowgeometry --shell "$main")"
  xdotool mousemove $((X + WIDTH * 359 / 388)) $((Y + HEIGHT * 196 / 237)) click 1
  wait_for 30 part_file && break
done
part_file || fail "the batch did not start: $(ls -a "$work/out")"

wmctrl -i -c "$(printf '0x%x' "$main")"
ended() { ! kill -0 "$app" 2>/dev/null; }
wait_for 300 ended || fail "the program still runs 30 s after its main window was closed"
status=0
wait "$app" || status=$?
[[ $status -eq 0 ]] || fail "the program ended with status $status: $(cat "$work/quarnix.log")"
leftover=$(ls -A "$work/out")
[[ -z $leftover ]] || fail "left in the output folder: $leftover"
echo "close box test passed"
