#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user would: the installed quarnix-cli
# answers --version and probes a video, loads the installed media module (libquarnix-media.so, the one part
# linked against FFmpeg) only for a file that needs it, the installed window starts (offscreen) with HOME and
# XDG_CONFIG_HOME in a temporary folder and makes the user's setting.ini there from the shipped defaults,
# and nothing is written into the prefix.
# Usage: install-test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quarnix-install-test.XXXXXX")
pid=
cleanup() {
  if [[ -n $pid ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

for f in bin/quarnix bin/quarnix-cli share/quarnix/setting.ini share/quarnix/help/index.html \
         share/quarnix/help/help.css share/quarnix/help/de/index.html share/quarnix/help/ja/index.html \
         share/quarnix/languages/english.ini share/quarnix/languages/japanese.ini \
         share/applications/io.github.quarnix.Quarnix.desktop share/metainfo/io.github.quarnix.Quarnix.metainfo.xml \
         share/icons/hicolor/48x48/apps/quarnix.png share/icons/hicolor/128x128/apps/quarnix.png \
         share/icons/hicolor/256x256/apps/quarnix.png share/man/man1/quarnix.1 share/man/man1/quarnix-cli.1; do
  [[ -f $prefix/$f ]] || fail "missing $f"
done
[[ ! -e $prefix/bin/setting.ini && ! -e $prefix/bin/languages ]] || fail "data installed beside the executables"
# The media module in its private library folder; the programs themselves need no FFmpeg library.
modules=$(cd "$prefix" && find . -name 'libquarnix-media.so*')
[[ $modules =~ ^\./lib[^/]*(/[^/]+)?/quarnix/libquarnix-media\.so$ ]] || fail "media module installed as '$modules'"
module=$prefix/${modules#./}
for program in quarnix quarnix-cli; do
  if readelf -d "$prefix/bin/$program" | grep NEEDED | grep -q 'libav\|libsw'; then
    fail "$program links FFmpeg itself"
  fi
done
readelf -d "$module" | grep NEEDED | grep -q libavformat || fail "the media module does not link libavformat"
# The icons are the size their folder says (PNG width and height are bytes 16-23).
for size in 48 128 256; do
  dims=$(od -An -tu4 --endian=big -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/quarnix.png" | xargs)
  [[ $dims == "$size $size" ]] || fail "icon ${size}x${size} is $dims"
done

snapshot() { (cd "$prefix" && find . -printf '%p %s %T@\n' | sort); }
snapshot >"$work/before.txt"

out=$("$prefix/bin/quarnix-cli" --version)
[[ $out == "quarnix-cli $version" ]] || fail "quarnix-cli --version said '$out'"
out=$(QT_QPA_PLATFORM=offscreen "$prefix/bin/quarnix" --version)
[[ $out == "quarnix $version" ]] || fail "quarnix --version said '$out'"

ffmpeg -v error -f lavfi -i testsrc2=s=160x120:r=8:d=1 -c:v libx264 "$work/clip.mp4"
ffmpeg -v error -i "$work/clip.mp4" -c copy "$work/clip.ts"
out=$("$prefix/bin/quarnix-cli" probe "$work/clip.mp4")
[[ $out == "$work/clip.mp4"$'\t'* && $out == *$'\t160*120\t'* ]] || fail "quarnix-cli probe said '$out'"
# The probe's list facts come from the demuxer: the installed module is the one loaded (the loader's log).
LD_DEBUG=files LD_DEBUG_OUTPUT=$work/loader "$prefix/bin/quarnix-cli" probe "$work/clip.ts" >/dev/null ||
  fail "quarnix-cli probe of a TS failed"
grep -q "file=$module " "$work"/loader.* || { cat "$work"/loader.*; fail "the installed media module was not loaded"; }
rm -f "$work"/loader.*
# Marking an MP4 in place loads no FFmpeg library.
mkdir "$work/rotated"
LD_DEBUG=files LD_DEBUG_OUTPUT=$work/loader "$prefix/bin/quarnix-cli" rotate --angle 90 --output "$work/rotated" \
  "$work/clip.mp4" >/dev/null || fail "quarnix-cli rotate failed"
[[ -f $work/rotated/clip.mp4 ]] || fail "quarnix-cli rotate wrote no clip.mp4"
if grep -q 'file=libavformat\|libquarnix-media' "$work"/loader.*; then fail "marking in place loaded FFmpeg"; fi
rm -f "$work"/loader.*

home=$work/home
mkdir -p "$home"
HOME=$home XDG_CONFIG_HOME=$home/config QT_QPA_PLATFORM=offscreen "$prefix/bin/quarnix" "$work/clip.mp4" \
  >"$work/window.log" 2>&1 &
pid=$!
settings=$home/config/quarnix/setting.ini
for _ in $(seq 1 300); do
  [[ -f $settings ]] && break
  kill -0 "$pid" 2>/dev/null || { cat "$work/window.log"; fail "the window ended early"; }
  sleep 0.1
done
[[ -f $settings ]] || { cat "$work/window.log"; fail "no settings file in XDG_CONFIG_HOME after 30 s"; }
sleep 1
kill -0 "$pid" 2>/dev/null || { cat "$work/window.log"; fail "the window ended"; }
cmp -s "$settings" "$prefix/share/quarnix/setting.ini" || fail "the user's settings are not the shipped defaults"
# A logout's SIGTERM closes the window as its close box does: it ends by itself, with status 0.
kill "$pid"
status=0
wait "$pid" 2>/dev/null || status=$?
pid=
[[ $status -eq 0 ]] || { cat "$work/window.log"; fail "SIGTERM did not close the window (status $status)"; }
if grep -q "settings cannot be saved" "$work/window.log"; then cat "$work/window.log"; fail "settings reported unsaved"; fi

snapshot >"$work/after.txt"
diff -u "$work/before.txt" "$work/after.txt" >&2 || fail "the programs wrote into the prefix"
echo "install test passed"
