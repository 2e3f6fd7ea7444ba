# Shared by the batch benchmarks (sourced, not run): the sample photos, the
# benchmark template, and one timed run of a command.

# make_bench_photos FOLDER COUNT: COUNT twelve-megapixel sample JPEGs
# photo00.jpg ... made by make_samples ($samples), kept between runs.
make_bench_photos() {
  local folder="$1" n="$2" i f
  mkdir -p "$folder"
  for ((i = 0; i < n; i++)); do
    f="$folder/photo$(printf %02d "$i").jpg"
    [[ -s "$f" ]] || "$samples" --photo 4000 3000 "$((i + 11))" "$f"
  done
}

# make_container_photos FOLDER COUNT: COUNT three-megapixel sample JPEGs
# (2000 x 1500) and the same pictures as HEIC files (heif-enc, which takes
# their EXIF along), kept between runs: photoNN.jpg and heic/photoNN.heic.
make_container_photos() {
  local folder="$1" n="$2" i f
  mkdir -p "$folder/heic"
  for ((i = 0; i < n; i++)); do
    f="$folder/photo$(printf %02d "$i").jpg"
    [[ -s "$f" ]] || "$samples" --photo 2000 1500 "$((i + 31))" "$f"
    [[ -s "$folder/heic/$(basename "${f%.jpg}").heic" ]] ||
      heif-enc -q 80 -o "$folder/heic/$(basename "${f%.jpg}").heic" "$f" >/dev/null
  done
}

# write_bench_template PROGRAM_FOLDER: Watermarks/Bench.wg (a logo at the top
# left, a shadowed text at the bottom right) with its logo, and no
# Setup.ini or Log.dat (JPEG output at quality 90 by default).
write_bench_template() {
  local prog="$1"
  mkdir -p "$prog/Watermarks"
  cp "$root/data/Watermarks/imprimo-logo.png" "$prog/Watermarks/"
  printf '%s\r\n' \
    "[Logo]" "Style=1" "Picture=imprimo-logo.png" "BGColor=0xFF00FF" "isBGTransparent=1" \
    "Alpha=75" "PlaceStyle=0" "Position=1" "OffsetX=20" "OffsetY=20" \
    "[Copyright]" "Style=0" "Text=(c) 2026 Imprimo Photography" "FontName=DejaVu Sans" \
    "FontSize=40" "FontColor=0xFFFFFF" "Alpha=90" "PlaceStyle=0" "Position=9" \
    "OffsetX=-16" "OffsetY=-12" "isShadow=1" "ShadowColor=0" "ShadowAlpha=70" \
    "ShadowBlur=0" "ShadowOffsetX=2" "ShadowOffsetY=2" >"$prog/Watermarks/Bench.wg"
  rm -f "$prog/Setup.ini" "$prog/Log.dat"
}

# time_once NAME COMMAND...: runs the command under /usr/bin/time -v (its
# output in $work/stdout-NAME.txt), exits on failure, and sets wall (seconds)
# and peak_mb (maximum resident set size).
time_once() {
  local name="$1"; shift
  local log="$work/time-$name.txt"
  /usr/bin/time -v "$@" >"$work/stdout-$name.txt" 2>"$log" || {
    echo "$name failed; see $log" >&2; tail -5 "$log" >&2; exit 1; }
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, p, ":"); s = 0;
         for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s}' "$log")
  peak_mb=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$log")
}

# is_less A B: true when the number A is below B.
is_less() { awk -v a="$1" -v b="$2" 'BEGIN {exit !(a < b)}'; }

# run_pinned NAME EXT COMMAND...: runs the command pinned to one core, best
# of $reps runs (the machine may be busy) with its output folder $work/out
# emptied each time; prints images/s ($count images), the peak RSS and the
# number of *.EXT outputs, and records "NAME seconds MB" in results.
run_pinned() {
  local name="$1" ext="$2"; shift 2
  local best="" rss=0 rep outputs ips
  for ((rep = 0; rep < reps; rep++)); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    time_once "$name" taskset -c 0 "$@"
    (( peak_mb > rss )) && rss=$peak_mb
    if [[ -z "$best" ]] || is_less "$wall" "$best"; then best=$wall; fi
  done
  outputs=$(find "$work/out" -type f -name "*.$ext" | wc -l)
  ips=$(awk -v n="$count" -v t="$best" 'BEGIN {printf "%.3f", n / t}')
  printf '%-28s %8.2f s %8s img/s %6s MB peak  (%d outputs)\n' "$name" "$best" "$ips" "$rss" "$outputs"
  results+=("$name $best $rss")
}

# ratio NAME OTHER: how many times longer NAME took than OTHER.
ratio() {
  local a b
  a=$(printf '%s\n' "${results[@]}" | awk -v n="$1" '$1 == n {print $2}')
  b=$(printf '%s\n' "${results[@]}" | awk -v n="$2" '$1 == n {print $2}')
  awk -v a="$a" -v b="$b" -v x="$1" -v y="$2" 'BEGIN {printf "  %s / %s = %.2fx\n", x, y, a / b}'
}
