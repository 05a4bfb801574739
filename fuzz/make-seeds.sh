#!/usr/bin/env bash
# Makes the fuzzers' seed inputs: tiny clips in several containers, made by the ffmpeg tool.
set -euo pipefail
out=${1:?usage: make-seeds.sh DIR}
mkdir -p "$out"
video="-f lavfi -i testsrc2=size=64x48:rate=10:duration=0.5"
audio="-f lavfi -i sine=frequency=300:sample_rate=8000:duration=0.5"
make() { # name, codec arguments
  local name=$1; shift
  [[ -f $out/$name ]] || ffmpeg -nostdin -v error -y $video $audio "$@" "$out/$name"
}
make seed.mp4 -c:v libx264 -bf 2 -c:a aac
make seed.mov -c:v mjpeg -c:a pcm_s16le
make seed.mkv -c:v mpeg4 -c:a mp2
make seed.ts -c:v mpeg2video -c:a mp2
make seed.avi -c:v mpeg4 -c:a pcm_u8
make seed.flv -c:v flv -c:a aac
make seed.3gp -c:v h263 -s 128x96 -c:a aac -ar 8000 -ac 1
make seed.webm -c:v libvpx -deadline realtime -c:a libopus -ar 48000
make seed.nut -c:v ffv1 -c:a pcm_s16le
