#!/bin/sh
# Checks the Debian package in BUILD_FOLDER/package/: the computed library
# dependencies and ffmpeg, the files at their Debian places, programs without
# debugging sections, and that the unpacked programs run. scripts/test makes
# the package before the tests; it is made here (with scripts/package) only
# when it is missing or older than the programs it holds.
#   usage: debian-package.sh SCRIPTS_PACKAGE BUILD_FOLDER
set -eu
package_script=$1
build=$2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "debian-package: $*" >&2; exit 1; }

current=yes
set -- "$build"/package/tarnwick_*.deb
if [ "$#" -ne 1 ] || [ ! -f "$1" ]; then
  current=no
else
  for program in tarnwick tarnwick-batch tarnwick-swfextract; do
    [ "$build/bin/$program" -nt "$1" ] && current=no
  done
fi
if [ "$current" = yes ]; then
  echo "debian-package: checking $1 as made by scripts/package"
else
  sh "$package_script" "$build"
fi
set -- "$build"/package/tarnwick_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "expected one tarnwick_*.deb in $build/package, found: $*"
deb=$1

depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
# Named by hand, then found by dpkg-shlibdeps in the programs.
for needed in ffmpeg qt6-qpa-plugins libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 \
              libpng16-16 libturbojpeg0 zlib1g liblzma5; do
  echo "$depends" | tr ',' '\n' | grep -q "^ *$needed\( \|$\)" || fail "Depends lacks $needed"
done

dpkg-deb --contents "$deb" | awk '{print $NF}' >"$work/contents"
for file in ./usr/bin/tarnwick ./usr/bin/tarnwick-batch ./usr/bin/tarnwick-swfextract \
            ./usr/share/applications/tarnwick.desktop ./usr/share/metainfo/org.example.Tarnwick.metainfo.xml \
            ./usr/share/icons/hicolor/scalable/apps/tarnwick.svg ./usr/share/icons/hicolor/48x48/apps/tarnwick.png \
            ./usr/share/man/man1/tarnwick-batch.1.gz ./usr/share/man/man1/tarnwick-swfextract.1.gz \
            ./usr/share/tarnwick/Samples/rainbow-800x450.swf; do
  grep -qx "$file" "$work/contents" || fail "the package lacks $file"
done
! grep -q '^\./usr/local/' "$work/contents" || fail "the package installs under /usr/local"

dpkg-deb -x "$deb" "$work/root"
for program in tarnwick tarnwick-batch tarnwick-swfextract; do
  file "$work/root/usr/bin/$program" | grep -q ', stripped' || fail "$program keeps its debugging sections"
done
# The stripped extractor still reads a sample from the package's own data folder.
"$work/root/usr/bin/tarnwick-swfextract" "$work/root/usr/share/tarnwick/Samples/rainbow-800x450.swf" \
  | grep -q '^ \[-j\] 5 JPEGs' || fail "the packaged tarnwick-swfextract does not list a sample"
echo "debian-package: $deb checked"
