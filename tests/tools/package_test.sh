#!/usr/bin/env bash
# Builds the Debian package from the build tree and checks what a Debian user gets: its fields and
# the libraries dpkg-shlibdeps found, its file list, the AppStream file, the menu entry and the
# manual pages through their validators, lintian without errors, and the installed programs run
# from a throw-away root: their versions, and a report that prints only the program's own lines.
#
# Usage: package_test.sh BUILD_DIR
set -uo pipefail
export LC_ALL=C.UTF-8
build=${1:?usage: $0 BUILD_DIR}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/package-test.XXXXXX") || exit 1
trap 'rm -rf -- "$tmp"' EXIT
if ! timeout 900 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  fail "cpack -G DEB failed"
  exit 1
fi
debs=("$tmp"/out/pellister_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -s "${debs[0]}" ] || { fail "no single pellister_*.deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in the build tree"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pellister ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version), not $version-1"
[ "$(field Section)" = video ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# Found by dpkg-shlibdeps from the programs: Qt 6, the browser engine, FFmpeg, OpenSSL.
for lib in libqt6core6 libqt6widgets6 libqt6webenginecore6 libqt6webenginewidgets6 libqt6multimedia6 \
           libavcodec libavformat libswscale libssl3 libc6; do
  case ", $depends" in *", $lib"*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
case "$depends" in *libqt6webenginecore6-bin*) ;; *) fail "Depends lacks the browser's helper process" ;; esac

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' >"$tmp/files"
for f in /usr/bin/Corvana /usr/bin/pellister-cli \
         /usr/share/applications/pellister.desktop \
         /usr/share/metainfo/com.pellister.Pellister.metainfo.xml \
         /usr/share/man/man1/Corvana.1.gz /usr/share/man/man1/pellister-cli.1.gz \
         /usr/share/doc/pellister/copyright /usr/share/doc/pellister/changelog.Debian.gz \
         /usr/share/icons/hicolor/scalable/apps/pellister.svg \
         /usr/share/pellister/www/corvana_mapview/lib/leaflet/leaflet.js; do
  grep -qxF "$f" "$tmp/files" || fail "$f is not in the package"
done
# Only /usr, and none of the recorder's tools or the build's test programs.
grep -v -e '^/$' -e '^/usr/' -e '^/usr$' "$tmp/files" | grep . && fail "files outside /usr"
grep -E 'regpoke|libregbus|_tests?$|bench_' "$tmp/files" && fail "recorder tools or test programs in the package"

root=$tmp/root
dpkg -x "$deb" "$root" || { fail "dpkg -x failed"; exit 1; }
appstreamcli validate --no-net "$root/usr/share/metainfo/com.pellister.Pellister.metainfo.xml" \
  >"$tmp/appstream.log" 2>&1 || { cat "$tmp/appstream.log" >&2; fail "appstreamcli validate rejects the metainfo"; }
grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/com.pellister.Pellister.metainfo.xml" ||
  fail "the metainfo's release is not $version"
desktop-file-validate "$root/usr/share/applications/pellister.desktop" || fail "desktop-file-validate rejects the menu entry"
for page in Corvana pellister-cli; do
  gz=$root/usr/share/man/man1/$page.1.gz
  # groff's warnings (-ww) on the standard error, through man as a user reads it.
  warnings=$(MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page warns: $warnings"
  lexgrog "$gz" >/dev/null || fail "lexgrog finds no NAME section in $page.1"
  zcat "$gz" | grep -q "Pellister $version" || fail "$page.1 does not name version $version"
done
# Every command of the program is in its manual page.
for cmd in $(env -u DISPLAY "$root/usr/bin/pellister-cli" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
  zcat "$root/usr/share/man/man1/pellister-cli.1.gz" | grep -Eq "^\.BI \"?$cmd[ \"]" || fail "pellister-cli.1 lacks the command $cmd"
done

if command -v lintian >/dev/null 2>&1; then
  timeout 600 lintian --fail-on error --allow-root "$deb" >"$tmp/lintian.log" 2>&1 ||
    { cat "$tmp/lintian.log" >&2; fail "lintian finds errors"; }
else
  fail "lintian is missing"
fi

# The installed programs, without a display.
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u QT_LOGGING_RULES timeout 120 "$@"; }
out=$(run "$root/usr/bin/Corvana" --version 2>&1) || fail "Corvana --version: $out"
[ "$out" = "Corvana (Pellister) $version" ] || fail "Corvana --version says: $out"
out=$(run "$root/usr/bin/pellister-cli" --version 2>&1) || fail "pellister-cli --version: $out"
[ "$out" = "pellister-cli (Pellister) $version" ] || fail "pellister-cli --version says: $out"

# A report draws the map with the browser engine: its start-up lines stay back unless asked for.
clip=$tmp/clip.mp4
ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10 -t 1 -pix_fmt yuv420p "$clip" || fail "ffmpeg"
export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config
run "$root/usr/bin/pellister-cli" report "$clip" --frame 3 "$tmp/quiet.pdf" >"$tmp/quiet.out" 2>"$tmp/quiet.err" ||
  fail "report failed: $(cat "$tmp/quiet.err")"
grep -qx "file=$tmp/quiet.pdf" "$tmp/quiet.out" || fail "report says: $(cat "$tmp/quiet.out")"
# The one line of its own it may print: the map's browser without its sandbox as root.
if grep -v '^Pellister: ' "$tmp/quiet.err" | grep .; then
  fail "report prints lines not its own (above)"
fi
run "$root/usr/bin/pellister-cli" report "$clip" --frame 3 "$tmp/verbose.pdf" --verbose >/dev/null 2>"$tmp/verbose.err" ||
  fail "report --verbose failed"
grep -q 'qt.webenginecontext' "$tmp/verbose.err" || fail "report --verbose holds the browser engine's lines back"

[ "$failures" -eq 0 ] && echo "package: all checks passed ($(basename "$deb"))"
exit $((failures > 0))
