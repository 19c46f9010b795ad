#!/usr/bin/env python3
"""Sample images for the demo, and the check of what the simulated terminals hold.

  demo_images.py make IMAGE_DIR PROFILE
  demo_images.py verify IMAGE_DIR FLASH_DIR REPORT COUNT
  demo_images.py station WORK_DIR SIZE BAUD
"""
import json
import os
import random
import struct
import sys
import time

BLOCK = 16384

# slot, key prefix, file name, size, address (None: from the Code trailer or fixed)
IMAGES = [
    (0, "CODE", "phone.bin", 1_000_000, "18000"),
    (1, "FONT", "phone.fnt", 300_000, None),
    (2, "DATA", "phone.dat", 200_000, None),
    (3, "PRELOAD", "phone.pld", 100_001, None),
    (4, "ASIC_BOOT", "asic.bot", 20_000, "0xF000100"),
    (5, "ASIC_CODE", "asic.cod", 500_000, "0xF000200"),
    (6, "ASIC_FONT", "asic.fnt", 100_000, "0xF000300"),
    (7, "ASIC_CONTENTS", "asic.cnt", 150_000, "0xF000400"),
    (8, "ASIC_IMAGE", "dmb.sdl", 50_000, "0xF000500"),
]
TRAILER = {1: 0x01A00000, 2: 0x01C00000, 3: 0x00C80000}


def make(image_dir, profile):
    rng = random.Random(20261206)
    lines = ["[KOVIR]"]
    for slot, prefix, name, size, address in IMAGES:
        data = bytearray(rng.getrandbits(8) for _ in range(size))
        if slot == 0:
            # The Code image names the Font, Data and Preload addresses 68 bytes before its end.
            data[-68:-52] = struct.pack("<IIII", 0, TRAILER[1], TRAILER[2], TRAILER[3])
        path = os.path.join(image_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        lines.append(f"{prefix}CHECK=1")
        lines.append(f"{prefix}FILE={path}")
        if slot != 0:
            lines.append(f"{prefix}ADDRESS={address if address else format(TRAILER[slot], 'x')}")
    with open(profile, "w") as f:
        f.write("\n".join(lines) + "\n")
    with open(os.path.join(os.path.dirname(profile), "kovirw.ini"), "w") as f:
        f.write("[KOVIR]\nAUTODETECT=1\nDELAY=2\nBAUDRATE=1382400\nKOVIRFILE=\n")
    total = sum(i[3] for i in IMAGES)
    print(f"{len(IMAGES)} images, {total} bytes, profile {profile}")


def station(work, size, baud):
    """A station's working directory: one Font image of size random bytes, the profile that
    selects it (default.kvr) and kovirw.ini with the ports by hand and the given line rate."""
    with open(os.path.join(work, "font.fnt"), "wb") as f:
        f.write(os.urandom(size))
    with open(os.path.join(work, "default.kvr"), "w", newline="") as f:
        f.write("[KOVIR]\r\nCODECHECK=0\r\nFONTCHECK=1\r\nFONTFILE=%s\r\n"
                "FONTADDRESS=1A00000\r\n" % os.path.join(work, "font.fnt"))
    with open(os.path.join(work, "kovirw.ini"), "w", newline="") as f:
        f.write("[KOVIR]\r\nAUTODETECT=0\r\nBAUDRATE=%d\r\n" % baud)


def expected(slot, data, address):
    if slot == 0:
        data = data[address:]
    if slot != 8:
        padded = (len(data) + BLOCK - 1) // BLOCK * BLOCK
        data = data + b"\xff" * (padded - len(data))
    return data


def verify(image_dir, flash_dir, report, count):
    reports = {}
    if os.path.exists(report):
        with open(report) as f:
            for line in f:
                r = json.loads(line)
                reports[r["port"]] = r
    failures = 0
    for com in range(1, count + 1):
        folder = os.path.join(flash_dir, f"COM{com}")
        for _ in range(100):  # the flasher does not wait for GO's answer
            if os.path.exists(os.path.join(folder, "session")):
                break
            time.sleep(0.05)
        bad = []
        for slot, _prefix, name, _size, address in IMAGES:
            addr = int(address, 16) if address else TRAILER[slot]
            with open(os.path.join(image_dir, name), "rb") as f:
                want = expected(slot, f.read(), addr)
            flash = os.path.join(folder, f"flash-{addr:08X}.bin")
            got = open(flash, "rb").read() if os.path.exists(flash) else None
            if got != want:
                bad.append(name)
        errors_log = os.path.join(folder, "errors.log")
        if os.path.exists(errors_log) and os.path.getsize(errors_log) > 0:
            bad.append("protocol errors")
        r = reports.get(com, {})
        state = "OK" if not bad and r.get("result") == "done" else "FAILED"
        if state != "OK":
            failures += 1
        detail = f"differs: {', '.join(bad)}" if bad else "9 images byte for byte"
        print(f"COM{com}: channel {r.get('channel', '?')} {r.get('result', 'no report')}, "
              f"{r.get('seconds', 0):.2f} s, {detail} -> {state}")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 5 and sys.argv[1] == "station":
        station(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    elif len(sys.argv) == 6 and sys.argv[1] == "verify":
        sys.exit(verify(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])))
    else:
        sys.exit(__doc__)
