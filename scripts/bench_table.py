"""Prints the benchmark suite's table from the JSON files that scripts/bench.sh wrote."""
import json
import os
import statistics
import sys


def runs(path, name):
    """The per-run entries of one benchmark (repetitions), in milliseconds and counters."""
    with open(path) as f:
        data = json.load(f)
    return [b for b in data["benchmarks"] if b.get("run_type") == "iteration" and b["run_name"] == name]


def spread(values):
    return statistics.median(values), min(values), max(values)


def row(rows, name, unit, values, target, better_low=True):
    median, low, high = spread(values)
    ratio = median / target if better_low else target / median
    rows.append((name, f"{median:.3f} {unit}", f"{low:.3f}..{high:.3f}", f"{'<=' if better_low else '>='} {target:g} {unit}", f"{ratio:.3f}"))


def main(folder):
    rows = []
    zk220 = runs(os.path.join(folder, "zk220.json"), "BM_ZK220_DecodeAndBothCsvWalks/min_time:2.000")
    row(rows, "model B: 1M records decoded, both CSV walks", "ms", [b["real_time"] for b in zk220], 500)
    row(rows, "model B: peak resident memory", "MB", [b["peak_rss_MB"] for b in zk220], zk220[0]["target_MB"])
    records = os.path.join(folder, "records.json")
    valid = [b["real_time"] for b in runs(records, "BM_ProcessSequential_AllValid")]
    half = [b["real_time"] for b in runs(records, "BM_ProcessSequential_HalfInvalid")]
    row(rows, "model A: full flash processed", "ms", valid, 60)
    row(rows, "model A: half invalid / all valid", "x", [h / v for h, v in zip(half, valid)], 2)
    export = [b["real_time"] for b in runs(records, "BM_ExportCsv_NextValue")]
    bare = [b["real_time"] for b in runs(records, "BM_ExportCsv_BareSnprintf")]
    row(rows, "CSV export / bare snprintf loop", "x", [e / b for e, b in zip(export, bare)], 1.5)
    tmg = [b["real_time"] for b in runs(records, "BM_Tmg_MillionVehicles/iterations:3/real_time")]
    row(rows, "tallyx tmg: 1M vehicles to volume records", "ms", tmg, 2000)
    archive = os.path.join(folder, "archive.json")
    if os.path.exists(archive):
        imports = runs(archive, "BM_Archive_ImportMillionVehicles/iterations:1/real_time")
        row(rows, "archive: import of 1M vehicles", "ms", [b["real_time"] for b in imports], 3000)
        row(rows, "archive: bytes per vehicle", "B", [b["bytes_per_vehicle"] for b in imports], 32)
        listing = runs(archive, "BM_Archive_ListTenThousandStudies/iterations:20/real_time")
        row(rows, "archive: list of 10,000 studies", "ms", [b["real_time"] for b in listing], 100)
        reports = runs(archive, "BM_Archive_ReportOfArchivedMillion/iterations:3/real_time")
        row(rows, "archive: report of an archived 1M study", "ms", [b["real_time"] for b in reports], 1500)
    with open(os.path.join(folder, "wire.json")) as f:
        for read in json.load(f):
            name = read["name"]
            rows.append((f"{name}: wall / floor", f"{read['ratio_median']:.4f} x",
                         f"{read['ratio_min']:.4f}..{read['ratio_max']:.4f}", "<= 1.02 x",
                         f"{read['ratio_median'] / 1.02:.3f}"))
            rows.append((f"{name}: CPU / wall", f"{read['cpu_percent_median']:.3f} %",
                         f"{read['cpu_percent_min']:.3f}..{read['cpu_percent_max']:.3f}", "<= 1 %",
                         f"{read['cpu_percent_median'] / 1.0:.3f}"))
    header = ("benchmark", "figure (median)", "min..max", "target", "ratio")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    line = lambda r: "  ".join(c.ljust(w) for c, w in zip(r, widths))
    print(line(header))
    print("  ".join("-" * w for w in widths))
    for r in rows:
        print(line(r))
    print("\nratio: figure / target; 1 or less meets the target.")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build-bench/results")
