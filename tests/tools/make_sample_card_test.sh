#!/usr/bin/env bash
# Runs tools/make-sample-card into a temporary folder and checks the card it writes: clip
# names, containers, codecs, sizes and exact frame counts (ffprobe -count_frames), the
# recording kinds that the names give, the telemetry files (line format, CR LF, continuity
# from clip to clip, a GPS track whose speed and course agree with its positions, one hard
# braking), the configuration file, the error paths, and that two runs give the same bytes.
#
# Usage: make_sample_card_test.sh PATH/TO/make-sample-card
set -uo pipefail
export LC_ALL=C

tool=${1:?usage: $0 PATH/TO/make-sample-card}
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/sample-card-test.XXXXXX") || exit 1
trap 'rm -rf -- "$tmp"' EXIT
card=$tmp/card

# -- The clips the card must hold, in recording order --------------------------------------
#   path | video codec | audio codec | size | frames | kind from the data file name
#   (kind "-": the clip has no data file)
expected=(
  "record/2014_10_17/20141017_081240N.avi|mjpeg|pcm_s16le|640x480|600|Ordinary"
  "record/2014_10_17/20141017_081300N.mp4|h264|aac|1280x720|600|Ordinary"
  "record/2014_10_17/C20141017_081320.mp4|h264|aac|640x480|450|Ordinary"
  "event/20141017_081335E.avi|mjpeg|pcm_s16le|640x480|450|Event"
  "manual/20141017_081350F.mp4|h264|aac|1280x720|360|User"
  "record/2014_10_17/voice/20141017_081402A.avi|mjpeg|pcm_s16le|640x480|300|Audio"
  "record/2014_10_17/20141017_081412N.mp4|h264|aac|1280x720|450|-"
  "Parking/20141017_081427S.avi|mjpeg||640x480|300|Parking"
  "Parking/motion/20141017_081437M.mp4|h264|aac|1280x720|300|P-Motion"
  "Parking/audio/20141017_081447A.avi|mjpeg|pcm_s16le|640x480|300|P-Audio"
)

# -- Command line ---------------------------------------------------------------------------
out=$("$tool" --help 2>&1)
rc=$?
[ $rc -eq 0 ] || fail "--help exits with $rc"
case $out in *Usage:*OUTDIR*) ;; *) fail "--help prints no usage: $out" ;; esac

"$tool" >/dev/null 2>&1
rc=$?
[ $rc -eq 2 ] || fail "no argument: exit status $rc, expected 2"

: >"$tmp/plain-file"
err=$("$tool" "$tmp/plain-file/card" 2>&1 >/dev/null)
rc=$?
[ $rc -eq 1 ] || fail "output folder below a file: exit status $rc, expected 1"
case $err in *"cannot create"*) ;; *) fail "output folder below a file: unclear message: $err" ;; esac

# -- The card -------------------------------------------------------------------------------
if ! "$tool" "$card" >"$tmp/run.log" 2>&1; then
  cat "$tmp/run.log" >&2
  fail "make-sample-card $card failed"
  exit 1
fi

# A second run into the same, now filled folder refuses and leaves the card alone.
(cd "$card" && find . -type f -exec cksum {} + | sort) >"$tmp/sums.before"
err=$("$tool" "$card" 2>&1 >/dev/null)
rc=$?
[ $rc -eq 1 ] || fail "run into a non-empty folder: exit status $rc, expected 1"
case $err in *"not empty"*) ;; *) fail "run into a non-empty folder: unclear message: $err" ;; esac
(cd "$card" && find . -type f -exec cksum {} + | sort) >"$tmp/sums.after"
cmp -s "$tmp/sums.before" "$tmp/sums.after" || fail "a refused run changed the card"

# Every run writes the same bytes.
if "$tool" "$tmp/again" >/dev/null 2>"$tmp/again.log"; then
  diff -r "$card" "$tmp/again" >"$tmp/again.diff" 2>&1 || fail "two runs differ: $(head -5 "$tmp/again.diff")"
else
  fail "second run failed: $(cat "$tmp/again.log")"
fi

# -- Clips ----------------------------------------------------------------------------------
(cd "$card" && find . -type f \( -iname '*.avi' -o -iname '*.mp4' \) | sed 's|^\./||' | sort) >"$tmp/found"
for row in "${expected[@]}"; do echo "${row%%|*}"; done | sort >"$tmp/wanted"
cmp -s "$tmp/found" "$tmp/wanted" || fail "clips on the card differ from the expected list:
$(diff "$tmp/wanted" "$tmp/found")"
[ "$(wc -l <"$tmp/found")" -ge 8 ] || fail "fewer than 8 clips"

probe() { # file stream -> key=value lines
  ffprobe -v error -count_frames -select_streams "$2" \
    -show_entries stream=codec_name,width,height,r_frame_rate,avg_frame_rate,nb_read_frames \
    -of default=noprint_wrappers=1 "$1"
}
: >"$tmp/manifest"
containers=
sizes=
for row in "${expected[@]}"; do
  IFS='|' read -r rel vcodec acodec size frames kind <<<"$row"
  f=$card/$rel
  [ -f "$f" ] || continue
  v=$(probe "$f" v:0)
  a=$(probe "$f" a:0)
  got_v=$(sed -n 's/^codec_name=//p' <<<"$v")
  got_a=$(sed -n 's/^codec_name=//p' <<<"$a")
  got_size=$(sed -n 's/^width=//p' <<<"$v")x$(sed -n 's/^height=//p' <<<"$v")
  got_frames=$(sed -n 's/^nb_read_frames=//p' <<<"$v")
  [ "$got_v" = "$vcodec" ] || fail "$rel: video codec '$got_v', expected $vcodec"
  [ "$got_a" = "$acodec" ] || fail "$rel: audio codec '$got_a', expected '${acodec:-none}'"
  [ "$got_size" = "$size" ] || fail "$rel: picture $got_size, expected $size"
  grep -qx 'r_frame_rate=30/1' <<<"$v" || fail "$rel: frame rate is not 30/1: $v"
  grep -qx 'avg_frame_rate=30/1' <<<"$v" || fail "$rel: average frame rate is not 30/1: $v"
  [ "$got_frames" = "$frames" ] || fail "$rel: $got_frames frames, expected $frames"
  if [ -n "$got_frames" ] && { [ "$got_frames" -lt 300 ] || [ "$got_frames" -gt 1800 ]; }; then
    fail "$rel: $got_frames frames is not 10 to 60 seconds"
  fi
  case ${rel##*.}:$got_v:$got_a in
    avi:mjpeg:pcm_s16le | avi:mjpeg: | mp4:h264:aac) ;;
    *) fail "$rel: unexpected codecs $got_v/$got_a for its container" ;;
  esac
  containers="$containers ${rel##*.}"
  sizes="$sizes $got_size"

  dir=$(dirname "$rel")
  base=$(basename "$rel")
  dat=$dir/data/${base%.*}.dat
  if [ "$kind" = - ]; then
    [ ! -e "$card/$dat" ] || fail "$rel: has a data file, expected none"
    echo "$rel|$frames|-|-" >>"$tmp/manifest"
  elif [ -f "$card/$dat" ]; then
    echo "$rel|$frames|$dat|$kind" >>"$tmp/manifest"
  else
    fail "$rel: data file $dat is missing"
  fi
done
for want in avi mp4; do
  case $containers in *" $want"*) ;; *) fail "no $want clip" ;; esac
done
for want in 640x480 1280x720; do
  case $sizes in *" $want"*) ;; *) fail "no clip of $want" ;; esac
done
n_dat=$(cd "$card" && find . -type f -iname '*.dat' | wc -l)
[ "$n_dat" -eq $((${#expected[@]} - 1)) ] || fail "$n_dat data files, expected $((${#expected[@]} - 1))"

# -- Folders --------------------------------------------------------------------------------
[ -d "$card/Parking" ] || fail "no folder named Parking"
[ -n "$(find "$card/Parking" -mindepth 2 -type f \( -name '*.mp4' -o -name '*.avi' \))" ] ||
  fail "no clip in a subfolder of Parking"
[ -n "$(find "$card" -mindepth 4 -type f \( -name '*.avi' -o -name '*.mp4' \))" ] || fail "no clip three folders deep"
[ -d "$card/update" ] || fail "no update folder"
[ -z "$(ls -A "$card/update" 2>/dev/null)" ] || fail "update folder is not empty"

# -- Kinds from the data file names (the card's own paths, without the temporary folder) -----
awk -F '|' '
function kind(p,   n, c1, c16, t) {
  n = p; sub(/.*\//, "", n)
  c1 = toupper(substr(n, 1, 1)); c16 = toupper(substr(n, 16, 1))
  t = "Unknown"
  if (c1 == "C" || c16 == "N") t = "Ordinary"
  else if (index(toupper(p), "PARKING") > 0) {
    if (c16 == "S") t = "Parking"; else if (c16 == "A") t = "P-Audio"; else if (c16 == "M") t = "P-Motion"
  } else if (c1 == "E" || c16 == "E") t = "Event"
  else if (c16 == "A") t = "Audio"
  if (c16 == "F") t = "User"
  return t
}
$3 != "-" {
  k = kind($3); seen[k] = 1
  if (k != $4) printf "FAIL: %s: the name gives kind %s, expected %s\n", $3, k, $4
}
$3 == "-" { nodata++ }
END {
  split("Ordinary Event User Audio Parking P-Motion P-Audio", all, " ")
  for (i = 1; i <= 7; i++) if (!(all[i] in seen)) printf "FAIL: no recording of kind %s\n", all[i]
  if (nodata != 1) printf "FAIL: %d clips without a data file, expected 1\n", nodata
}' "$tmp/manifest" >"$tmp/kinds.out"
if [ -s "$tmp/kinds.out" ]; then
  cat "$tmp/kinds.out" >&2
  failures=$((failures + $(wc -l <"$tmp/kinds.out")))
fi

# -- Data files: bytes and line format ------------------------------------------------------
num='-?[0-9]+\.[0-9]+'
line_re="^(\\\$SYNCTIME,[0-9]{6}\\.[0-9]{3},[0-9]{6},"
line_re+="|\\\$ACCELERATOR,[0-9]{6}\\.[0-9]{3},[0-9]{6},$num,$num,$num,"
line_re+="|\\\$GPRMC,[0-9]{6}\\.[0-9]{3},A,[0-9]{4}\\.[0-9]{4},[NS],[0-9]{5}\\.[0-9]{4},[EW],[0-9]+\\.[0-9]+,[0-9]+\\.[0-9]+,[0-9]{6},,)\$"
while IFS='|' read -r rel frames dat kind; do
  [ "$dat" != - ] || continue
  f=$card/$dat
  head -c 10 "$f" | grep -q '^[$]SYNCTIME,' || fail "$dat does not begin with \$SYNCTIME"
  lines=$(wc -l <"$f")
  crs=$(tr -cd '\r' <"$f" | wc -c)
  crlf=$(grep -c $'\r$' "$f")
  [ "$lines" -gt 1 ] || fail "$dat has no data lines"
  if [ "$crs" -ne "$lines" ] || [ "$crlf" -ne "$lines" ]; then
    fail "$dat: not every line ends in CR LF ($lines lines, $crlf CR LF, $crs CR)"
  fi
  [ "$(tail -c 2 "$f" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "$dat does not end in CR LF"
  ! grep -q '[^ -~'$'\r'']' "$f" || fail "$dat holds bytes other than printable ASCII and CR LF"
  bad=$(tr -d '\r' <"$f" | grep -Evc "$line_re")
  [ "$bad" -eq 0 ] || fail "$dat: $bad lines of unexpected format, first: $(tr -d '\r' <"$f" | grep -Ev "$line_re" | head -1)"
  [ "$(grep -c '^[$]SYNCTIME,' "$f")" -eq 1 ] || fail "$dat: more than one \$SYNCTIME line"
done <"$tmp/manifest"

# -- Telemetry: one drive, clip after clip --------------------------------------------------
# Reads the data files in recording order and checks: each sync time is the end of the
# previous clip (by its frame count); 10 samples and 1 fix per second, all inside the clip, in
# time order; the dates agree; z near -1 g; one hard braking (an axis at -0.5 g or below for
# 0.3 to 1.5 s, in the Event clip only); fixes near Seoul whose speed and course agree with the
# distance and bearing from the fix one second before; a drive of some hundreds of metres.
(cd "$card" && awk -F '|' '
function ms(t) { return ((substr(t, 1, 2) * 60 + substr(t, 3, 2)) * 60 + substr(t, 5, 2)) * 1000 + substr(t, 8, 3) }
function rad(d) { return d * 3.14159265358979 / 180 }
function deg(raw, wd) { return substr(raw, 1, wd) + substr(raw, wd + 1) / 60 }
function dist(la1, lo1, la2, lo2,   a) {
  a = sin(rad(la2 - la1) / 2) ^ 2 + cos(rad(la1)) * cos(rad(la2)) * sin(rad(lo2 - lo1) / 2) ^ 2
  return 2 * 6371000 * atan2(sqrt(a), sqrt(1 - a))
}
function bearing(la1, lo1, la2, lo2,   y, x, b) {
  y = sin(rad(lo2 - lo1)) * cos(rad(la2))
  x = cos(rad(la1)) * sin(rad(la2)) - sin(rad(la1)) * cos(rad(la2)) * cos(rad(lo2 - lo1))
  b = atan2(y, x) * 180 / 3.14159265358979
  return b < 0 ? b + 360 : b
}
function bad(msg) { printf "FAIL: %s\n", msg; nbad++ }
{
  rel = $1; frames = $2 + 0; dat = $3; kind = $4
  start = next_start; next_start = start + frames * 100 / 3
  if (dat == "-") next
  naccel = 0; nfix = 0; last = -1; brake = 0
  while ((getline line < dat) > 0) {
    sub(/\r$/, "", line)
    n = split(line, f, ",")
    t = ms(f[2])
    if (f[1] == "$SYNCTIME") {
      sync = t; date = f[3]
      if (NR > 1 && sync != start) bad(dat ": sync time " f[2] " is not the end of the previous clip")
      start = sync; next_start = start + frames * 100 / 3
      continue
    }
    if (t < sync || t >= next_start) bad(dat ": " f[1] " at " f[2] " lies outside the clip")
    if (t < last) bad(dat ": time goes back at " f[2])
    last = t
    if (f[1] == "$ACCELERATOR") {
      if (naccel > 0 && t - prev_accel != 100) bad(dat ": samples not 100 ms apart at " f[2])
      prev_accel = t; naccel++
      if (f[3] != date) bad(dat ": sample date " f[3] " differs from the sync date " date)
      if (f[6] + 0 < -1.1 || f[6] + 0 > -0.9) bad(dat ": z " f[6] " is not near -1 g at " f[2])
      zsum += f[6]; zn++
      if (f[4] + 0 <= -0.5 || f[5] + 0 <= -0.5) {
        if (kind != "Event") bad(dat ": hard acceleration outside the Event clip at " f[2])
        if (brake_end != "" && t - brake_end > 100) bad(dat ": more than one hard braking")
        if (brake_start == "") brake_start = t
        brake_end = t; brakes++
      } else if (kind != "Event" && (f[4] + 0 > 0.35 || f[4] + 0 < -0.35 || f[5] + 0 > 0.35 || f[5] + 0 < -0.35))
        bad(dat ": implausible sample " line)
    } else {
      nfix++
      if (substr(f[10], 5, 2) substr(f[10], 3, 2) substr(f[10], 1, 2) != date) bad(dat ": fix date " f[10] " differs from " date)
      if (t % 1000 != 0) bad(dat ": fix not on a whole second at " f[2])
      la = deg(f[4], 2); lo = deg(f[6], 3)
      if (f[5] == "S") la = -la
      if (f[7] == "W") lo = -lo
      if (la < 37.45 || la > 37.65 || lo < 126.85 || lo > 127.10) bad(dat ": fix " la "," lo " is not in central Seoul")
      v = f[8] * 1852 / 3600
      if (have_fix && t - fix_t == 1000) {
        d = dist(fix_la, fix_lo, la, lo)
        travelled += d
        if ((d - v > 0 ? d - v : v - d) > 0.4 + 0.03 * v)
          bad(dat ": at " f[2] " speed " f[8] " kn but " d " m in the last second")
        if (d > 8) {
          c = bearing(fix_la, fix_lo, la, lo) - f[9]
          if (c > 180) c -= 360
          if (c < -180) c += 360
          if (c > 5 || c < -5) bad(dat ": at " f[2] " course " f[9] " but bearing " bearing(fix_la, fix_lo, la, lo))
        }
        if (v > top) top = v
        pairs++
      }
      have_fix = 1; fix_t = t; fix_la = la; fix_lo = lo
    }
  }
  close(dat)
  secs = frames / 30
  if (naccel != secs * 10) bad(dat ": " naccel " samples, expected " secs * 10)
  if (nfix != secs) bad(dat ": " nfix " fixes, expected " secs)
}
END {
  if (zn == 0 || zsum / zn < -1.02 || zsum / zn > -0.98) bad("mean z " (zn ? zsum / zn : "n/a") " is not -1 g")
  if (brakes == 0) bad("no hard braking")
  else if (brake_end - brake_start < 300 || brake_end - brake_start > 1500)
    bad("the hard braking lasts " brake_end - brake_start " ms")
  if (pairs < 50) bad("only " pairs " pairs of fixes one second apart")
  if (travelled < 500) bad("the car travels only " travelled " m")
  if (top < 8) bad("the car never goes faster than " top " m/s")
}' "$tmp/manifest") >"$tmp/telemetry.out"
if [ -s "$tmp/telemetry.out" ]; then
  head -20 "$tmp/telemetry.out" >&2
  failures=$((failures + $(wc -l <"$tmp/telemetry.out")))
fi

# -- Configuration file ---------------------------------------------------------------------
conf=$card/configuration/qx310_blackbox.conf
if [ -f "$conf" ]; then
  [ "$(wc -l <"$conf")" -eq 78 ] || fail "configuration file has $(wc -l <"$conf") lines, expected 78"
  [ "$(grep -c $'\r$' "$conf")" -eq 78 ] || fail "configuration file lines do not all end in CR LF"
  [ "$(sed -n 1p "$conf" | tr -d '\r')" = "$(printf '%081d' 0 | tr 0 '#')" ] || fail "configuration file line 1 is not 81 '#'"
  for key in CITY_INDEX TIMEZONE_INFO RECORD_MODE WITH_AUDIO OVERLAY_INFO G_SENSITIVITY DAYLIGHT_SAVING_TIME; do
    grep -Eq "^$key=-?[0-9]+(\\.[0-9]{6})?"$'\r$' "$conf" || fail "configuration file has no value for $key"
  done
  grep -q '^TIMEZONE_INFO=[0-9]*\.[0-9]\{6\}'$'\r$' "$conf" || fail "TIMEZONE_INFO is not written with six decimals"
  [ "$(sed -n 78p "$conf" | tr -d '\r')" = wpa_passphrase=53718264 ] || fail "configuration file does not end with the pass phrase line"
else
  fail "no configuration/qx310_blackbox.conf"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "sample card OK: $(wc -l <"$tmp/found") clips, $n_dat data files"
