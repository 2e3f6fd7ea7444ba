#!/usr/bin/env bash
# install_test.sh BUILD_DIR SOURCE_DIR WITH_GUI
# Installs BUILD_DIR into a temporary prefix and checks what a user gets: the
# program folder and its links, the desktop entry, icons and metainfo, a batch
# run and the desktop program's template list, with every per-user file kept
# in temporary folders.
set -uo pipefail
build="$1"
source="$2"
with_gui="$3"

work="$(mktemp -d "${TMPDIR:-/tmp}/imprimo-install-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
program="$prefix/lib/imprimo"
app_id="org.imprimo.Imprimo"
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
note() { echo "note: $*"; }
have() { command -v "$1" >/dev/null 2>&1; }

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log"
  echo "FAIL: cmake --install"
  exit 1
fi

# The program folder and the links to it.
for exe in imprimo-batch $([[ "$with_gui" == 1 ]] && echo imprimo MarkDesigner); do
  [[ -x "$program/$exe" && ! -L "$program/$exe" ]] || fail "$program/$exe is not an executable file"
  link="$prefix/bin/$exe"
  if [[ ! -L "$link" ]]; then
    fail "$link is not a link"
  else
    target="$(readlink "$link")"
    [[ "$target" != /* ]] || fail "$link points to the absolute path $target"
    [[ "$(readlink -f "$link")" == "$(readlink -f "$program/$exe")" ]] ||
      fail "$link does not lead to $program/$exe"
  fi
done
[[ -f "$program/installed.txt" ]] || fail "the program folder is not marked as installed"

mapfile -t shipped < <(cd "$source/data/Watermarks" && ls -- *.wg | sed 's/\.wg$//' | LC_ALL=C sort)
[[ ${#shipped[@]} -gt 0 ]] || fail "no templates in $source/data/Watermarks"
for name in "${shipped[@]}"; do
  [[ -f "$program/Watermarks/$name.wg" ]] || fail "template $name.wg not installed"
done
for file in "$source"/data/Watermarks/*; do
  [[ -f "$program/Watermarks/$(basename "$file")" ]] || fail "$(basename "$file") not installed"
done
if [[ -d "$source/data/help" ]]; then
  [[ -d "$program/help" ]] || fail "the manual is not installed"
fi

# Desktop entry, icons and metainfo.
if [[ "$with_gui" == 1 ]]; then
  desktop="$prefix/share/applications/$app_id.desktop"
  metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
  if [[ ! -f "$desktop" ]]; then
    fail "no desktop entry"
  else
    grep -qx "Exec=$prefix/bin/imprimo %F" "$desktop" || fail "the desktop entry does not start $prefix/bin/imprimo"
    grep -q "^MimeType=.*image/jpeg;.*inode/directory;" "$desktop" || fail "the desktop entry lists no picture types"
    grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry names another icon"
    if have desktop-file-validate; then
      desktop-file-validate "$desktop" >"$work/desktop.log" 2>&1 || {
        cat "$work/desktop.log"
        fail "desktop-file-validate"
      }
      ! grep -q "error:" "$work/desktop.log" || fail "desktop-file-validate reports errors"
    else
      note "desktop-file-validate not installed: desktop entry not validated"
    fi
  fi
  if [[ ! -f "$metainfo" ]]; then
    fail "no metainfo"
  elif have appstreamcli; then
    appstreamcli validate --no-net "$metainfo" >"$work/metainfo.log" 2>&1 || {
      cat "$work/metainfo.log"
      fail "appstreamcli validate"
    }
  else
    note "appstreamcli not installed: metainfo not validated"
  fi

  icons="$prefix/share/icons/hicolor"
  for id in "$app_id" org.imprimo.MarkDesigner; do
    grep -q "<svg" "$icons/scalable/apps/$id.svg" 2>/dev/null || fail "no scalable icon $id"
    for size in 48 256; do
      png="$icons/${size}x${size}/apps/$id.png"
      if [[ ! -f "$png" ]]; then
        fail "no $size px icon $id"
      elif have identify; then
        got="$(identify -format '%m %wx%h' "$png" 2>/dev/null)"
        [[ "$got" == "PNG ${size}x${size}" ]] || fail "$png is '$got', not a ${size}x${size} PNG"
      fi
    done
  done
  cmp -s "$icons/48x48/apps/$app_id.png" "$icons/48x48/apps/org.imprimo.MarkDesigner.png" &&
    fail "the template editor has the same icon as imprimo"

  # The template editor's entry opens a template file given to it.
  designer_desktop="$prefix/share/applications/org.imprimo.MarkDesigner.desktop"
  if [[ ! -f "$designer_desktop" ]]; then
    fail "no desktop entry for MarkDesigner"
  else
    grep -qx "Exec=$prefix/bin/MarkDesigner %f" "$designer_desktop" ||
      fail "the MarkDesigner entry does not start $prefix/bin/MarkDesigner"
    grep -qx "Icon=org.imprimo.MarkDesigner" "$designer_desktop" ||
      fail "the MarkDesigner entry names another icon"
    if have desktop-file-validate; then
      desktop-file-validate "$designer_desktop" >"$work/designer-desktop.log" 2>&1 || {
        cat "$work/designer-desktop.log"
        fail "desktop-file-validate (MarkDesigner)"
      }
      ! grep -q "error:" "$work/designer-desktop.log" || fail "desktop-file-validate reports errors"
    fi
  fi
  grep -qx "MimeType=application/x-imprimo-template;" "$designer_desktop" ||
    fail "the MarkDesigner entry does not open templates"
  ls "$program"/samples/*.jpg >/dev/null 2>&1 || fail "no sample photos for the template editor"
fi

# Man pages and shell completions, written from the option descriptions.
programs=(imprimo-batch $([[ "$with_gui" == 1 ]] && echo imprimo MarkDesigner))
for exe in "${programs[@]}"; do
  page="$prefix/share/man/man1/$exe.1"
  if [[ ! -f "$page" ]]; then
    fail "no man page for $exe"
  elif have man; then
    rendered="$(MANWIDTH=80 man --warnings -l "$page" 2>"$work/man.err")" || fail "man -l $page"
    [[ ! -s "$work/man.err" ]] || fail "man warns about $exe.1: $(cat "$work/man.err")"
    grep -q -- "--help" <<<"$rendered" || fail "the man page of $exe lists no options"
  fi
  bash_file="$prefix/share/bash-completion/completions/$exe"
  [[ -f "$bash_file" ]] || fail "no bash completion for $exe"
  zsh_file="$(ls "$prefix"/share/zsh/*/_"$exe" 2>/dev/null | head -1)"
  [[ -n "$zsh_file" ]] || fail "no zsh completion for $exe"
  fish_file="$prefix/share/fish/vendor_completions.d/$exe.fish"
  [[ -f "$fish_file" ]] || fail "no fish completion for $exe"
done
if [[ -f "$prefix/share/bash-completion/completions/imprimo-batch" ]]; then
  got="$(bash -c 'source "$1" && complete -p imprimo-batch &&
    COMP_WORDS=(imprimo-batch --qual) COMP_CWORD=1 && _imprimo_batch &&
    printf "%s\n" "${COMPREPLY[@]}"' _ "$prefix/share/bash-completion/completions/imprimo-batch")"
  [[ "$got" == $'complete -F _imprimo_batch imprimo-batch\n--quality' ]] ||
    fail "bash completion of imprimo-batch: '$got'"
fi
if have zsh; then
  got="$(zsh -fc 'fpath=("$1" $fpath); autoload -Uz compinit && compinit -u -D &&
    print -r -- $_comps[imprimo-batch] && autoload -Uz +X _imprimo-batch && print loaded' _ \
    "$(dirname "$(ls "$prefix"/share/zsh/*/_imprimo-batch | head -1)")" 2>&1)"
  [[ "$got" == $'_imprimo-batch\nloaded' ]] || fail "zsh completion of imprimo-batch: '$got'"
else
  note "zsh not installed: zsh completion not loaded"
fi
if have fish; then
  got="$(fish -c 'source $argv[1]; complete -C"imprimo-batch --jpeg-s"' \
    "$prefix/share/fish/vendor_completions.d/imprimo-batch.fish" 2>&1)"
  [[ "$got" == --jpeg-subsampling* ]] || fail "fish completion of imprimo-batch: '$got'"
else
  note "fish not installed: fish completion not loaded"
fi

# The templates' file type, and the file managers' menu entries.
grep -qx "50:application/x-imprimo-template:\*.wg" "$prefix/share/mime/globs2" 2>/dev/null ||
  fail "the .wg file type is not in the installed MIME database"
servicemenu="$prefix/share/kio/servicemenus/$app_id.servicemenu.desktop"
if [[ ! -f "$servicemenu" ]]; then
  fail "no Dolphin service menu"
else
  grep -qx "Exec=\"$program/imprimo-watermark\" -- %F" "$servicemenu" ||
    fail "the service menu does not run $program/imprimo-watermark"
  if have desktop-file-validate; then
    # MimeType and Actions belong to the service menu format.
    desktop-file-validate "$servicemenu" 2>&1 |
      grep -v 'key "\(MimeType\|Actions\)" is present in group "Desktop Entry", but the type is "Service"' \
        >"$work/servicemenu.log"
    [[ ! -s "$work/servicemenu.log" ]] || fail "desktop-file-validate (service menu): $(cat "$work/servicemenu.log")"
  fi
fi
for manager in nautilus caja nemo; do
  extension="$prefix/share/$manager-python/extensions/imprimo_file_manager.py"
  grep -qF "WATERMARK = \"$program/imprimo-watermark\"" "$extension" 2>/dev/null ||
    fail "no $manager extension naming $program/imprimo-watermark"
done

# The installed programs run with their own per-user folders; the program
# folder must be left exactly as installed.
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
data="$XDG_CONFIG_HOME/imprimo"
before="$(cd "$program" && find . | LC_ALL=C sort)"

out="$work/out"
mkdir -p "$out"
if ! "$prefix/bin/imprimo-batch" --template "${shipped[0]}" --out "$out" "$source/data/samples" \
  >"$work/batch.log" 2>&1; then
  cat "$work/batch.log"
  fail "the installed imprimo-batch failed"
fi
for photo in "$source"/data/samples/*.jpg; do
  result="$out/$(basename "$photo")"
  if [[ ! -s "$result" ]]; then
    fail "no output for $(basename "$photo")"
  elif have identify; then
    identify "$result" >/dev/null 2>&1 || fail "$result does not decode"
  fi
done
[[ -f "$data/Log.dat" ]] || fail "the run log is not in $data"

# The file manager command hands every path over as it is, and reports the
# run as notifications; without a notification service it still runs.
odd="$work/odd names"
mkdir -p "$odd" "$work/odd-out"
sample="$(ls "$source"/data/samples/*.jpg | head -1)"
names=("sp ace.jpg" "it's \"q\".jpg" $'new\nline.jpg' "-dash.jpg" '$(touch x).jpg')
for name in "${names[@]}"; do cp "$sample" "$odd/$name"; done
cat >"$work/batch-wrapper" <<WRAP
#!/usr/bin/env bash
exec "$prefix/bin/imprimo-batch" --template "${shipped[0]}" --out "$work/odd-out" "\$@"
WRAP
chmod +x "$work/batch-wrapper"
declare -p names >"$work/names.sh"
cat >"$work/run-action" <<RUN
#!/usr/bin/env bash
source "$work/names.sh"
cd "$odd" && IMPRIMO_BATCH="$work/batch-wrapper" exec "$program/imprimo-watermark" -- "\${names[@]}"
RUN
chmod +x "$work/run-action"
if have dbus-run-session && have dbus-monitor && have gdbus; then
  # shellcheck disable=SC2016
  dbus-run-session -- bash -c '
    dbus-monitor --session "interface=org.freedesktop.Notifications" >"$1/notify.log" 2>&1 &
    monitor=$!
    sleep 0.5
    "$1/run-action"
    echo "status $?" >"$1/action.status"
    sleep 0.5
    kill $monitor' _ "$work" 2>/dev/null
  grep -qx "status 0" "$work/action.status" 2>/dev/null || fail "imprimo-watermark: $(cat "$work/action.status" 2>/dev/null)"
  grep -q 'string "Watermarking pictures"' "$work/notify.log" && grep -q 'string "[0-5] of 5' "$work/notify.log" ||
    fail "no progress notification (n of N) during the action's run"
  grep -q 'string "Watermarking finished"' "$work/notify.log" || fail "no notification at the end of the action's run"
  grep -q 'string "Processed 5 of 5 image(s): 5 succeeded, 0 failed."' "$work/notify.log" ||
    fail "the end notification does not give the counts"
else
  note "dbus-run-session, dbus-monitor or gdbus missing: the action's notifications not checked"
  "$work/run-action" >/dev/null 2>&1 || fail "imprimo-watermark failed"
fi
for name in "${names[@]}"; do
  [[ -s "$work/odd-out/$name" ]] || fail "imprimo-watermark wrote no output for '$name'"
done
[[ ! -e "$odd/x" && ! -e x ]] || fail "a file name ran as a command"

if [[ "$with_gui" == 1 ]]; then
  # A template of the user's own is listed beside the shipped ones.
  cp "$program/Watermarks/${shipped[0]}.wg" "$data/Watermarks/My Own.wg"
  if ! timeout 30 "$prefix/bin/imprimo" --list-templates >"$work/list.txt" 2>"$work/list.err"; then
    cat "$work/list.err"
    fail "the installed imprimo did not start"
  fi
  expected="$(printf '%s\n' "${shipped[@]}" "My Own" | LC_ALL=C sort)"
  listed="$(LC_ALL=C sort "$work/list.txt")"
  [[ "$listed" == "$expected" ]] || fail "imprimo lists '$listed', expected '$expected'"
fi

after="$(cd "$program" && find . | LC_ALL=C sort)"
[[ "$before" == "$after" ]] || fail "the programs wrote into the program folder: $(diff <(echo "$before") <(echo "$after") | grep '^>')"

if [[ $failures -gt 0 ]]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install test passed"
