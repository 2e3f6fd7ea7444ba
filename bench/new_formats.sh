#!/usr/bin/env bash
# Newer formats benchmark, every job pinned to one core:
#  1. COUNT twelve-megapixel HEIC photos (made with heif-enc from the sample
#     photos) to JPEG quality 90 with the logo and text watermark of
#     bench/batch.sh: imprimo-batch, ImageMagick, and vips (logo only: vips
#     has no one-command text shadow; it still decodes, composites and encodes).
#  2. COUNT twelve-megapixel JPEGs to WebP at quality 80, no watermark:
#     imprimo-batch (empty template), ImageMagick, vips, and cwebp reading the
#     JPEGs itself as the decode + encode floor.
#
#   bench/new_formats.sh [BUILD_DIR] [COUNT]
#
# Needs heif-enc, cwebp, convert, vips (libvips-tools; for this
# benchmark only), /usr/bin/time and taskset. Prints seconds, images per
# second, peak memory and the ratios.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
count="${2:-8}"
work="${IMPRIMO_BENCH_DIR:-/tmp/imprimo-bench-formats}"
source "$root/bench/bench_common.sh"
batch="$build/imprimo-batch"
samples="$build/tools/make_samples"
for tool in "$batch" "$samples"; do
  [[ -x "$tool" ]] || { echo "missing $tool: build imprimo-batch and make_samples first" >&2; exit 2; }
done
for tool in heif-enc cwebp convert vips /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

mkdir -p "$work/jpg" "$work/heic" "$work/prog/Watermarks" "$work/plain/Watermarks"
for ((i = 0; i < count; i++)); do
  n=$(printf %02d "$i")
  [[ -s "$work/jpg/photo$n.jpg" ]] || "$samples" --photo 4000 3000 "$((i + 11))" "$work/jpg/photo$n.jpg"
  [[ -s "$work/heic/photo$n.heic" ]] ||
    heif-enc -q 80 "$work/jpg/photo$n.jpg" -o "$work/heic/photo$n.heic" >/dev/null
done
write_bench_template "$work/prog"
: >"$work/plain/Watermarks/Empty.wg"
rm -f "$work"/plain/Setup.ini "$work"/plain/Log.dat

logo="$work/prog/Watermarks/imprimo-logo.png"
vipslogo="$work/logo-rgba.png"
convert "$logo" -transparent "#FF00FF" -channel A -evaluate multiply 0.75 +channel "$vipslogo"
text="(c) 2026 Imprimo Photography"
results=()
reps="${IMPRIMO_BENCH_REPS:-2}"

run() { run_pinned "$@"; }  # run NAME EXT COMMAND...

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 VIPS_CONCURRENCY=1
echo "== $count HEIC photos of 4000 x 3000 to JPEG quality 90 with a watermark, one core =="
run imprimo-heic jpg "$batch" --program-folder "$work/prog" --template Bench --quality 90 \
  --format jpg --no-keep-exif --out "$work/out" "$work/heic"
run imagemagick-heic jpg bash -c '
  for f in "$1"/heic/*.heic; do
    convert "$f" \( "$2" -transparent "#FF00FF" -channel A -evaluate multiply 0.75 +channel \) \
      -gravity northwest -geometry +20+20 -composite \
      -font DejaVu-Sans -pointsize 40 -gravity southeast \
      -fill "rgba(0,0,0,0.7)" -annotate +14+10 "$3" \
      -fill "rgba(255,255,255,0.9)" -annotate +16+12 "$3" \
      -quality 90 "$1/out/$(basename "$f" .heic).jpg"
  done' _ "$work" "$logo" "$text"
run vips-heic jpg bash -c '
  for f in "$1"/heic/*.heic; do
    vips composite2 "$f" "$2" "$1/out/$(basename "$f" .heic).jpg[Q=90]" over --x 20 --y 20
  done' _ "$work" "$vipslogo"
ratio imprimo-heic imagemagick-heic
ratio imprimo-heic vips-heic

echo "== $count JPEG photos of 4000 x 3000 to WebP quality 80, one core =="
run floor-webp webp bash -c '
  for f in "$1"/jpg/*.jpg; do cwebp -quiet -q 80 "$f" -o "$1/out/$(basename "$f" .jpg).webp"; done' _ "$work"
run imprimo-webp webp "$batch" --program-folder "$work/plain" --template Empty --quality 80 \
  --format webp --no-keep-exif --out "$work/out" "$work/jpg"
run imagemagick-webp webp bash -c '
  for f in "$1"/jpg/*.jpg; do convert "$f" -quality 80 "$1/out/$(basename "$f" .jpg).webp"; done' _ "$work"
run vips-webp webp bash -c '
  for f in "$1"/jpg/*.jpg; do vips copy "$f" "$1/out/$(basename "$f" .jpg).webp[Q=80]"; done' _ "$work"
ratio imprimo-webp floor-webp
ratio imprimo-webp imagemagick-webp
ratio imprimo-webp vips-webp
