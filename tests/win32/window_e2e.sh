#!/usr/bin/env bash
# kovirw.exe's window under wine (win32_window_tests) against eight native simulated
# terminals, linked into the prefix as dosdevices/com1 to com8; the terminal on COM6 erases
# slowly, so that a removal and a close can come while it runs. After the run of eight, the
# eight terminals must hold the nine sample images byte for byte and the screenshot must be
# a PNG; then the runs with a removal and a close.
#   window_e2e.sh TERMSIM TESTS.EXE DEMO_IMAGES.PY WINE_RUN.SH SCREENSHOT.PNG  (WINEPREFIX set)
set -euo pipefail
termsim=$1 tests=$2 images_py=$3 wine_run=$4 shot=$5
: "${WINEPREFIX:?}"

work=$(mktemp -d "${TMPDIR:-/tmp}/kovirw-wine-window-XXXXXX")
. "$(dirname "$0")/terminals.sh"
cleanup() {
  terminals_stop "$work"
  if [ -n "${KOVIRW_E2E_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
mkdir -p "$work/images" "$(dirname "$shot")"
rm -f "$shot"
python3 "$images_py" make "$work/images" "$work/default.kvr" >/dev/null

terminals_start "$termsim" "$work" --fault 5:slow-erase:600

windows_path() { printf 'Z:%s' "${1//\//\\}"; }
export KOVIRW_WINDOW_WORK KOVIRW_WINDOW_SCREENSHOT
KOVIRW_WINDOW_WORK=$(windows_path "$work")
KOVIRW_WINDOW_SCREENSHOT=$(windows_path "$work/window.bmp")

failed=0
(cd "$work" && "$wine_run" run "$tests" --gtest_filter='Window.*:WindowRun.Eight*') || failed=1
python3 "$images_py" verify "$work/images" "$work/flash" "$work/no-report.json" 8 >"$work/verify.txt" || true
if [ "$(grep -c '9 images byte for byte' "$work/verify.txt")" -ne 8 ]; then
  echo "FAILED: the eight terminals do not all hold the nine images"; cat "$work/verify.txt"; failed=1
fi
# The window's picture as a PNG, written beside its place and renamed over it.
if python3 - "$work/window.bmp" "$shot" <<'PY'
import struct, sys, zlib, os
data = open(sys.argv[1], "rb").read()
assert data[:2] == b"BM"
offset, = struct.unpack_from("<I", data, 10)
width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
assert bits == 24 and width > 0 and height > 0
stride = (width * 3 + 3) & ~3
rows = b"".join(b"\0" + bytes(b for px in range(width) for b in
                               data[offset + y * stride + 3 * px:offset + y * stride + 3 * px + 3][::-1])
                for y in reversed(range(height)))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
open(sys.argv[2] + ".tmp", "wb").write(png)
os.replace(sys.argv[2] + ".tmp", sys.argv[2])
PY
then echo "screenshot: $shot"; else echo "FAILED: no picture of the window"; failed=1; fi
(cd "$work" && "$wine_run" run "$tests" --gtest_filter='WindowRun.Removal*:WindowRun.Closing*') || failed=1
exit $failed
