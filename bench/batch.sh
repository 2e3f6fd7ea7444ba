#!/usr/bin/env bash
# Batch benchmark: 24 twelve-megapixel JPEGs watermarked with a text layer
# (with shadow) and a logo layer, saved at JPEG quality 90, by imprimo-batch;
# side by side with the decode + encode floor (djpeg | cjpeg, no watermark)
# and ImageMagick doing the same watermark job. Then the same with the
# pictures restricted to 1024 x 768. Every job runs pinned to one core.
#
#   bench/batch.sh [BUILD_DIR] [COUNT]
#
# Reports images per second, the ratio to the floor and the peak memory
# (maximum resident set size from /usr/bin/time -v).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
count="${2:-24}"
work="${IMPRIMO_BENCH_DIR:-/tmp/imprimo-bench-batch}"
source "$root/bench/bench_common.sh"
batch="$build/imprimo-batch"
samples="$build/tools/make_samples"
for tool in "$batch" "$samples"; do
  [[ -x "$tool" ]] || { echo "missing $tool: build imprimo-batch and make_samples first" >&2; exit 2; }
done
for tool in djpeg cjpeg convert pamscale avifenc heif-enc heif-convert /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

make_bench_photos "$work/in" "$count"
write_bench_template "$work/prog"

logo="$work/prog/Watermarks/imprimo-logo.png"
text="(c) 2026 Imprimo Photography"
results=()

reps="${IMPRIMO_BENCH_REPS:-3}"
run() { run_pinned "$1" jpg "${@:2}"; }  # run NAME COMMAND...

export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
echo "== $count pictures of 4000 x 3000, JPEG quality 90, one core =="
run floor bash -c 'for f in "$1"/in/*.jpg; do djpeg "$f" | cjpeg -quality 90 >"$1/out/$(basename "$f")"; done' _ "$work"
run imprimo "$batch" --program-folder "$work/prog" --template Bench --quality 90 --format jpg \
  --no-keep-exif --out "$work/out" "$work/in"
run imagemagick bash -c '
  for f in "$1"/in/*.jpg; do
    convert "$f" \( "$2" -transparent "#FF00FF" -channel A -evaluate multiply 0.75 +channel \) \
      -gravity northwest -geometry +20+20 -composite \
      -font DejaVu-Sans -pointsize 40 -gravity southeast \
      -fill "rgba(0,0,0,0.7)" -annotate +14+10 "$3" \
      -fill "rgba(255,255,255,0.9)" -annotate +16+12 "$3" \
      -quality 90 "$1/out/$(basename "$f")"
  done' _ "$work" "$logo" "$text"
ratio imprimo floor
ratio imagemagick floor
ratio imagemagick imprimo

echo "== the same, restricted to 1024 x 768 (keep aspect) =="
# floor-resize scales with netpbm between the two; "floor" (no scaling) stays
# the stricter bound.
run floor-resize bash -c 'for f in "$1"/in/*.jpg; do djpeg "$f" | pamscale -xyfit 1024 768 | cjpeg -quality 90 >"$1/out/$(basename "$f")"; done' _ "$work"
run imprimo-resize "$batch" --program-folder "$work/prog" --template Bench --quality 90 --format jpg \
  --no-keep-exif --resize 1024x768 --resize-mode 3 --out "$work/out" "$work/in"
run imagemagick-resize bash -c '
  for f in "$1"/in/*.jpg; do
    convert "$f" -resize 1024x768 \( "$2" -transparent "#FF00FF" -channel A -evaluate multiply 0.75 +channel \) \
      -gravity northwest -geometry +20+20 -composite \
      -font DejaVu-Sans -pointsize 40 -gravity southeast \
      -fill "rgba(0,0,0,0.7)" -annotate +14+10 "$3" \
      -fill "rgba(255,255,255,0.9)" -annotate +16+12 "$3" \
      -quality 90 "$1/out/$(basename "$f")"
  done' _ "$work" "$logo" "$text"
ratio imprimo-resize floor-resize
ratio imprimo-resize floor
ratio imagemagick-resize floor-resize
ratio imagemagick-resize floor
ratio imagemagick-resize imprimo-resize

# AVIF outputs and HEIC sources carry their metadata: the cases where the
# metadata used to cost a second encode or extra parses of the source.
count="${IMPRIMO_BENCH_CONTAINER_COUNT:-6}"
make_container_photos "$work/in3" "$count"
echo "== $count pictures of 2000 x 1500 to AVIF (quality 80, speed 6), metadata kept, one core =="
run_avif() { run_pinned "$1" avif "${@:2}"; }
run_avif floor-avif bash -c 'for f in "$1"/in3/*.jpg; do avifenc --jobs 1 --speed 6 "$f" "$1/out/$(basename "${f%.jpg}").avif" >/dev/null; done' _ "$work"
run_avif imprimo-avif "$batch" --program-folder "$work/prog" --template Bench --quality 80 --format avif \
  --avif-speed 6 --keep-exif --auto-rotate --jobs 1 --out "$work/out" "$work/in3"/*.jpg
ratio imprimo-avif floor-avif

echo "== $count HEIC pictures of 2000 x 1500 to JPEG quality 90, metadata kept, one core =="
run floor-heic bash -c 'for f in "$1"/in3/heic/*.heic; do heif-convert -q 90 "$f" "$1/out/$(basename "${f%.heic}").jpg" >/dev/null; done' _ "$work"
run imprimo-heic "$batch" --program-folder "$work/prog" --template Bench --quality 90 --format jpg \
  --keep-exif --auto-rotate --jobs 1 --out "$work/out" "$work/in3/heic"
ratio imprimo-heic floor-heic
