#!/usr/bin/env bash
# The include check must fail on each planted include that breaks the order of the viewer's
# folders or layers, and name the file and the rule; the tree as it is passes.
#   layer_check_test.sh CHECKER SOURCE_DIR
set -euo pipefail
checker="$1"
source="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$checker" "$source" >/dev/null || { echo "FAIL: the tree as it is does not pass"; bash "$checker" "$source"; exit 1; }

failures=0
# plant FILE INCLUDE EXPECTED: FILE gets INCLUDE after its first include; the check must fail
# and print EXPECTED.
plant() {
  local file="$1" include="$2" expected="$3"
  rm -rf "$work/PC_viewer"
  cp -r "$source/PC_viewer" "$work/PC_viewer"
  local first
  first=$(grep -n '^#include' "$work/PC_viewer/$file" | head -1 | cut -d: -f1)
  sed -i "${first}a #include \"$include\"" "$work/PC_viewer/$file"
  local out status=0
  out=$(bash "$checker" "$work" 2>&1) || status=$?
  if [ "$status" -eq 0 ] || ! grep -qF -- "$expected" <<<"$out"; then
    echo "FAIL: $include in $file: status $status, expected '$expected' in:"
    echo "$out"
    failures=$((failures + 1))
  fi
}

plant media/mediagraph.h export/videoexport.h "media/mediagraph.h:"
plant media/mediagraph.h export/videoexport.h "media comes before export"
plant base/units.cpp catalogue/recordinfo.h "base comes before catalogue"
plant catalogue/corvanadoc.cpp playback/playbacksession.h "catalogue comes before playback"
plant telemetry/graphgeometry.cpp playback/mediaplayview.h "the core includes a view"
plant playback/playbacksession.cpp skin/prompt.h "the core includes the skin"
plant telemetry/mapview.cpp playback/mediaplayview.h "a view of telemetry includes a view of playback"
plant trips/tripwindow.cpp shell/mainframe.h "a view of trips includes the shell"
plant skin/global.cpp playback/mediaplayview.h "the skin includes more than itself and the core"
plant playback/stepclock.cpp ../export/videoexport.h "a path out of its folder"
plant playback/snapshot.cpp export/exportrange.h "folders include each other round a circle"

if [ "$failures" -ne 0 ]; then
  exit 1
fi
echo "layer check: every planted include was found"
