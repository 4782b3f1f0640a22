#!/bin/sh
# Stands in for the extractor in the job's fast tests. The movie it reads is
# a text file of lines:
#   listing TEXT        printed by the listing (e.g. "listing JPEGs: 1-3, 5")
#   warn TEXT           printed on standard error by every run
#   picture ID NAME     what -j or -p writes for ID: "picture NAME"
#   mp3 SECONDS         what -m writes: "sound SECONDS" ("broken": undecodable)
#   cut                 the movie is cut or damaged: the listing exits 1
# No movie has a timeline report. Each run is logged to $FAKE_TOOLS_DIR/runs.
printf 'swfextract %s\n' "$*" >> "$FAKE_TOOLS_DIR/runs"

field() { sed -n "s/^$1 //p" "$swf"; }

# "1-3, 5" -> 1 2 3 5, one a line.
expand_ids() {
    printf '%s\n' "$1" | tr ',' '\n' | while read -r item; do
        case "$item" in
            '') ;;
            *-*) seq "${item%-*}" "${item#*-}" ;;
            *) printf '%s\n' "$item" ;;
        esac
    done
}

swf=""
timeline=""
n=0
while [ $# -gt 0 ]; do
    case "$1" in
        --timeline) timeline=yes ;;
        -j | -p | -s | --stream | --video) n=$((n + 1)); eval "kind$n=\$1; ids$n=\$2"; shift ;;
        -m) n=$((n + 1)); eval "kind$n=-m; ids$n=" ;;
        -o) eval "out$n=\$2"; shift ;;
        *) swf=$1 ;;
    esac
    shift
done

[ -f "$swf" ] || { echo "$swf: cannot open the file" >&2; exit 1; }
field warn >&2
[ -n "$timeline" ] && exit 1
if [ "$n" -eq 0 ]; then
    field listing
    grep -qx cut "$swf" && exit 1
    exit 0
fi

k=1
while [ "$k" -le "$n" ]; do
    eval "kind=\$kind$k; ids=\$ids$k; out=\$out$k"
    case "$kind" in
        -j | -p)
            for id in $(expand_ids "$ids"); do
                name=$(sed -n "s/^picture $id //p" "$swf")
                [ -n "$name" ] && printf 'picture %s\n' "$name" > "$(printf '%s' "$out" | sed "s/%d/$id/")"
            done
            ;;
        -m)
            seconds=$(field mp3)
            [ -n "$seconds" ] && printf 'sound %s\n' "$seconds" > "$out"
            ;;
    esac
    k=$((k + 1))
done
exit 0
