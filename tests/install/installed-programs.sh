#!/bin/sh
# Installs the build into a temporary prefix, as `cmake --install` does for
# users, and runs the installed programs there: tarnwick-batch on a movie
# made here and on the samples it finds through the installed data folder
# (there is no Samples folder beside an installed program), and
# tarnwick-swfextract on the same movie.
#   usage: installed-programs.sh BUILD_FOLDER CMAKE
set -eu
build=$1
cmake=$2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "installed-programs: $*" >&2; exit 1; }
prefix="$work/prefix"

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
  cat "$work/install.log" >&2
  fail "cmake --install failed"
}

for program in tarnwick tarnwick-batch tarnwick-swfextract; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed"
done
[ ! -e "$prefix/bin/Samples" ] || fail "Samples lies beside the installed programs"
for file in share/applications/tarnwick.desktop share/metainfo/org.example.Tarnwick.metainfo.xml \
            share/icons/hicolor/scalable/apps/tarnwick.svg share/man/man1/tarnwick.1.gz \
            share/man/man1/tarnwick-batch.1.gz share/man/man1/tarnwick-swfextract.1.gz; do
  [ -s "$prefix/$file" ] || fail "$file is not installed"
done
for size in 16 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/tarnwick.png"
  file "$icon" | grep -q "PNG image data, $size x $size, 8-bit/color RGBA" || fail "no $size px icon: $(file "$icon")"
done
( cd "$build/bin/Samples" && ls ) >"$work/built-samples"
( cd "$prefix/share/tarnwick/Samples" && ls ) >"$work/installed-samples"
[ -s "$work/built-samples" ] && cmp -s "$work/built-samples" "$work/installed-samples" ||
  fail "the installed samples differ from build/bin/Samples"

# A movie of 3 pictures and sound, made here.
mkdir "$work/movie"
ffmpeg -hide_banner -loglevel error -f lavfi -i testsrc=size=160x120:rate=1 -f lavfi -i sine=frequency=440:duration=2 \
  -t 3 -c:v mjpeg -c:a libmp3lame -ar 44100 -f swf "$work/movie/clip.swf"

"$prefix/bin/tarnwick-swfextract" "$work/movie/clip.swf" >"$work/listing"
grep -q '^ \[-j\] 3 JPEGs: ID(s) ' "$work/listing" || { cat "$work/listing" >&2; fail "tarnwick-swfextract listed no pictures"; }

# Videos go into folders that exist. Both runs start elsewhere, so nothing is found through the current folder.
mkdir "$work/clip" "$work/samples"
cd "$work/movie"
"$prefix/bin/tarnwick-batch" --fast 2 --out "$work/clip" clip.swf >"$work/clip.log" 2>&1 || {
  cat "$work/clip.log" >&2
  fail "tarnwick-batch did not convert clip.swf"
}
probe() {
  ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 "$1"
}
[ "$(probe "$work/clip/video.mp4")" = "h264,160,120" ] || fail "video.mp4 is not a 160x120 H.264 video"

cd "$work"
"$prefix/bin/tarnwick-batch" --fast 4 --each --out "$work/samples" --samples >"$work/samples.log" 2>&1 || {
  cat "$work/samples.log" >&2
  fail "tarnwick-batch --samples did not convert the installed samples"
}
for sample in $(cat "$work/installed-samples"); do
  video="$work/samples/${sample%.swf}.mp4"
  [ -s "$video" ] || fail "no video from the installed sample $sample"
  probe "$video" | grep -q '^h264,' || fail "${sample%.swf}.mp4 is no H.264 video"
done
echo "installed-programs: the programs installed in $prefix work"
