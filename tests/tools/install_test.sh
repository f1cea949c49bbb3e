#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop gets: the two programs,
# the map pages, a menu entry that desktop-file-validate accepts, the icon in the hicolor theme,
# no path into the source tree in the programs' data, and the command lines of both programs
# without a display.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
export LC_ALL=C
build=${1:?usage: $0 BUILD_DIR SOURCE_DIR}
source_dir=${2:?usage: $0 BUILD_DIR SOURCE_DIR}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/install-test.XXXXXX") || exit 1
trap 'rm -rf -- "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || {
  cat "$tmp/install.log" >&2
  fail "cmake --install failed"
  exit 1
}

for f in bin/Corvana bin/pellister-cli \
         share/pellister/www/index.html \
         share/pellister/www/corvana_mapview/google_map_world.html \
         share/pellister/www/corvana_mapview/naver_map.html \
         share/pellister/www/corvana_mapview/lib/leaflet/leaflet.js \
         share/pellister/www/update/client_program/english/version.txt \
         share/applications/pellister.desktop \
         share/icons/hicolor/scalable/apps/pellister.svg; do
  [ -s "$prefix/$f" ] || fail "$f is not installed"
done
for n in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${n}x${n}/apps/pellister.png
  [ -s "$png" ] || { fail "no ${n}x${n} icon"; continue; }
  # Width and height of the PNG's header chunk.
  size=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')
  [ "$size" = "${n}x${n}" ] || fail "the ${n}x${n} icon is $size"
done
for x in bin/Corvana bin/pellister-cli; do
  [ -x "$prefix/$x" ] || fail "$x is not executable"
done

entry=$prefix/share/applications/pellister.desktop
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
else
  fail "desktop-file-validate is missing (desktop-file-utils)"
fi
grep -qx 'Icon=pellister' "$entry" || fail "the menu entry names no pellister icon"
grep -q '^Exec=Corvana' "$entry" || fail "the menu entry does not start Corvana"

# The programs find their files from where they lie: no source path among their constants.
for x in bin/Corvana bin/pellister-cli; do
  objcopy --dump-section .rodata="$tmp/rodata" "$prefix/$x" 2>/dev/null || { fail "cannot read $x"; continue; }
  if grep -qaF "$source_dir" "$tmp/rodata"; then
    fail "$x holds the source tree's path $source_dir"
  fi
done

# Command lines, without any display.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 30 "$@"; }
check() { # expected-status pattern command...
  local want=$1 pattern=$2
  shift 2
  local out rc
  out=$(run "$@" 2>&1)
  rc=$?
  [ "$rc" -eq "$want" ] || fail "$* exits with $rc, not $want: $out"
  case $out in $pattern) ;; *) fail "$* says: $out" ;; esac
}
check 0 '*Usage: Corvana*--folder*DIR*' "$prefix/bin/Corvana" --help
check 0 '*Usage: Corvana*' "$prefix/bin/Corvana" -h -platform offscreen
check 0 'Corvana (Pellister) [0-9]*.[0-9]*' "$prefix/bin/Corvana" --version
check 2 '*bogus*Corvana --help*' "$prefix/bin/Corvana" --bogus
check 2 '*one folder at most*' "$prefix/bin/Corvana" a b
check 2 '*two folders*' "$prefix/bin/Corvana" --folder a b
check 2 '*folder*' "$prefix/bin/Corvana" --folder
check 0 'pellister-cli (Pellister) [0-9]*.[0-9]*' "$prefix/bin/pellister-cli" --version
check 0 '*--version*' "$prefix/bin/pellister-cli" --help

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "install layout and command lines: ok"
