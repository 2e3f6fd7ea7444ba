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
batch="$build/imprimo-batch"
samples="$build/tools/make_samples"
for tool in "$batch" "$samples"; do
  [[ -x "$tool" ]] || { echo "missing $tool: build imprimo-batch and make_samples first" >&2; exit 2; }
done
for tool in djpeg cjpeg convert pamscale /usr/bin/time taskset; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

mkdir -p "$work/in" "$work/prog/Watermarks"
for ((i = 0; i < count; i++)); do
  f="$work/in/photo$(printf %02d "$i").jpg"
  [[ -s "$f" ]] || "$samples" --photo 4000 3000 "$((i + 11))" "$f"
done
cp "$root/data/Watermarks/imprimo-logo.png" "$work/prog/Watermarks/"
printf '%s\r\n' \
  "[Logo]" "Style=1" "Picture=imprimo-logo.png" "BGColor=0xFF00FF" "isBGTransparent=1" \
  "Alpha=75" "PlaceStyle=0" "Position=1" "OffsetX=20" "OffsetY=20" \
  "[Copyright]" "Style=0" "Text=(c) 2026 Imprimo Photography" "FontName=DejaVu Sans" \
  "FontSize=40" "FontColor=0xFFFFFF" "Alpha=90" "PlaceStyle=0" "Position=9" \
  "OffsetX=-16" "OffsetY=-12" "isShadow=1" "ShadowColor=0" "ShadowAlpha=70" \
  "ShadowBlur=0" "ShadowOffsetX=2" "ShadowOffsetY=2" >"$work/prog/Watermarks/Bench.wg"
# Setup.ini is left to its defaults: JPEG output at quality 90.
rm -f "$work/prog/Setup.ini" "$work/prog/Log.dat"

logo="$work/prog/Watermarks/imprimo-logo.png"
text="(c) 2026 Imprimo Photography"
results=()

# run NAME COMMAND...: times the command (best of $reps runs, the machine may
# be busy), prints and records images/s and the peak RSS.
reps="${IMPRIMO_BENCH_REPS:-3}"
run() {
  local name="$1"; shift
  local log="$work/time-$name.txt" best="" rss=0 wall r m
  for ((rep = 0; rep < reps; rep++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    /usr/bin/time -v taskset -c 0 "$@" >"$work/stdout-$name.txt" 2>"$log" || {
      echo "$name failed; see $log" >&2; tail -5 "$log" >&2; exit 1; }
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
           for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$log")
    m=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$log")
    (( m > rss )) && rss=$m
    if [[ -z "$best" ]] || awk -v a="$wall" -v b="$best" 'BEGIN {exit !(a < b)}'; then best=$wall; fi
  done
  local outputs ips
  outputs=$(find "$work/out" -type f -name '*.jpg' | wc -l)
  ips=$(awk -v n="$count" -v t="$best" 'BEGIN {printf "%.3f", n / t}')
  printf '%-28s %8.2f s %8s img/s %6s MB peak  (%d outputs)\n' "$name" "$best" "$ips" "$rss" "$outputs"
  results+=("$name $best $rss")
}

ratio() {  # ratio NAME FLOOR
  local a b
  a=$(printf '%s\n' "${results[@]}" | awk -v n="$1" '$1 == n {print $2}')
  b=$(printf '%s\n' "${results[@]}" | awk -v n="$2" '$1 == n {print $2}')
  awk -v a="$a" -v b="$b" -v x="$1" -v y="$2" 'BEGIN {printf "  %s / %s = %.2fx\n", x, y, a / b}'
}

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
