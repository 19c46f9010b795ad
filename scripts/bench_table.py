#!/usr/bin/env python3
"""Turns the benchmark outputs into one table: printed, and written with the machine it ran
on to the file given by --out.

  bench_table.py --codec codec.json --flash flash.json [--station station.json]
                 --machine TEXT --date TEXT --build TEXT --out bench/RESULTS.md

With --station alone, only the station section of the --out file is replaced.
"""
import argparse
import json
import sys

RATIO_TARGET = 0.97
SPREAD_TARGET = 0.01  # 8 channels within 1% of 1 channel
CPU_TARGET = 0.03
LATENCY_P99_TARGET_MS = 2.0

CODEC_ROWS = [
    ("BM_Crc16", "CRC-16/X.25", "16 KiB block"),
    ("BM_FrameEncode", "frame encoding with escaping", "WRITE body, random data, codec alone"),
    ("BM_WriteFrameIntoTransmitBuffer", "frame encoding with escaping",
     "WRITE body into the transmit buffer, in 4096-byte flushes"),
    ("BM_WritePacket", "WRITE packet", "block copied, numbered, CRC, escaped, flushed"),
    ("BM_DeframeAnswers", "deframing + answer processing", "a read of four ACK answers"),
    ("BM_DeframeLargeFrame", "deframing", "a WRITE frame of random data (terminal's side)"),
]


def met(ok):
    return "yes" if ok else "**no**"


def load_lines(path):
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip()]


def run_rows(runs, line_ratio):
    rows = []
    one = next((r for r in runs if r["ok"] and r["channels"] == 1 and r["image"] == "random"), None)
    for r in runs:
        case = "%d ch, %s %s" % (r["channels"], r["image"], size_text(r["imageBytes"]))
        if not r["ok"]:
            rows.append(("end to end", case, "FAILED: " + r["problem"], "", "**no**"))
            continue
        cpu = r["cpuSeconds"] / r["wallSeconds"]
        figure = ("%s B/s per channel (min) = **%.4f** of the line (min; mean %.4f; best possible "
                  "for this image %.4f, line alone %.4f); %.1f s; flasher CPU **%.2f%%** of one "
                  "core; writes/reads per block %.2f/%.2f; load average %.2f before"
                  % (format(int(r["rateMin"]), ","), r["ratioMin"], r["ratioMean"],
                     r["idealRatio"], line_ratio, r["channelSecondsMax"], 100 * cpu,
                     r["writesPerBlock"], r["readsPerBlock"], r.get("loadBefore", -1)))
        targets = []
        ok = True
        if r["image"] == "random":
            targets.append("ratio >= %.2f" % RATIO_TARGET)
            ok = ok and r["ratioMin"] >= RATIO_TARGET
        if r["channels"] == 8 and r["image"] == "random" and one is not None:
            spread = (one["ratioMin"] - r["ratioMin"]) / one["ratioMin"]
            figure += "; %.2f%% %s 1 channel" % (100 * abs(spread), "below" if spread >= 0 else "above")
            targets.append("within 1% of 1 ch")
            ok = ok and spread <= SPREAD_TARGET
        if r["channels"] == 8:
            targets.append("CPU <= 3%")
            ok = ok and cpu <= CPU_TARGET
        rows.append(("end to end", case, figure, ", ".join(targets) or "-",
                     met(ok) if targets else "-"))
    return rows


def size_text(n):
    if n % (1 << 20) == 0:
        return "%d MiB" % (n >> 20)
    return "%d KiB" % (n >> 10) if n % 1024 == 0 else "%d bytes" % n


def alloc_row(runs):
    measured = [r for r in runs if r["ok"] and r["allocations"] >= 0]
    if not measured:
        return ("allocations", "while every channel sends blocks", "not measured", "0", "-")
    total = sum(r["allocations"] for r in measured)
    blocks = sum(r["channels"] * ((r["imageBytes"] + 16383) // 16384) for r in measured)
    seconds = sum(r["blockPhaseSeconds"] for r in measured)
    figure = "%d allocations over %.1f s of %d runs (%d blocks in all)" % (
        total, seconds, len(measured), blocks)
    return ("allocations", "while every channel of a run sends blocks", figure,
            "0 per block or packet", met(total == 0))


def latency_row(runs):
    probed = [r for r in runs if "events" in r]
    if not probed:
        return None
    e = probed[-1]["events"]
    figure = ("p50 %.3f ms, p99 **%.3f ms**, max %.3f ms over %d events; round trip p50 %.3f ms, "
              "p99 %.3f ms" % (e["p50Ms"], e["p99Ms"], e["maxMs"], e["samples"],
                               e["roundTripP50Ms"], e["roundTripP99Ms"]))
    return ("event latency", "worker's send to handler start, %d-ch run, console idle"
            % probed[-1]["channels"], figure, "p99 <= 2 ms", met(e["p99Ms"] <= LATENCY_P99_TARGET_MS))


def codec_rows(path):
    with open(path) as f:
        data = json.load(f)
    by_name = {b["name"]: b for b in data.get("benchmarks", [])}
    rows = []
    for name, what, case in CODEC_ROWS:
        b = by_name.get(name)
        if b is None:
            continue
        mbs = b["bytes_per_second"] / 1e6
        rows.append(("microbenchmark: " + what, case,
                     "%.0f MB/s (%.1f us per 16 KiB)" % (mbs, 16384 / mbs), "-", "-"))
    return rows


RATE_HEADING = "## Eight channels at every line rate"
RATE_RATIO_TARGETS = {3000000: 0.985}  # baud: ratio of the line at least


def rate_section(rates):
    """One row per line rate: the eight-channel run beside the line alone at that rate."""
    if not rates:
        return "", True
    out = [RATE_HEADING, "",
           "| baud | image per channel | ratio (min; mean) | best possible for the image | "
           "line alone | ratio of line alone | flasher CPU (of one core) | CPU s per MiB sent (system) | "
           "writes/reads per block | load before | target | met |",
           "|---|---|---|---|---|---|---|---|---|---|---|---|"]
    all_ok = True
    for r in sorted(rates, key=lambda r: r["baud"]):
        if not r["ok"]:
            out.append("| %d | %s | FAILED: %s | | | | | | | | | **no** |"
                       % (r["baud"], size_text(r["imageBytes"]), r["problem"]))
            all_ok = False
            continue
        cpu = r["cpuSeconds"] / r["wallSeconds"]
        mib = r["channels"] * r["imageBytes"] / float(1 << 20)
        line = r.get("lineRatio", -1)
        targets = ["CPU <= 3%"]
        ok = cpu <= CPU_TARGET
        want = RATE_RATIO_TARGETS.get(r["baud"])
        if want is not None:
            targets.insert(0, "ratio >= %.3f" % want)
            ok = ok and r["ratioMin"] >= want
        all_ok = all_ok and ok
        out.append("| %s | %s | **%.4f**; %.4f | %.4f | %s | %s | **%.2f%%** | %.4f (%.4f) | %.2f/%.2f | "
                   "%.2f | %s | %s |"
                   % (format(r["baud"], ","), size_text(r["imageBytes"]), r["ratioMin"],
                      r["ratioMean"], r["idealRatio"], "%.4f" % line if line >= 0 else "-",
                      "%.4f" % (r["ratioMin"] / line) if line > 0 else "-", 100 * cpu,
                      r["cpuSeconds"] / mib, r.get("systemSeconds", 0) / mib,
                      r["writesPerBlock"], r["readsPerBlock"],
                      r.get("loadBefore", -1), ", ".join(targets), met(ok)))
    out += ["", "Each row: the line alone (raw bytes through one simulated terminal at that rate), "
            "then eight terminals flashed at once with one random image sized to last about the "
            "same time at every rate. \"Ratio of line alone\" is the slowest channel's ratio over "
            "what the simulated line itself carried. CPU s per MiB counts the flasher's user + "
            "system time for every MiB it sent over all channels."]
    return "\n".join(out) + "\n", all_ok


STATION_HEADING = "## Station against batch"


def station_section(path, machine, date):
    with open(path) as f:
        s = json.load(f)
    out = [STATION_HEADING, "",
           "Machine: %s. Date: %s. %d slots, %d units per mode, one %s image at %d baud, "
           "download times x%.1f to x%.1f of the nominal one, operator swap %.2f s."
           % (machine, date, s["slots"], s["units"], size_text(s["imageBytes"]), s["baud"],
              1 - s["spread"], 1 + s["spread"], s["swapSeconds"]),
           "", "| mode | units | time | units per hour |", "|---|---|---|---|"]
    for mode in ("station", "batch"):
        r = s[mode]
        out.append("| %s | %d done, %d failed | %.1f s | **%.0f** |"
                   % (mode, r["done"], r["failed"], r["seconds"], r["unitsPerHour"]))
    gain = s["station"]["unitsPerHour"] / s["batch"]["unitsPerHour"]
    out += ["", "Station mode gives **x%.2f** the units per hour of batch mode on the same "
            "terminals and operator, whose swaps alone take %.0f s."
            % (gain, s["units"] * s["swapSeconds"]), "",
            "One profile serves every terminal, so the terminals differ in speed: each one's "
            "line is paced so that its download lasts as long as an image 0.7 to 1.3 times the "
            "size would at the nominal rate (seeded, the same sequence in both modes). One "
            "operator swaps terminals one at a time. Station: `kovirw-cli --station` runs "
            "throughout and the operator swaps each terminal as the log reports its end. Batch: "
            "the operator swaps all eight, then runs `kovirw-cli` over them and waits for the "
            "slowest. Units per hour count from the operator's first swap to the last unit's "
            "end. Produced by `bench/station_bench` (`scripts/bench`)."]
    ok = s["station"]["failed"] == 0 and s["batch"]["failed"] == 0 and gain > 1
    return "\n".join(out) + "\n", ok


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--codec")
    ap.add_argument("--flash")
    ap.add_argument("--station")
    ap.add_argument("--machine", required=True)
    ap.add_argument("--date", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    if not (args.codec and args.flash) and not args.station:
        ap.error("give --codec and --flash, or --station")

    station, station_ok = ("", True)
    if args.station:
        station, station_ok = station_section(args.station, args.machine, args.date)
    if not (args.codec and args.flash):
        with open(args.out) as f:
            text = f.read().split("\n" + STATION_HEADING)[0].rstrip("\n") + "\n"
        text += "\n" + station
        with open(args.out, "w") as f:
            f.write(text)
        sys.stdout.write(station)
        return 0 if station_ok else 1

    lines = load_lines(args.flash)
    line = next((l for l in lines if l["kind"] == "line"), {"ratio": 0, "bytes": 0})
    runs = [l for l in lines if l["kind"] == "run"]
    per_rate, rates_ok = rate_section([l for l in lines if l["kind"] == "rate"])
    rows = [("line alone", "termsim, %d raw bytes" % line["bytes"],
             "%.4f of baud / 10" % line["ratio"], "-", "-")]
    rows += run_rows(runs, line["ratio"])
    rows.append(alloc_row(runs))
    lat = latency_row(runs)
    if lat:
        rows.append(lat)
    for s in (l for l in lines if l["kind"] == "stop"):
        ok = s["stopMs"] >= 0
        rows.append(("run stop", "%d ch mid-image, DOWNLOAD_Stop on the console thread" % s["channels"],
                     "**%.2f ms**" % s["stopMs"] if ok else "the run ended first",
                     "returns promptly", "yes" if ok and s["stopMs"] < 100 else "**no**"))
    rows += codec_rows(args.codec)

    first = runs[0] if runs else {"baud": 0, "writeDelayMs": 0}
    out = []
    out.append("# Benchmark results")
    out.append("")
    out.append("Machine: %s. Date: %s. Build: %s." % (args.machine, args.date, args.build))
    out.append("Line: %d baud, 8N1 (%d bytes/s), DELAY %d ms, terminals simulated by termsim in a "
               "process of their own." % (first["baud"], first["baud"] // 10, first["writeDelayMs"]))
    out.append("")
    out.append("| benchmark | case | result | target | met |")
    out.append("|---|---|---|---|---|")
    for r in rows:
        out.append("| " + " | ".join(r) + " |")
    out.append("")
    out.append("Ratios are payload bytes per second over baud / 10, per channel from its "
               "\"Download Start\" to its end. \"Best possible\" counts the bytes each WRITE frame "
               "adds (12 per block and every escaped 0x7E or 0x7D); \"line alone\" is raw bytes "
               "through one simulated terminal. CPU is the flasher process's user + system time "
               "over the run's wall time. The terminals and the flasher share the machine's cores "
               "with whatever else runs: a busy machine (see the load average) lowers the ratios. "
               "Produced by `scripts/bench`."
               " The run stop is timed on pseudo-terminals with every channel mid-image; on a real port it costs per channel one change of the modem lines, one flush of both driver queues and the release of the descriptor, none of which waits for the line (with its output queue flushed, close() has nothing to drain); the worker's own drain before its close runs without the engine lock, and a stop cuts it short.")
    text = "\n".join(out) + "\n"
    if per_rate:
        text += "\n" + per_rate
    if station:
        text += "\n" + station
    with open(args.out, "w") as f:
        f.write(text)
    sys.stdout.write(text)
    return 0 if all(r[4] != "**no**" for r in rows) and rates_ok and station_ok else 1


if __name__ == "__main__":
    sys.exit(main())
