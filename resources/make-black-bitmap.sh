#!/bin/sh
# Writes the end-frame bitmap: 128 x 128 pixels, 8 bits per pixel, a grey
# palette of 256 entries, every pixel index 0 (black).
#   usage: make-black-bitmap.sh OUT
set -eu
out=$1

# Little-endian 16- and 32-bit values as octal escapes for printf.
u16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $((($1 >> 8) & 255)))"; }
u32() { u16 $(($1 & 65535)); u16 $((($1 >> 16) & 65535)); }

side=128
palette_bytes=1024
pixel_offset=$((14 + 40 + palette_bytes))
pixel_bytes=$((side * side))

{
  printf 'BM'
  u32 $((pixel_offset + pixel_bytes)); u32 0; u32 $pixel_offset
  u32 40; u32 $side; u32 $side; u16 1; u16 8
  u32 0; u32 $pixel_bytes; u32 2835; u32 2835; u32 256; u32 0
  i=0
  while [ $i -lt 256 ]; do
    v=$(printf %03o $i)
    printf "\\$v\\$v\\$v\\000"
    i=$((i + 1))
  done
  head -c $pixel_bytes /dev/zero
} > "$out.part"
mv "$out.part" "$out"
