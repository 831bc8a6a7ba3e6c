"""Turns the raw measurements of bench/run.sh into markdown tables, printed and written to a file,
where they replace the section of the same title and leave the others.
Usage: report.py <work-dir> <results.md> [--passthrough | --network] [--command TEXT --rounds N ...]"""

import argparse
import datetime
import math
import os
import re
import statistics
import sys

PROGRAMS = ("tralvo", "floor", "pyserial")
MIB = 1024 * 1024
PULSE = re.compile(r"pulse t=([0-9.]+) ")


def read_keys(path):
    values = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            if key:
                values[key] = float(value)
    return values


def read_writes(path):
    """(time, bytes the bridge had left unread just before the write) per command."""
    with open(path) as f:
        rows = [line.split() for line in f if line.strip()]
    return [float(r[0]) for r in rows], [int(r[1]) if len(r) > 1 else -1 for r in rows]


def read_pulses(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return sorted(float(m.group(1)) for m in map(PULSE.search, f) if m)


def percentile(sorted_values, p):
    """Nearest rank."""
    rank = max(1, math.ceil(p / 100 * len(sorted_values)))
    return sorted_values[rank - 1]


def match_pulses(writes, unread, pulses, last_window_s=1.0):
    """Each command owns the time from its write to the next command's write; the first pulse in
    that window is its pulse, and any further pulse in it is an extra one. A missed command is
    counted as merged when the bridge still had bytes unread as the next command was written:
    both then reach it in one receive notification, which earns one pulse."""
    latencies, missed, merged, extra = [], 0, 0, 0
    bounds = writes[1:] + [writes[-1] + last_window_s]
    for i, (start, end) in enumerate(zip(writes, bounds)):
        inside = [t for t in pulses if start <= t < end]
        if not inside:
            missed += 1
            if i + 1 < len(unread) and unread[i + 1] > 0:
                merged += 1
            continue
        latencies.append(inside[0] - start)
        extra += len(inside) - 1
    return sorted(latencies), missed, merged, extra


def latency_summary(writes, unread, pulses, expected, last_window_s=1.0):
    """Write → pulse p50, p99 and max (µs), the commands missed (of the expected ones, those never
    written included) and the extra pulses."""
    lat, missed, _, extra = (match_pulses(writes, unread, pulses, last_window_s) if writes
                             else ([], 0, 0, 0))
    return {"p50_us": percentile(lat, 50) * 1e6 if lat else float("nan"),
            "p99_us": percentile(lat, 99) * 1e6 if lat else float("nan"),
            "max_us": lat[-1] * 1e6 if lat else float("nan"),
            "missed": missed + expected - len(writes), "extra": extra}


def cpu_seconds(before, after):
    return (after["cpu_ticks"] - before["cpu_ticks"]) / after["clk_tck"]


def measure_round(dirpath, commands):
    figures = {}
    for name in PROGRAMS:
        d = os.path.join(dirpath, name)
        writes, unread = read_writes(os.path.join(d, "writes.txt"))
        pulses = read_pulses(os.path.join(d, "pulses.log"))
        latencies, missed, merged, extra = match_pulses(writes, unread, pulses)
        before = read_keys(os.path.join(d, "cpu-before.txt"))
        after = read_keys(os.path.join(d, "cpu-after.txt"))
        pulsed = max(1, len(latencies))
        f = {
            "p50_us": percentile(latencies, 50) * 1e6 if latencies else float("nan"),
            "p99_us": percentile(latencies, 99) * 1e6 if latencies else float("nan"),
            "max_us": latencies[-1] * 1e6 if latencies else float("nan"),
            "missed": missed,
            "merged": merged,
            "extra": extra,
            "cpu_us_per_pulse": cpu_seconds(before, after) / pulsed * 1e6,
            "run_us_per_pulse": (after["run_ns"] - before["run_ns"]) / pulsed / 1e3,
        }
        if name == "tralvo":
            f.update(measure_tralvo_extras(d))
        figures[name] = f
    return figures


def measure_tralvo_extras(d):
    f = {}
    idle0 = read_keys(os.path.join(d, "idle-before.txt"))
    idle1 = read_keys(os.path.join(d, "idle-after.txt"))
    f["idle_cpu_ms"] = cpu_seconds(idle0, idle1) * 1e3
    f["idle_run_us"] = (idle1["run_ns"] - idle0["run_ns"]) / 1e3
    f["idle_voluntary"] = idle1["voluntary"] - idle0["voluntary"]
    f["idle_nonvoluntary"] = idle1["nonvoluntary"] - idle0["nonvoluntary"]
    f["idle_rss_kib"] = idle1["rss_kb"]
    flood_path = os.path.join(d, "flood.txt")
    flood = read_keys(flood_path) if os.path.exists(flood_path) else {}
    if flood.get("drain_s", 0) > 0 and not flood.get("timed_out", 1):
        f["drain_s"] = flood["drain_s"]
        f["write_s"] = flood["write_s"]
        f["drain_mib_s"] = flood["bytes"] / MIB / flood["drain_s"]
        f["flood_cpu_s"] = flood["cpu_ticks_used"] / os.sysconf("SC_CLK_TCK")
        f["rss_before_kib"] = flood["rss_before_kb"]
        f["rss_peak_kib"] = flood["rss_peak_kb"]
        f["rss_after_kib"] = flood["rss_after_kb"]
        f["growth_kib"] = max(
            flood["rss_peak_kb"] - flood["rss_before_kb"],
            flood["hwm_after_kb"] - flood["hwm_before_kb"],
        )
    else:
        f["drain_mib_s"] = float("nan")
        f["growth_kib"] = float("nan")
    with open(os.path.join(d, "after-flood-pulses.txt")) as fh:
        f["after_flood_pulses"] = int(fh.read().strip())
    writes, _ = read_writes(os.path.join(d, "after-flood.txt"))
    later = [t for t in read_pulses(os.path.join(d, "pulses.log")) if t >= writes[0]]
    f["after_flood_latency_us"] = (later[0] - writes[0]) * 1e6 if later else float("nan")
    with open(os.path.join(d, "exit.txt")) as fh:
        f["exit"] = int(fh.read().strip())
    return f


def med(rounds, name, key):
    values = [r[name][key] for r in rounds if key in r[name]]
    values = [v for v in values if not math.isnan(v)]
    return statistics.median(values) if values else float("nan")


def fmt(value, digits=0):
    if isinstance(value, float) and math.isnan(value):
        return "n/a"
    return f"{value:.{digits}f}"


def ratio(a, b):
    # A short run can measure no CPU tick at all for the reference; that is no ratio.
    return a / b if b else math.nan


def verdict(ok):
    return "PASS" if ok else "FAIL"


def build_report(rounds, args):
    m = lambda name, key: med(rounds, name, key)  # noqa: E731
    per_round = lambda name, key, d=0: " / ".join(  # noqa: E731
        fmt(r[name].get(key, float("nan")), d) for r in rounds
    )
    lines = []
    lines.append("# Drawer-bridge benchmark")
    lines.append("")
    lines.append(
        f"{datetime.date.today().isoformat()}, `{args.command}`, {args.rounds} rounds, "
        f"{args.commands} commands (ESC p 0x00 0x19 0xFA) {args.interval_ms} ms apart per "
        f"program and round, {os.cpu_count()} cores. Figures are medians over the rounds, "
        "per-round values in brackets. Compare only within one run."
    )
    lines.append("")
    lines.append("| figure | Tralvo | floor (C, read()) | pyserial |")
    lines.append("| --- | --- | --- | --- |")
    for label, key, d in (
        ("write → pulse p50 (µs)", "p50_us", 0),
        ("write → pulse p99 (µs)", "p99_us", 0),
        ("write → pulse max (µs)", "max_us", 0),
    ):
        lines.append(
            f"| {label} | " + " | ".join(
                f"{fmt(m(n, key), d)} ({per_round(n, key, d)})" for n in PROGRAMS) + " |"
        )
    lines.append(
        "| pulses missed (of them merged) / extra, all rounds | "
        + " | ".join(
            f"{sum(r[n]['missed'] for r in rounds)} ({sum(r[n]['merged'] for r in rounds)}) / "
            f"{sum(r[n]['extra'] for r in rounds)}"
            for n in PROGRAMS
        )
        + " |"
    )
    lines.append(
        "| CPU per pulse, /proc stat utime+stime (µs) | "
        + " | ".join(f"{fmt(m(n, 'cpu_us_per_pulse'))} ({per_round(n, 'cpu_us_per_pulse')})"
                     for n in PROGRAMS) + " |"
    )
    lines.append(
        "| CPU per pulse, schedstat run time (µs) | "
        + " | ".join(f"{fmt(m(n, 'run_us_per_pulse'))} ({per_round(n, 'run_us_per_pulse')})"
                     for n in PROGRAMS) + " |"
    )
    t = "tralvo"
    lines.append("")
    lines.append("| Tralvo only | median (per round) |")
    lines.append("| --- | --- |")
    lines.append(f"| idle {args.idle_s} s: CPU (ms, stat) | {fmt(m(t, 'idle_cpu_ms'))} ("
                 f"{per_round(t, 'idle_cpu_ms')}) |")
    lines.append(f"| idle {args.idle_s} s: run time (µs, schedstat) | {fmt(m(t, 'idle_run_us'))} ("
                 f"{per_round(t, 'idle_run_us')}) |")
    lines.append(f"| idle {args.idle_s} s: context switches voluntary / nonvoluntary | "
                 f"{fmt(m(t, 'idle_voluntary'))} / {fmt(m(t, 'idle_nonvoluntary'))} "
                 f"({per_round(t, 'idle_voluntary')} ; {per_round(t, 'idle_nonvoluntary')}) |")
    lines.append(f"| idle VmRSS (KiB) | {fmt(m(t, 'idle_rss_kib'))} ({per_round(t, 'idle_rss_kib')}) |")
    flood_mib = args.flood_bytes / MIB
    lines.append(f"| {flood_mib:g} MiB flood: VmRSS before / peak / after (KiB) | "
                 f"{fmt(m(t, 'rss_before_kib'))} / {fmt(m(t, 'rss_peak_kib'))} / "
                 f"{fmt(m(t, 'rss_after_kib'))} |")
    lines.append(f"| flood: growth, max(VmRSS peak − before, VmHWM after − before) (KiB) | "
                 f"{fmt(m(t, 'growth_kib'))} ({per_round(t, 'growth_kib')}) |")
    lines.append(f"| flood: first byte written → drained (s) | {fmt(m(t, 'drain_s'), 2)} ("
                 f"{per_round(t, 'drain_s', 2)}) |")
    lines.append(f"| flood: drain rate (MiB/s) | {fmt(m(t, 'drain_mib_s'), 2)} ("
                 f"{per_round(t, 'drain_mib_s', 2)}) |")
    lines.append(f"| flood: CPU used (s, stat) | {fmt(m(t, 'flood_cpu_s'), 2)} ("
                 f"{per_round(t, 'flood_cpu_s', 2)}) |")
    lines.append(f"| command after flood: pulses / latency (µs) | "
                 f"{per_round(t, 'after_flood_pulses')} ; {per_round(t, 'after_flood_latency_us')} |")
    lines.append(f"| exit status after SIGTERM | {per_round(t, 'exit')} |")

    p99_ratio = ratio(m(t, "p99_us"), m("floor", "p99_us"))
    cpu_ratio = ratio(m(t, "cpu_us_per_pulse"), m("pyserial", "cpu_us_per_pulse"))
    missed = sum(r[t]["missed"] + r[t]["extra"] for r in rounds)
    lost = missed - sum(r[t]["merged"] for r in rounds)
    wakeups = max(r[t]["idle_voluntary"] + r[t]["idle_nonvoluntary"] for r in rounds)
    growth = m(t, "growth_kib")
    rate = m(t, "drain_mib_s")
    after = [r[t]["after_flood_pulses"] for r in rounds]
    lines.append("")
    lines.append("| target | seen | result |")
    lines.append("| --- | --- | --- |")
    lines.append(f"| p99 within 2× the floor's p99 | {fmt(p99_ratio, 2)}× | "
                 f"{verdict(p99_ratio <= 2)} |")
    lines.append(f"| CPU per pulse ≤ pyserial's (stat) | {fmt(cpu_ratio, 2)}× | "
                 f"{verdict(cpu_ratio <= 1)} |")
    lines.append(f"| no missed (or extra) pulse | {missed} | {verdict(missed == 0)} |")
    lines.append(f"| … of those, not explained by a late read (merged) | {lost} | "
                 f"{verdict(lost == 0)} |")
    lines.append(f"| no wake-ups while idle (worst round) | {wakeups:.0f} context switches | "
                 f"{verdict(wakeups == 0)} |")
    lines.append(f"| flood growth under 1 MiB | {fmt(growth)} KiB | "
                 f"{verdict(not math.isnan(growth) and growth < 1024)} |")
    lines.append(f"| drain rate ≥ 0.5 MiB/s | {fmt(rate, 2)} MiB/s | "
                 f"{verdict(not math.isnan(rate) and rate >= 0.5)} |")
    lines.append(f"| command after flood recognised (one pulse) | {after} | "
                 f"{verdict(all(n == 1 for n in after))} |")
    lines.append("")
    lines.append(
        "Latency: CLOCK_MONOTONIC just before the one write() of a command into com8, to the "
        "t= the stand-in library logs for the pulse; a warm-up command (which binds the "
        "library) is not counted. Merged: a missed command whose bytes were still unread in "
        "the bridge's port when the next command was written (the bridge was more than one "
        "interval late, e.g. not scheduled), so both arrived as one receive notification. "
        "Drained: the flood writer has finished, the receiving end's "
        "kernel queue is empty and Tralvo's main thread has used under 0.2 ms of CPU in each "
        "5 ms sample for 200 ms; the drain time runs from the first byte written to the last "
        "sample at which it was still busy."
    )
    return "\n".join(lines) + "\n"


BRIDGES = ("tralvo", "socat")


def read_latencies(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return sorted(float(line) for line in f if line.strip())


def measure_passthrough_round(dirpath):
    figures = {}
    for name in BRIDGES + ("pair",):
        d = os.path.join(dirpath, name)
        lat = read_latencies(os.path.join(d, "latency.txt"))
        f = {
            "p50_us": percentile(lat, 50) if lat else float("nan"),
            "p99_us": percentile(lat, 99) if lat else float("nan"),
            "samples": len(lat),
        }
        t = read_keys(os.path.join(d, "through.txt"))
        if "bytes" in t:
            whole = (t.get("received") == t.get("bytes") and t.get("first_difference") == -1
                     and t.get("extra") == 0)
            f["whole"] = whole
            f["mib_s"] = t["mib_s"] if whole else float("nan")
            f["seconds"] = t["seconds"]
            f["cpu_s"] = t.get("cpu_s", float("nan"))
            f["rss_kib"] = t.get("rss_kb", float("nan"))
            f["exit"] = t.get("exit", float("nan"))
            f["small_run_us"] = t.get("small_run_us", float("nan"))
        figures[name] = f
    return figures


def build_passthrough_report(rounds, args):
    m = lambda name, key: med(rounds, name, key)  # noqa: E731
    per_round = lambda name, key, d=0: " / ".join(  # noqa: E731
        fmt(float(r[name].get(key, float("nan"))), d) for r in rounds
    )
    pair = m("pair", "p50_us")
    for r in rounds:
        for name in BRIDGES:
            r[name]["added_us"] = r[name]["p50_us"] - 2 * r["pair"]["p50_us"]
    lines = [
        "# Pass-through benchmark",
        "",
        f"{datetime.date.today().isoformat()}, `{args.command}`, {args.rounds} rounds, "
        f"{os.cpu_count()} cores. POS → pty pair → bridge → pty pair → printer reader; the "
        "bench holds the pairs' near ends, the bridge opens their far ends (com9, com3), so no "
        "process relays inside a pair. The bridge is Tralvo "
        "(`--printer=COM3 1,0`, so `escpos` matching) or socat joining com9 to com3 (its "
        "default 8 KiB buffer). Medians over the rounds, per-round values in brackets. "
        "Compare only within one run.",
        "",
        "| figure | Tralvo | socat |",
        "| --- | --- | --- |",
    ]
    job_mib = args.job_bytes / MIB
    for label, key, d in (
        (f"{job_mib:g} MiB job, first write → last byte read (MiB/s)", "mib_s", 2),
        (f"{job_mib:g} MiB job: CPU used by the bridge (s, stat)", "cpu_s", 2),
        (f"{args.small_bytes} B write → read at the printer, p50 (µs)", "p50_us", 0),
        (f"{args.small_bytes} B write → read at the printer, p99 (µs)", "p99_us", 0),
        ("p50 less 2 × one pair's p50 (µs)", "added_us", 0),
        (f"the bridge's time on a CPU per {args.small_bytes} B write (µs, schedstat)",
         "small_run_us", 1),
        ("VmRSS after the job (KiB)", "rss_kib", 0),
        ("exit status after SIGTERM", "exit", 0),
    ):
        lines.append(f"| {label} | " + " | ".join(
            f"{fmt(m(n, key), d)} ({per_round(n, key, d)})" for n in BRIDGES) + " |")
    lines.append(
        "| job arrived whole (every round) | "
        + " | ".join(str(all(r[n].get("whole", False) for r in rounds)) for n in BRIDGES)
        + " |"
    )
    lines.append(f"| one pair alone (near → far end), {args.small_bytes} B p50 (µs) | "
                 f"{fmt(pair)} ({per_round('pair', 'p50_us')}) | |")
    rate = ratio(m("tralvo", "mib_s"), m("socat", "mib_s"))
    added = ratio(m("tralvo", "small_run_us"), m("socat", "small_run_us"))
    total = ratio(m("tralvo", "p50_us"), m("socat", "p50_us"))
    lines += [
        "",
        "| target | seen | result |",
        "| --- | --- | --- |",
        f"| throughput at least half socat's | {fmt(rate, 2)}× | "
        f"{verdict(not math.isnan(rate) and rate >= 0.5)} |",
        f"| latency added, the bridge's time per small write, within 2× socat's | "
        f"{fmt(added, 2)}× | {verdict(not math.isnan(added) and added <= 2)} |",
        f"| (for reference) p50 of the whole path, Tralvo ÷ socat | {fmt(total, 2)}× | |",
        "",
        f"Throughput: the job is {args.job_bytes} bytes of numbered lines (no drawer command), "
        "written in 4 KiB writes while the printer end is read as fast as it comes; it counts "
        "only when every byte arrived once and in order. Latency: "
        f"{args.small_writes} writes of {args.small_bytes} bytes 5 ms apart (10 more before, "
        "not counted), CLOCK_MONOTONIC before the write() at the POS to the read() that "
        "completes them at the printer. A pair's own hop, measured alone in the same round, "
        "is mostly the wake-up of the reader, and it varies from round to round by as much as "
        "a bridge adds: the p50 less two such hops is shown, but the target is judged on the "
        "bridge's own time on a CPU per small write (it sleeps between them, so that time "
        "lies on the path of each write).",
    ]
    return "\n".join(lines) + "\n"

SINK_TITLES = {
    "fifo": "named pipe (FIFO)",
    "pty": "pseudo-terminal (a serial printer)",
    "tcp": "TCP socket (a network printer)",
}


def measure_network_round(dirpath, kicks):
    figures = {}
    for name in BRIDGES:
        d = os.path.join(dirpath, name)
        path = os.path.join(d, "net.txt")
        if not os.path.exists(path):
            continue
        t = read_keys(path)
        f = {}
        if "bytes" in t:
            whole = (t.get("received") == t.get("bytes") and t.get("first_difference") == -1
                     and t.get("extra") == 0)
            mib = t["bytes"] / MIB
            f["whole"] = whole
            f["mib_s"] = t["mib_s"] if whole else float("nan")
            f["cpu_ms_per_mib"] = t.get("cpu_s", float("nan")) * 1e3 / mib
            f["run_ms_per_mib"] = t.get("run_s", float("nan")) * 1e3 / mib
            f["rss_kib"] = t.get("rss_kb", float("nan"))
        if kicks and os.path.exists(os.path.join(d, "writes.txt")):
            writes, unread = read_writes(os.path.join(d, "writes.txt"))
            pulses = read_pulses(os.path.join(d, "pulses.log"))
            f.update(latency_summary(writes, unread, pulses, kicks))
            f["kick_bytes"] = t.get("kick_bytes_at_sink", 0)
            f["warmup_whole"] = t.get("warmup_whole", 0)
        figures[name] = f
    return figures


def build_network_report(results, args):
    lines = [
        "# Network print port benchmark",
        "",
        f"{datetime.date.today().isoformat()}, `{args.command}`, {args.rounds} rounds, "
        f"{os.cpu_count()} cores. One client → TCP 127.0.0.1 → bridge → printer end (the sink), "
        "which the bench reads as fast as it comes. The bridge is Tralvo (`--listen=127.0.0.1:P "
        "--printer=SINK 1,0`, so `escpos` matching) or socat (`TCP-LISTEN:P,reuseaddr` to the "
        "same kind of sink, its default 8 KiB buffer); the two alternate within each round. "
        "Medians over the rounds, per-round values in brackets. Compare only within one run.",
    ]
    job_mib = args.net_bytes / MIB
    targets = []
    for kind, rounds in results:
        present = [n for n in BRIDGES if any(n in r for r in rounds)]
        m = lambda name, key: med([r for r in rounds if name in r], name, key)  # noqa: E731
        per_round = lambda name, key, d=0: " / ".join(  # noqa: E731
            fmt(float(r[name].get(key, float("nan"))), d) for r in rounds if name in r)
        cell = lambda n, key, d: (  # noqa: E731
            f"{fmt(m(n, key), d)} ({per_round(n, key, d)})" if n in present
            else "not measured (no network printer yet)")
        lines += ["", f"## Sink: {SINK_TITLES.get(kind, kind)}", "",
                  "| figure | Tralvo | socat |", "| --- | --- | --- |"]
        for label, key, d in (
            (f"{job_mib:g} MiB job, connect → last byte at the sink (MiB/s)", "mib_s", 1),
            ("CPU per MiB, /proc stat utime+stime (ms)", "cpu_ms_per_mib", 2),
            ("CPU per MiB, schedstat run time (ms)", "run_ms_per_mib", 2),
            ("VmRSS after the job (KiB)", "rss_kib", 0),
        ):
            lines.append(f"| {label} | " + " | ".join(cell(n, key, d) for n in BRIDGES) + " |")
        lines.append("| job arrived whole (every round) | " + " | ".join(
            str(all(r[n].get("whole", False) for r in rounds if n in r)) if n in present else ""
            for n in BRIDGES) + " |")
        if "tralvo" in present:
            t = [r["tralvo"] for r in rounds if "tralvo" in r]
            for label, key in (("p50", "p50_us"), ("p99", "p99_us"), ("max", "max_us")):
                lines.append(f"| kick on a new connection, last byte written → pulse, {label} "
                             f"(µs) | {cell('tralvo', key, 0)} | |")
            lines.append(
                f"| kicks missed / extra pulses, all rounds ({args.net_kicks} a round) | "
                f"{sum(f.get('missed', 0) for f in t)} / {sum(f.get('extra', 0) for f in t)} | |")
            lines.append(f"| kick bytes passed on to the sink (per round; 5 a kick) | "
                         f"{per_round('tralvo', 'kick_bytes')} | |")
            rate = ratio(m("tralvo", "mib_s"), m("socat", "mib_s"))
            cpu = ratio(m("tralvo", "cpu_ms_per_mib"), m("socat", "cpu_ms_per_mib"))
            targets.append(
                f"| {kind}: throughput at least half socat's | {fmt(rate, 2)}× (CPU per MiB "
                f"{fmt(cpu, 1)}×) | {verdict(not math.isnan(rate) and rate >= 0.5)} |")
            missed = sum(f.get("missed", 0) + f.get("extra", 0) for f in t)
            targets.append(f"| {kind}: every kick one pulse | {missed} missed or extra | "
                           f"{verdict(missed == 0)} |")
    lines += ["", "| target | seen | result |", "| --- | --- | --- |"] + targets
    lines += [
        "",
        f"Throughput: {args.net_bytes} bytes of receipt text (48-byte numbered lines of printable "
        "ASCII, no command) written on one new connection in 64 KiB writes, from just before "
        "connect() to the read() that completes them at the sink; it counts only when every "
        "byte arrived once and in order. CPU: the bridge's utime+stime (10 ms ticks) and its "
        "schedstat run time, read just before connect() and as the last byte came. Kicks "
        f"(Tralvo): {args.net_kicks} connections {args.net_interval_ms} ms apart, each writing "
        "ESC p 0x00 0x19 0xFA in one write() and closing, CLOCK_MONOTONIC just before the "
        "write() to the t= the stand-in library logs for the pulse; a warm-up job (which binds "
        "the library) comes before the throughput job and is not counted. The sinks: a named "
        "pipe (Tralvo writes it as a character device, socat opens it write-only), a "
        "pseudo-terminal's far end (a serial printer; its line discipline caps the rate), and a "
        "listening socket (a network printer).",
    ]
    return "\n".join(lines) + "\n"


def write_section(path, report):
    """Replaces the section ("# title" up to the next "# ") of the same title, or adds it."""
    title = report.splitlines()[0]
    sections = []
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                if line.startswith("# ") or not sections:
                    sections.append([])
                sections[-1].append(line)
    texts = ["".join(s).rstrip("\n") + "\n" for s in sections]
    for i, text in enumerate(texts):
        if text.splitlines()[0] == title:
            texts[i] = report
            break
    else:
        texts.append(report)
    with open(path, "w") as f:
        f.write("\n".join(texts))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("work")
    parser.add_argument("output")
    parser.add_argument("--command", default="bench/run.sh")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--commands", type=int, default=500)
    parser.add_argument("--interval-ms", type=int, default=20)
    parser.add_argument("--idle-s", type=int, default=10)
    parser.add_argument("--flood-bytes", type=int, default=8 * MIB)
    parser.add_argument("--passthrough", action="store_true")
    parser.add_argument("--job-bytes", type=int, default=4 * MIB)
    parser.add_argument("--small-writes", type=int, default=200)
    parser.add_argument("--small-bytes", type=int, default=64)
    parser.add_argument("--network", action="store_true")
    parser.add_argument("--net-sinks", default="fifo,pty,tcp")
    parser.add_argument("--net-bytes", type=int, default=32 * MIB)
    parser.add_argument("--net-kicks", type=int, default=200)
    parser.add_argument("--net-interval-ms", type=int, default=20)
    args = parser.parse_args()
    if args.network:
        results = [
            (kind, [measure_network_round(os.path.join(args.work, f"net-{kind}-{r}"),
                                          args.net_kicks)
                    for r in range(1, args.rounds + 1)])
            for kind in args.net_sinks.split(",")
        ]
        report = build_network_report(results, args)
    elif args.passthrough:
        rounds = [
            measure_passthrough_round(os.path.join(args.work, f"through{r}"))
            for r in range(1, args.rounds + 1)
        ]
        report = build_passthrough_report(rounds, args)
    else:
        rounds = [
            measure_round(os.path.join(args.work, f"round{r}"), args.commands)
            for r in range(1, args.rounds + 1)
        ]
        report = build_report(rounds, args)
    write_section(args.output, report)
    sys.stdout.write(report)


if __name__ == "__main__":
    main()
