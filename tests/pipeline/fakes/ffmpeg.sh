#!/bin/sh
# Stands in for FFmpeg in the job's fast tests. Two kinds of run:
# - an encode of temp/image%d.jpg: the frames and the arguments are kept in
#   $FAKE_TOOLS_DIR/encodes/N/ (N counts from 1), and the video written is a
#   text the test's video reader reads back. When $FAKE_TOOLS_DIR/encode-N-fails
#   exists, encode N fails with its text on standard error; encode N takes
#   the seconds that $FAKE_TOOLS_DIR/encode-N-seconds holds, when it exists,
#   and logs "ended encode N" when it is done. A sound fed on standard
#   input is kept too; without one line of it the encode fails, and the
#   video's sound ends at the number its line names ("sound cut at S"), else
#   at the video's end;
# - anything else writes a sound ("sound made") to its last argument (to
#   standard output for pipe:1). A mix to standard output writes what
#   $FAKE_TOOLS_DIR/mix-fails holds instead, when it exists, and fails.
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
    seconds=$(value_of -t "$@")
    audio_end=$seconds
    if grep -qx 'pipe:0' "$kept/arguments"; then
        cat > "$kept/fed-sound"
        if [ ! -s "$kept/fed-sound" ]; then
            echo "pipe:0: End of file" >&2
            exit 1
        fi
        cut=$(sed -n 's/^sound cut at //p' "$kept/fed-sound")
        [ -n "$cut" ] && audio_end=$cut
    fi
    progress=$(value_of -progress "$@")
    [ -n "$progress" ] && printf 'frame=%d\nprogress=end\n' "$frames" > "$progress"
    [ -f "$FAKE_TOOLS_DIR/encode-$n-seconds" ] && sleep "$(cat "$FAKE_TOOLS_DIR/encode-$n-seconds")"
    printf 'frames %d\nseconds %s\naudio %s\naudio-end %s\n' "$frames" "$seconds" "$audio" "$audio_end" > "$last"
    printf 'ended encode %d\n' "$n" >> "$FAKE_TOOLS_DIR/runs"
    exit 0
    ;;
*)
    if [ "$last" != pipe:1 ]; then
        echo "sound made" > "$last"
    elif [ -f "$FAKE_TOOLS_DIR/mix-fails" ]; then
        cat "$FAKE_TOOLS_DIR/mix-fails"
        echo "the mix failed" >&2
        exit 1
    else
        echo "sound made"
    fi
    ;;
esac
