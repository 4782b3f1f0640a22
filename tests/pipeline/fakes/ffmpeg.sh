#!/bin/sh
# Stands in for FFmpeg in the job's fast tests. Two kinds of run:
# - an encode of temp/image%d.jpg: the frames and the arguments are kept in
#   $FAKE_TOOLS_DIR/encodes/N/ (N counts from 1), and the video written is a
#   text the test's video reader reads back. When $FAKE_TOOLS_DIR/encode-N-fails
#   exists, encode N fails with its text on standard error; encode N takes
#   the seconds that $FAKE_TOOLS_DIR/encode-N-seconds holds, when it exists,
#   and logs "ended encode N" when it is done;
# - anything else writes a sound ("sound made") to its last argument, after
#   the seconds that $FAKE_TOOLS_DIR/sound-seconds holds, when it exists.
printf 'ffmpeg %s\n' "$*" >> "$FAKE_TOOLS_DIR/runs"
for last; do :; done

value_of() {
    option=$1
    shift
    while [ $# -gt 1 ]; do
        [ "$1" = "$option" ] && { printf '%s\n' "$2"; return; }
        shift
    done
}

case " $* " in
*" temp/image%d.jpg "*)
    mkdir -p "$FAKE_TOOLS_DIR/encodes"
    n=$(($(ls "$FAKE_TOOLS_DIR/encodes" | wc -l) + 1))
    kept="$FAKE_TOOLS_DIR/encodes/$n"
    mkdir "$kept"
    for argument; do printf '%s\n' "$argument"; done > "$kept/arguments"
    if [ -f "$FAKE_TOOLS_DIR/encode-$n-fails" ]; then
        cat "$FAKE_TOOLS_DIR/encode-$n-fails" >&2
        exit 1
    fi
    frames=0
    while [ -f "temp/image$((frames + 1)).jpg" ]; do
        frames=$((frames + 1))
        cp "temp/image$frames.jpg" "$kept/frame$frames.jpg"
    done
    audio=no
    [ "$(grep -c '^-i$' "$kept/arguments")" -gt 1 ] && audio=yes
    progress=$(value_of -progress "$@")
    [ -n "$progress" ] && printf 'frame=%d\nprogress=end\n' "$frames" > "$progress"
    [ -f "$FAKE_TOOLS_DIR/encode-$n-seconds" ] && sleep "$(cat "$FAKE_TOOLS_DIR/encode-$n-seconds")"
    printf 'frames %d\nseconds %s\naudio %s\n' "$frames" "$(value_of -t "$@")" "$audio" > "$last"
    printf 'ended encode %d\n' "$n" >> "$FAKE_TOOLS_DIR/runs"
    exit 0
    ;;
*)
    [ -f "$FAKE_TOOLS_DIR/sound-seconds" ] && sleep "$(cat "$FAKE_TOOLS_DIR/sound-seconds")"
    echo "sound made" > "$last"
    ;;
esac
