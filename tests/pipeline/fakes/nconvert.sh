#!/bin/sh
# Stands in for the converter in the job's fast tests:
# "nconvert ... -o OUT IN" turns a file holding "picture NAME" into a copy of
# $FAKE_TOOLS_DIR/pictures/NAME.jpg; anything else cannot be read.
printf 'nconvert %s\n' "$*" >> "$FAKE_TOOLS_DIR/runs"
out=""
in=""
while [ $# -gt 0 ]; do
    case "$1" in
        -o | -out) [ "$1" = -o ] && out=$2; shift ;;
        -*) ;;
        *) in=$1 ;;
    esac
    shift
done
read -r word name < "$in"
picture="$FAKE_TOOLS_DIR/pictures/$name.jpg"
if [ "$word" = picture ] && [ -f "$picture" ]; then
    cp "$picture" "$out"
    exit 0
fi
echo "$in: not a picture" >&2
exit 1
