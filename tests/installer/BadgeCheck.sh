#!/bin/bash
# tests/installer/BadgeCheck.sh ICON BASE OVERLAY
#
# Reads back the pixels of ICON, the icon file Pellow's CreateIconM wrote
# for the protected browser's shortcut: two images, 32 x 32 then 16 x 16
# (the system's icon sizes), each showing BASE's picture of that size where
# OVERLAY's picture is fully transparent and OVERLAY's where it is opaque.
# Pixels of soft edges (either picture partly transparent) are not judged.
# One line per image, "SIZE BADGE BROWSER WRONG" (pixels of the badge, of
# the browser, and those of either that are not as they should be); exit 1
# when the file is not such a pair of images or a picture is missing.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 ICON BASE OVERLAY" >&2; exit 2; }
icon=$1 base=$2 overlay=$3

# "x y r g b a" per pixel of image INDEX of FILE (alpha 255 without alpha).
pixels() {
    convert "$1[$2]" -alpha on -depth 8 txt:- | sed -n 's/^\([0-9]*\),\([0-9]*\): *(\([^)]*\)).*/\1 \2 \3/p' | tr ',' ' '
}
# The index of FILE's first image of SIZE x SIZE at 8 bits a channel with alpha.
image_of_size() {
    identify -format '%p %w %h %[channels]\n' "$1" | awk -v s="$2" '$2 == s && $3 == s && $4 ~ /a/ {print $1; exit}'
}

sizes=$(identify -format '%wx%h ' "$icon" 2>/dev/null)
if [ "$sizes" != "32x32 16x16 " ]; then
    echo "the icon file holds '$sizes', not a 32 x 32 and a 16 x 16 image"
    exit 1
fi
for index in 0 1; do
    size=$((32 >> index))
    b=$(image_of_size "$base" $size) o=$(image_of_size "$overlay" $size)
    [ -n "$b" ] && [ -n "$o" ] || { echo "no $size x $size picture with alpha in $base or $overlay"; exit 1; }
    paste -d' ' <(pixels "$icon" $index) <(pixels "$base" "$b") <(pixels "$overlay" "$o") | awk -v size=$size '
        { # composed x y r g b a, base x y r g b a, overlay x y r g b a
          if ($18 == 255) { badge++; if ($3 != $15 || $4 != $16 || $5 != $17 || $6 != 255) bad++ }
          else if ($18 == 0 && $12 == 255) { browser++; if ($3 != $9 || $4 != $10 || $5 != $11 || $6 != 255) bad++ }
        }
        END { printf "%d %d %d %d\n", size, badge, browser, bad }'
done
