#!/bin/sh
# Stands in for ffprobe in the job's fast tests: reads back the video the
# fake ffmpeg wrote (its last argument) as ffprobe's JSON.
for last; do :; done
field() { sed -n "s/^$1 //p" "$last"; }
frames=$(field frames)
[ -n "$frames" ] || { echo "$last: Invalid data found when processing input" >&2; exit 1; }
audio=""
[ "$(field audio)" = yes ] && audio=', {"codec_type": "audio", "nb_read_packets": "1"}'
printf '{"streams": [{"codec_type": "video", "nb_read_packets": "%s"}%s], "format": {"duration": "%s"}}\n' \
    "$frames" "$audio" "$(field seconds)"
