#!/usr/bin/env bash
# Builds the Debian package from a build directory, unpacks it into a
# scratch root and runs the editor from there in a pseudo-terminal: it must
# show a file, in view mode and in editing mode, and F1 must show the help
# file installed beside it; --version must name the package's version.
#   tests/package_test.sh BUILD_DIR SOURCE_DIR
# Exits 77 (skipped) where dpkg-deb or script is missing.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)

for tool in cpack dpkg-deb script gzip timeout; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing"
    exit 77
  fi
done

scratch=$(mktemp -d)
editor=
cleanup() {
  exec 3>&- 2>/dev/null || true
  if [ -n "$editor" ]; then
    kill "$editor" 2>/dev/null || true
    wait "$editor" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  if [ -f "$scratch/screen" ]; then
    echo "--- what the terminal got:"
    cat -v "$scratch/screen" | head -c 4000
    echo
  fi
  exit 1
}

# The package, left in BUILD_DIR/package.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$build/package" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack"; }
debs=("$build"/package/pym_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "no pym_*.deb in $build/package"
echo "package: $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pym ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = editors ] || fail "Section is '$(field Section)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
case "$depends" in
  *libc6*) ;;
  *) fail "Depends is '$depends', without libc6" ;;
esac
case "$depends" in
  *libstdc++*) fail "Depends names the C++ runtime: '$depends'" ;;
esac

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/pym usr/share/pym/pym.hlp usr/share/man/man1/pym.1.gz; do
  [ -f "$root/$f" ] || fail "the package has no /$f"
done
[ -x "$root/usr/bin/pym" ] || fail "/usr/bin/pym is not executable"
cmp -s "$root/usr/share/pym/pym.hlp" "$source/pym.hlp" || fail "the packaged help file differs from pym.hlp"
gzip -dc "$root/usr/share/man/man1/pym.1.gz" | cmp -s - "$source/pym.1" ||
  fail "the packaged manual page differs from pym.1"
needed=
if command -v readelf >/dev/null; then
  needed=$(readelf -d "$root/usr/bin/pym" | grep NEEDED || true)
fi
if grep -q 'libstdc++' <<<"$needed"; then
  fail "the program links the C++ runtime dynamically"
fi
# utf8proc is linked in, so a machine without it runs the program too.
if grep -q 'libutf8proc' <<<"$needed"; then
  case "$depends" in
    *libutf8proc*) ;;
    *) fail "the program needs libutf8proc, which Depends does not name: '$depends'" ;;
  esac
fi
if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$root/usr/share/man/man1/pym.1.gz" >"$scratch/man.txt" 2>"$scratch/man.err" ||
    fail "man -l: $(cat "$scratch/man.err")"
  grep -q "full-screen text editor" "$scratch/man.txt" || fail "man -l shows no NAME line"
  [ ! -s "$scratch/man.err" ] || fail "man -l: $(cat "$scratch/man.err")"
fi

# The program names the package's version and answers --help.
version=$("$root/usr/bin/pym" --version) || fail "pym --version ended with $?"
[ "$version" = "pym $(field Version)" ] || fail "pym --version says '$version', the package $(field Version)"
# (read whole first: grep -q would stop reading at the match, and the
# program's next write would fail the pipe)
usage=$("$root/usr/bin/pym" --help) || fail "pym --help ended with $?"
grep -q "^USAGE: pym" <<<"$usage" || fail "pym --help shows no usage line"
echo "the packaged program: $version"

# A working directory without a help file, so only the installed one can
# be found.
work="$scratch/work"
mkdir "$work"
line="the packaged editor shows this line"
printf '%s\nand a second one\n' "$line" >"$work/notes.txt"
help_title=$(sed -n '1s/  .*//p' "$root/usr/share/pym/pym.hlp")
[ -n "$help_title" ] || fail "the help file has no title"

# Runs the packaged editor with ARGS in a 132x25 pseudo-terminal, keys
# coming from fd 3, what it writes going to $scratch/screen.
start() {
  rm -f "$scratch/keys" "$scratch/screen"
  mkfifo "$scratch/keys"
  (cd "$work" && SHELL=/bin/sh TERM=xterm exec timeout 30 \
    script -qfec "stty rows 25 cols 132; exec '$root/usr/bin/pym' $*" "$scratch/screen" \
    <"$scratch/keys") >/dev/null 2>&1 &
  editor=$!
  exec 3>"$scratch/keys"
}

# Waits until TEXT has appeared at least N times on the terminal.
wait_for() {
  local text=$1 n=${2:-1}
  for _ in $(seq 400); do
    if [ -f "$scratch/screen" ] && [ "$(grep -aoF -- "$text" "$scratch/screen" | wc -l)" -ge "$n" ]; then
      return 0
    fi
    sleep 0.05
  done
  fail "'$text' did not appear ${n} time(s)"
}

# Waits for the editor to end with status 0.
wait_end() {
  exec 3>&-
  local status=0
  wait "$editor" || status=$?
  editor=
  [ "$status" -eq 0 ] || fail "the editor ended with status $status"
}

# View mode: the file, then Q ends the run at once.
start notes.txt r
wait_for "$line"
wait_for "Quit"
printf 'q' >&3
wait_end
echo "view mode: the file shown, Q ended the run"

# Editing mode: ESC, then F1 runs the help viewer on the installed help
# file; its Q goes back to the text, and Q E ends the run.
start notes.txt
wait_for "$line"
printf '\033' >&3
wait_for "Again Buffer"
printf '\033OP' >&3
wait_for "$help_title"
wait_for "reading '$root/usr/share/pym/pym.hlp'"
printf 'q' >&3
wait_for "$line" 2
printf 'q' >&3
wait_for "QUIT"
printf 'e' >&3
wait_end
echo "editing mode: F1 showed $root/usr/share/pym/pym.hlp, Q E ended the run"
echo "package test passed"
