#!/usr/bin/env bash
# Parallel batch benchmark: the batch of bench/batch.sh (COUNT twelve-megapixel
# JPEGs, text with shadow and a 75 % logo, JPEG quality 90), not pinned to a
# core, each repetition running the djpeg | cjpeg floor and every imprimo job
# back to back so that they meet the same machine load. Best of REPS.
#
#   bench/parallel.sh [BUILD_DIR] [COUNT]      (IMPRIMO_BENCH_REPS, default 3)
#
# Goals: --jobs <cores> at most 0.7x the floor's time, --jobs 1 at most 1.2x,
# --jobs <cores> with --resize 1024x768 at most 0.6x, and the peak resident
# memory of the two-worker run under 250 MB. The outputs of every job count
# are compared byte for byte with those of --jobs 1.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
count="${2:-24}"
reps="${IMPRIMO_BENCH_REPS:-3}"
cores="$(nproc)"
work="${IMPRIMO_BENCH_DIR:-/tmp/imprimo-bench-batch}"
source "$root/bench/bench_common.sh"
batch="$build/imprimo-batch"
samples="$build/tools/make_samples"
for tool in "$batch" "$samples"; do
  [[ -x "$tool" ]] || { echo "missing $tool: build imprimo-batch and make_samples first" >&2; exit 2; }
done
for tool in djpeg cjpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 2; }
done

make_bench_photos "$work/in" "$count"
write_bench_template "$work/prog"

declare -A best rss
# once NAME OUTDIR COMMAND...: one timed run; keeps the best wall time and
# the largest peak RSS of NAME.
once() {
  local name="$1" out="$2"; shift 2
  rm -rf "$out" && mkdir -p "$out"
  time_once "$name" "$@"
  (( peak_mb > ${rss[$name]:-0} )) && rss[$name]=$peak_mb
  if [[ -z "${best[$name]:-}" ]] || is_less "$wall" "${best[$name]}"; then
    best[$name]=$wall
  fi
}

common=(--program-folder "$work/prog" --template Bench --quality 90 --format jpg --no-keep-exif --quiet)
echo "== $count pictures of 4000 x 3000, JPEG quality 90, $cores cores, not pinned, best of $reps =="
for ((rep = 0; rep < reps; rep++)); do
  once floor "$work/out-floor" bash -c \
    'for f in "$1"/in/*.jpg; do djpeg "$f" | cjpeg -quality 90 >"$2/$(basename "$f")"; done' _ "$work" "$work/out-floor"
  once jobs1 "$work/out-jobs1" "$batch" "${common[@]}" --jobs 1 --out "$work/out-jobs1" "$work/in"
  once jobs2 "$work/out-jobs2" "$batch" "${common[@]}" --jobs 2 --out "$work/out-jobs2" "$work/in"
  once jobsN "$work/out-jobsN" "$batch" "${common[@]}" --jobs "$cores" --out "$work/out-jobsN" "$work/in"
  once resizeN "$work/out-resizeN" "$batch" "${common[@]}" --jobs "$cores" --resize 1024x768 \
    --resize-mode 3 --out "$work/out-resizeN" "$work/in"
done

for name in floor jobs1 jobs2 jobsN resizeN; do
  printf '%-10s %8.2f s %8s MB peak\n' "$name" "${best[$name]}" "${rss[$name]}"
done
ratio() {  # ratio NAME GOAL
  awk -v a="${best[$1]}" -v b="${best[floor]}" -v n="$1" -v g="$2" \
    'BEGIN {r = a / b; printf "  %-8s / floor = %.2fx (goal <= %.2fx) %s\n", n, r, g, (r <= g ? "met" : "NOT met")}'
}
ratio jobsN 0.7
ratio jobs1 1.2
ratio resizeN 0.6
awk -v m="${rss[jobs2]}" 'BEGIN {printf "  peak RSS with two workers %d MB (goal < 250 MB) %s\n", m, (m < 250 ? "met" : "NOT met")}'

# The outputs do not depend on the number of workers.
same=1
for f in "$work/out-jobs1"/*.jpg; do
  for d in out-jobs2 out-jobsN; do cmp -s "$f" "$work/$d/$(basename "$f")" || same=0; done
done
((same)) && echo "  outputs of --jobs 1, 2 and $cores identical" || echo "  OUTPUTS DIFFER between job counts"

# Mixed sizes (IMPRIMO_BENCH_HUGE=1): two pictures of 2^28 pixels among 40
# small ones with two workers. The memory budget lets only one huge picture
# be under way at a time, so the peak stays that of one huge picture (about
# 0.8 GB for 16384 x 16384) instead of two.
if [[ "${IMPRIMO_BENCH_HUGE:-0}" == 1 ]]; then
  mkdir -p "$work/huge"
  [[ -s "$work/huge/huge1.jpg" ]] || "$samples" --photo 16384 16384 3 "$work/huge/huge1.jpg"
  [[ -s "$work/huge/huge2.jpg" ]] || cp "$work/huge/huge1.jpg" "$work/huge/huge2.jpg"
  for ((i = 10; i < 50; i++)); do
    [[ -s "$work/huge/small$i.jpg" ]] || "$samples" --photo 800 600 "$i" "$work/huge/small$i.jpg"
  done
  rm -rf "$work/out-huge" && mkdir -p "$work/out-huge"
  time_once huge "$batch" "${common[@]}" --jobs 2 --out "$work/out-huge" "$work/huge"
  mixed_wall=$wall mixed_peak=$peak_mb
  rm -rf "$work/out-huge1" && mkdir -p "$work/out-huge1"
  time_once huge1 "$batch" "${common[@]}" --jobs 1 --out "$work/out-huge1" "$work/huge/huge1.jpg"
  echo "  two huge and 40 small pictures, two workers: $mixed_wall s, peak $mixed_peak MB;" \
    "one huge picture alone: peak $peak_mb MB"
fi
