#!/usr/bin/env bash
# kovirw-cli.exe under wine against eight native simulated terminals, each reached as COM n
# through a lowercase dosdevices/comN link and listed in the registry's SERIALCOMM key, where
# --auto finds it (COM8 is listed only after the program started). All eight get the nine
# sample images, checked byte for byte; the terminal on COM6 is unplugged in the middle of
# the Code image and only its channel may fail. Two images have Korean file names: one given in UTF-8, one in code
# page 949 as the ANSI profile functions of Korean Windows write it. The Korean summary
# lines must reach stdout intact. Then a short station over COM2 and COM3 (see below), whose
# status page, status.json and metrics are read over HTTP while it runs.
#   cli_e2e.sh TERMSIM KOVIRW-CLI.EXE DEMO_IMAGES.PY WINE_RUN.SH      (WINEPREFIX set)
set -euo pipefail
termsim=$1 cli=$2 images_py=$3 wine_run=$4
: "${WINEPREFIX:?}"

work=$(mktemp -d "${TMPDIR:-/tmp}/kovirw-wine-e2e-XXXXXX")
. "$(dirname "$0")/terminals.sh"
station_pid=
# The ports as the system lists them; "=-" removes a value again.
serialcomm() {
  local reg=$work/serialcomm.reg n
  { printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\r\n'
    for n in "${@:2}"; do
      if [ "$1" = add ]; then printf '"kovirw-e2e%d"="COM%d"\r\n' "$n" "$n"
      else printf '"kovirw-e2e%d"=-\r\n' "$n"; fi
    done; } >"$reg"
  "$wine_run" run regedit /S "Z:${reg//\//\\}"
}
cleanup() {
  if [ -n "$station_pid" ]; then kill -INT "$station_pid" 2>/dev/null || true; wait "$station_pid" || true; fi
  serialcomm remove 1 2 3 4 5 6 7 8 || true
  terminals_stop "$work"
  if [ -n "${KOVIRW_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
mkdir -p "$work/images" "$work/run"

python3 "$images_py" make "$work/images" "$work/run/default.kvr" >/dev/null
ln "$work/images/asic.cod" "$work/images/아식코드.cod"
ln "$work/images/asic.bot" "$work/images/아식부트.bot"
python3 - "$work" <<'PY'
import sys
w = sys.argv[1]
path = w + "/run/default.kvr"
text = open(path, encoding="utf-8").read()
text = text.replace(w + "/images/asic.cod", w + "/images/아식코드.cod")
data = text.replace("\n", "\r\n").encode("utf-8")
data = data.replace((w + "/images/asic.bot").encode(), (w + "/images/아식부트.bot").encode("cp949"))
open(path, "wb").write(data)
PY
printf '[KOVIR]\r\nAUTODETECT=1\r\nDELAY=2\r\nBAUDRATE=1382400\r\n' >"$work/run/kovirw.ini"
profile_before=$(sha256sum <"$work/run/default.kvr")

terminals_start "$termsim" "$work" --fault 5:unplug:400000
serialcomm add 1 2 3 4 5 6 7

start=$(date +%s.%N)
status=0
# Korean locale: the ANSI code page is 949, as on a Korean Windows station.
(cd "$work/run" && KOVIRW_WINE_KOREAN=1 "$wine_run" run "$cli" --no-progress --auto 8 \
   --report report.json >"$work/out.txt" 2>"$work/err.txt") &
cli_pid=$!
sleep 1
serialcomm add 8
wait "$cli_pid" || status=$?
end=$(date +%s.%N)
tr -d '\r' <"$work/out.txt" >"$work/out.lf"

failed=0
check() { if ! eval "$2"; then echo "FAILED: $1"; failed=1; fi; }
python3 "$images_py" verify "$work/images" "$work/flash" "$work/run/report.json" 8 >"$work/verify.txt" || true
check "exit status 1 for one failed channel (was $status)" '[ "$status" -eq 1 ]'
check "seven terminals hold all nine images byte for byte" \
  '[ "$(grep -c -- "-> OK$" "$work/verify.txt")" -eq 7 ]'
check "--auto took COM1 to COM8 in order" \
  '[ "$(grep "^Detect COM" "$work/out.lf" | tr "\n" " ")" = "$(printf "Detect COM%d Port " 1 2 3 4 5 6 7 8)" ]'
check "COM6's device went away (report: unplugged)" 'grep -q "^COM6: channel 5 unplugged" "$work/verify.txt"'
check "the unplugged channel ended with an error" 'grep -q "^CH5: ERR: " "$work/out.lf"'
check "seven Korean summary lines" \
  '[ "$(grep -cE "^CH[0-7]: 9개 파일, 소요시간 : [0-9]+분 [0-9]+초$" "$work/out.lf")" -eq 7 ]'
check "the log line of channel 0" \
  'grep -qE "^>>>>>>>>>>  총 9개 파일, 전체 소요시간 : [0-9]+분 [0-9]+초  <<<<<<<<<<$" "$work/out.lf"'
check "the run summary" 'grep -q "^7 of 8 channels done in " "$work/out.lf"'
check "the profile is left as it was" '[ "$(sha256sum <"$work/run/default.kvr")" = "$profile_before" ]'

# The station, over COM2 and COM3 only: both are flashed as present at its start; COM3
# leaves the system's list and comes back, and is flashed again on its channel; Ctrl+C ends it.
printf '[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=%s\r\nFONTADDRESS=1A00000\r\n' \
  "$work/images/phone.fnt" >"$work/run/station.kvr"
# The log ends in a line cut by a crash: the station trims it before its first line.
printf '{"kept":1}\n{"start":"2026-' >"$work/run/station.jsonl"
logged() { [ "$(grep -c '"port"' "$work/run/station.jsonl" 2>/dev/null)" -ge "$1" ]; }
# "PORT CHANNEL RESULT " per logged unit, sorted.
units_logged() {
  grep '"port"' "$work/run/station.jsonl" |
    sed -E 's/.*"port":([0-9]+).*"channel":([0-9]).*"result":"([a-z]+)".*/\1 \2 \3/' | sort | tr '\n' ' '
}
wait_for() { for _ in $(seq 300); do if eval "$1"; then return 0; fi; sleep 0.1; done; return 1; }
(cd "$work/run" && exec "$wine_run" run "$cli" --station --no-progress --profile station.kvr \
   --port 0=2 --port 1=3 --log station.jsonl --http 127.0.0.1:0 >"$work/station.out" \
   2>"$work/station.err") &
station_pid=$!
wait_for 'logged 2' || true
url=$(tr -d '\r' <"$work/station.out" | sed -n 's/^station: status page on //p')
fetch() { curl -sf --max-time 10 "$url$1"; }
# grep reads each answer to its end (no -q): a reader that quits early would fail curl's
# write, and the pipeline with it.
check "the station serves its page ($url)" 'fetch "" | grep "<title>kovirw station</title>" >/dev/null'
check "the station's status.json counts two units" \
  '[ "$(fetch status.json | python3 -c "import json,sys; print(json.load(sys.stdin)[\"station\"][\"done\"])")" = 2 ]'
check "the station's metrics count two units" \
  'fetch metrics | grep -x "kovirw_units_total{result=\"done\"} 2" >/dev/null'
# Hostile clients: header lines without end, and a request trickled a byte at a time, must
# both be cut by the station's server.
check "the station's server cuts endless headers and a trickled request" \
  'python3 - "$url" >"$work/hostile.txt" <<"PY"
import socket, sys, time
host, port = sys.argv[1].split("/")[2].split(":")
s = socket.create_connection((host, int(port)))
s.sendall(b"GET / HTTP/1.1\r\n")
sent = 0
try:
    while sent < 64 << 20:
        s.sendall(b"X-Fill: " + b"y" * 4000 + b"\r\n")
        sent += 4010
    sys.exit("endless headers not cut after %d bytes" % sent)
except OSError:
    print("endless headers cut after %d bytes" % sent)
s = socket.create_connection((host, int(port)))
s.sendall(b"GET / HTTP/1.1\r\n")
start = time.monotonic()
try:
    while time.monotonic() - start < 20:
        s.sendall(b"X")
        time.sleep(0.5)
    sys.exit("a trickled request not cut in 20 s")
except OSError:
    print("trickled request cut after %.1f s" % (time.monotonic() - start))
PY'
serialcomm remove 3
wait_for 'grep -q "CH1 COM3: unplugged, the channel is free" "$work/station.out"' || true
serialcomm add 3
wait_for 'logged 3' || true
kill -INT "$station_pid"
station_status=0
wait "$station_pid" || station_status=$?
station_pid=
tr -d '\r' <"$work/station.out" >"$work/station.lf"
station_units=$(units_logged)
check "the station trimmed the cut line and says so" \
  'grep -q "ended in a cut line (a crash or a full disk): its 15 bytes were dropped" "$work/station.err"'
check "the log holds the kept line and whole lines after it" \
  '[ "$(head -c 11 "$work/run/station.jsonl")" = "{\"kept\":1}" ] && [ "$(grep -vc "^{.*}\$" "$work/run/station.jsonl")" -eq 0 ]'

check "the station ends with status 0 on Ctrl+C (was $station_status)" '[ "$station_status" -eq 0 ]'
check "the station logged COM2, COM3 and COM3 again on its channel" \
  '[ "$station_units" = "2 0 done 3 1 done 3 1 done " ]'
check "COM3 holds the station's Font image" \
  'cmp -s -n 300000 "$work/images/phone.fnt" "$work/flash/COM3/flash-01A00000.bin"'
check "the station's totals" 'grep -q "^station: 3 done, 0 failed, " "$work/station.lf"'

# A station without --port while the system lists ports (wine's own COM1 among them): those
# are left alone; COM5, listed only after the start, is the one terminal it flashes.
serialcomm remove 5
rm -f "$work/run/station.jsonl"
(cd "$work/run" && exec "$wine_run" run "$cli" --station --no-progress --profile station.kvr \
   --log station.jsonl >"$work/station.out" 2>"$work/station.err") &
station_pid=$!
wait_for 'grep -q "COM4 was there before the station started" "$work/station.out"' || true
serialcomm add 5
wait_for 'logged 1' || true
sleep 1  # time enough to take a port it should not
kill -INT "$station_pid"
station_status=0
wait "$station_pid" || station_status=$?
station_pid=
tr -d '\r' <"$work/station.out" >>"$work/station.lf"
check "the station without --port ends with status 0 (was $station_status)" '[ "$station_status" -eq 0 ]'
station_units=$(units_logged)
check "it flashed COM5 alone, on channel 0 (logged: $station_units)" '[ "$station_units" = "5 0 done " ]'

if [ "$failed" -ne 0 ]; then
  echo "--- stdout"; cat "$work/out.lf"; echo "--- stderr"; cat "$work/err.txt"
  echo "--- station"; cat "$work/station.lf" "$work/station.err" "$work/run/station.jsonl" || true
  echo "--- verify"; cat "$work/verify.txt"; exit 1
fi
cat "$work/verify.txt" "$work/hostile.txt"
grep -E "^CH0: 9개 파일|channels done" "$work/out.lf"
python3 -c "print('wine run: %.2f s' % ($end - $start))"
