#!/usr/bin/env bash
# Makes the animated GIFs of the GIF composition tests with ImageMagick, and ImageMagick's own
# composition of every frame (-coalesce) as raw RGBA, into the folder given:
#   anim.gif     6 frames on a 20x16 screen: positions, a "restore to background" disposal under
#                later frames, a frame with transparent pixels; anim_N.rgba its coalesced frames
#   ten.gif      10 small frames at moving positions; ten_N.rgba
#   single.gif   one 5x4 frame at (2, 2) of a 10x10 screen
#   bw.gif       2 frames of a black-and-white palette, the second all black; bw_N.rgba
# ImageMagick missing leaves the folder empty (the tests then skip).
set -u
out=${1:?usage: make_gif_frames.sh OUTDIR}
rm -rf "$out" && mkdir -p "$out" || exit 1
cd "$out" || exit 1
T="timeout 60"
IM=/usr/bin/convert-im6.q16
[ -x "$IM" ] || IM=convert
command -v "$IM" >/dev/null || exit 0

$T "$IM" -dispose none -page 20x16+0+0 -size 20x16 xc:'#102030' \
  -dispose background -page +3+2 -size 8x6 xc:'#c04020' \
  -dispose none -page +10+8 -size 6x5 xc:'#20a040' \
  -dispose none -page +1+1 \( -size 7x7 xc:none -fill '#4060ff' -draw 'rectangle 1,1,4,4' \) \
  -dispose background -page +12+3 -size 4x4 xc:'#f0e010' \
  -dispose none -page +0+0 -size 3x3 xc:'#808080' \
  anim.gif || exit 1
$T "$IM" anim.gif -coalesce -depth 8 RGBA:anim_%d.rgba || exit 1

args=(-dispose none -page 12x10+0+0 -size 12x10 xc:'#000080')
for i in 1 2 3 4 5 6 7 8 9; do
  args+=(-page +$i+$((i % 5)) -size 3x3 "xc:rgb($((i * 25)),$((250 - i * 20)),60)")
done
$T "$IM" "${args[@]}" ten.gif || exit 1
$T "$IM" ten.gif -coalesce -depth 8 RGBA:ten_%d.rgba || exit 1

$T "$IM" -size 5x4 xc:'#804020' -page 10x10+2+2 single.gif || exit 1

# Two frames of a black-and-white palette, the second all black.
$T "$IM" -dispose none -page 8x4+0+0 \( -size 8x4 xc:black -fill white -draw 'rectangle 4,0,7,3' \) \
  -page +0+0 -size 8x4 xc:black -colors 2 bw.gif || exit 1
$T "$IM" bw.gif -coalesce -depth 8 RGBA:bw_%d.rgba || exit 1
exit 0
