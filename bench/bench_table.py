#!/usr/bin/env python3
"""Runs every benchmark program of a build and prints one table: each applet operation beside
the raw work it cannot avoid, with the ratio of the two and the target where there is one.

All figures come from this one run: the programs run one after the other, each benchmark
repeated, and the table uses the median CPU time per operation of each.

    python3 bench/bench_table.py build/dev/bin
"""

import argparse
import datetime
import json
import os
import subprocess
import sys
import tempfile

UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


class Row:
    """One line of the table. `applet` and `baseline` are lists of (program, benchmark, sign):
    their CPU times are summed with their signs. Labels may name the counters of either side's
    first benchmark in braces, e.g. "{register_writes} writes"."""

    def __init__(self, label, applet, baseline=None, baseline_label="", target=None,
                 target_text="", real_time=False):
        self.label = label
        self.real_time = real_time  # the applet side's wall-clock time (work on other threads)
        self.applet = applet
        self.baseline = baseline or []
        self.baseline_label = baseline_label
        self.target = target  # the largest ratio that meets the target
        self.target_text = target_text


def one(program, name, sign=1):
    return [(program, name, sign)]


SECTIONS = [
    ("Parameters, per call", [
        Row("get, stored value (FG_WIDTH)",
            one("parameter_bench", "appletGetStored"),
            one("parameter_bench", "rawRegisterWrites/1"), "1 raw register write",
            2.0, "<= 2"),
        Row("set, stored value (FG_WIDTH, both banks)",
            one("parameter_bench", "appletSetStored"),
            one("parameter_bench", "rawRegisterWrites/2"), "2 raw register writes"),
        Row("get, register-backed (FG_OVERFLOW)",
            one("parameter_bench", "appletGetRegister"),
            one("parameter_bench", "rawRegisterRead"), "1 raw register read"),
        Row("set, register-backed (FG_FORMAT, 1 register)",
            one("parameter_bench", "appletSetRegister"),
            one("parameter_bench", "rawRegisterWrites/1"), "1 raw register write",
            3.0, "<= 3"),
        Row("get, host-forwarded (FG_NR_OF_DMAS)",
            one("parameter_bench", "appletGetHostForwarded"),
            one("parameter_bench", "rawHostGet"), "1 raw host get"),
        Row("set, host-forwarded (FG_TIMEOUT)",
            one("parameter_bench", "appletSetHostForwarded"),
            one("parameter_bench", "rawHostSet"), "1 raw host set"),
    ]),
    ("Start-up", [
        Row("Std_entry to Fg_FreeGrabber",
            one("startup_bench", "appletStartAndFree"),
            one("startup_bench", "rawStartupWork"),
            "{register_writes} writes + {heap_blocks} heap blocks", 3.0, "<= 3"),
        Row("  the runtime's image load within it",
            one("startup_bench", "runtimeImageLoad"),
            one("startup_bench", "rawStartupWork"),
            "{register_writes} writes + {heap_blocks} heap blocks"),
        Row("  start-up less the image load",
            one("startup_bench", "appletStartAndFree") +
            one("startup_bench", "runtimeImageLoad", -1),
            one("startup_bench", "rawStartupWork"),
            "{register_writes} writes + {heap_blocks} heap blocks"),
    ]),
    ("Information", [
        Row("GenApi document, written by the applet",
            one("genapi_bench", "appletWritesDocument"),
            one("genapi_bench", "aravisParsesDocument"), "Aravis parsing it"),
        Row("information tree walk ({nodes} nodes)",
            one("genapi_bench", "infoTreeWalk")),
    ]),
    ("Configuration files", [
        Row("save",
            one("config_bench", "appletSaveConfig"),
            one("config_bench", "fileWriteSameBytes"), "writing the {file_bytes} bytes"),
        Row("load",
            one("config_bench", "appletLoadConfig"),
            one("config_bench", "fileReadAndLoadWrites"),
            "reading them + {register_writes} writes"),
    ]),
    ("Lookup table", [
        Row("recompute (gamma 2.2) and write",
            one("lut_bench", "recomputeAndWriteThroughTheApplet"),
            one("lut_bench", "computeTableAlone") + one("lut_bench", "rawTableWrite"),
            "computation + 1 raw table write"),
    ]),
    ("Trigger", [
        Row("software trigger, 2040 pulses",
            one("trigger_bench", "softwareTriggerFullQueue"),
            one("trigger_bench", "rawPulseWrites"), "2040 raw register writes"),
    ]),
    ("Saving pictures, 1024x1024 8 bit (pvctl grab)", [
        Row("PNG, sustained: {pictures_per_second} pictures/s, {writers} writers",
            one("save_bench", "sustainedSave/png/real_time"),
            one("save_bench", "encodeOne/png"), "encoding one picture", real_time=True),
        Row("raw, sustained: {pictures_per_second} pictures/s, {writers} writers",
            one("save_bench", "sustainedSave/raw/real_time"),
            one("save_bench", "encodeOne/raw"), "writing one file", real_time=True),
    ]),
    ("Virtual board", [
        Row("virtual board frame vs memory copy",
            one("frame_bench", "BM_FrameModel"),
            one("frame_bench", "BM_MemoryCopy"), "memcpy of the same bytes",
            2.0, ">= 1/2 speed"),
    ]),
]


def programs_needed():
    names = []
    for _, rows in SECTIONS:
        for row in rows:
            for program, _, _ in row.applet + row.baseline:
                if program not in names:
                    names.append(program)
    return names


def run_program(bin_dir, program, out_dir, args):
    """Runs one program; returns {benchmark: entry} of median aggregates, or an error text."""
    path = os.path.join(bin_dir, program)
    if not os.path.exists(path):
        return None
    out = os.path.join(out_dir, program + ".json")
    env = dict(os.environ)
    lib = os.path.normpath(os.path.join(bin_dir, "..", "lib"))
    env["LD_LIBRARY_PATH"] = os.pathsep.join(
        p for p in [lib, os.path.join(lib, "host"), env.get("LD_LIBRARY_PATH", "")] if p)
    command = [os.path.abspath(path), "--benchmark_out=" + out, "--benchmark_out_format=json",
               "--benchmark_repetitions=%d" % args.repetitions,
               "--benchmark_report_aggregates_only=true",
               "--benchmark_min_time=%g" % args.min_time]
    print("running %s" % program, file=sys.stderr, flush=True)
    result = subprocess.run(command, cwd=bin_dir, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0 or not os.path.exists(out):
        return "failed (exit %d): %s" % (result.returncode, result.stderr.strip()[-200:])
    with open(out) as f:
        data = json.load(f)
    entries = {}
    for b in data.get("benchmarks", []):
        name = b.get("run_name", b.get("name"))
        if b.get("error_occurred"):
            entries[name] = {"error": b.get("error_message", "error")}
        elif b.get("aggregate_name", "median") == "median" and "error" not in entries.get(
                name, {}):
            entries[name] = b
    return {"context": data.get("context", {}), "entries": entries}


def cpu_ns(entry, real_time=False):
    return entry["real_time" if real_time else "cpu_time"] * UNIT_NS[entry.get("time_unit", "ns")]


def resolve(results, terms, real_time=False):
    """Sum of the terms' CPU times, the first term's entry (for its counters), or an error."""
    total = 0.0
    first = None
    for program, name, sign in terms:
        found = results.get(program)
        if found is None:
            return None, None, "not built"
        if isinstance(found, str):
            return None, None, found
        entry = found["entries"].get(name)
        if entry is None:
            return None, None, "%s missing" % name
        if "error" in entry:
            return None, None, "%s: %s" % (name, entry["error"])
        total += sign * cpu_ns(entry, real_time)
        first = first or entry
    return total, first, None


def fmt_time(ns):
    if ns is None:
        return ""
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if abs(ns) >= scale:
            return "%.3g %s" % (ns / scale, unit)
    return "%.3g ns" % ns


def fill(label, *entries):
    values = {}
    for entry in entries:
        for k, v in (entry or {}).items():
            if isinstance(v, (int, float)) and k not in values:
                values[k] = "%d" % v if float(v).is_integer() else "%.3g" % v
    try:
        return label.format(**values)
    except (KeyError, ValueError):
        return label


def print_table(results, args):
    header = ("Operation", "Applet", "Baseline", "Baseline time", "Ratio", "Target", "")
    lines = []
    unmet = []
    for section, rows in SECTIONS:
        lines.append((section,))
        for row in rows:
            applet, applet_entry, applet_error = resolve(results, row.applet, row.real_time)
            if applet_error is not None:
                if row.target is not None:
                    unmet.append(fill(row.label).strip() + " (not measured)")
                lines.append((fill(row.label), applet_error, "", "", "", row.target_text, ""))
                continue
            if not row.baseline:
                lines.append((fill(row.label, applet_entry), fmt_time(applet), "", "", "", "", ""))
                continue
            base, base_entry, base_error = resolve(results, row.baseline)
            label = fill(row.label, base_entry, applet_entry)
            if base_error is not None:
                if row.target is not None:
                    unmet.append(label.strip() + " (not measured)")
                lines.append((label, fmt_time(applet), row.baseline_label, base_error, "",
                              row.target_text, ""))
                continue
            ratio = applet / base if base > 0 else float("inf")
            verdict = ""
            if row.target is not None:
                verdict = "met" if ratio <= row.target else "NOT MET"
                if ratio > row.target:
                    unmet.append(label.strip())
            baseline_label = fill(row.baseline_label, base_entry, applet_entry)
            lines.append((label, fmt_time(applet), baseline_label, fmt_time(base),
                          "%.2f" % ratio, row.target_text, verdict))

    widths = [max(len(line[i]) for line in [header] + [l for l in lines if len(l) > 1])
              for i in range(len(header))]

    def show(cells):
        return "  ".join(c.ljust(w) if i in (0, 2, 5, 6) else c.rjust(w)
                         for i, (c, w) in enumerate(zip(cells, widths))).rstrip()

    context = next((r["context"] for r in results.values() if isinstance(r, dict)), {})
    print()
    print("Pellvane benchmarks, %s, %s CPUs at %s MHz, load %s" % (
        datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), context.get("num_cpus", "?"),
        context.get("mhz_per_cpu", "?"),
        " ".join("%.2f" % v for v in context.get("load_avg", [])) or "?"))
    print("CPU time per operation (saving: wall-clock time per picture), median of %d "
          "repetitions; ratio = applet / baseline." % args.repetitions)
    print()
    print(show(header))
    print(show(tuple("-" * w for w in widths)))
    for line in lines:
        if len(line) == 1:
            print(line[0] + ":")
        else:
            print(show(line))
    print()
    if unmet:
        print("Targets not met: " + "; ".join(unmet) + " (see docs/performance.md).")
    else:
        print("Every target is met.")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bin_dir", help="the build's bin folder, e.g. build/dev/bin")
    parser.add_argument("--repetitions", type=int, default=3)
    parser.add_argument("--min-time", type=float, default=0.2,
                        help="seconds each repetition of a benchmark runs at least")
    parser.add_argument("--json-dir", help="keep Google Benchmark's JSON output here")
    args = parser.parse_args()

    bin_dir = os.path.abspath(args.bin_dir)
    with tempfile.TemporaryDirectory() as scratch:
        out_dir = os.path.abspath(args.json_dir or scratch)
        os.makedirs(out_dir, exist_ok=True)
        results = {p: run_program(bin_dir, p, out_dir, args) for p in programs_needed()}
    results = {p: r for p, r in results.items() if r is not None}
    print_table(results, args)
    failed = [p for p, r in results.items() if isinstance(r, str)]
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
