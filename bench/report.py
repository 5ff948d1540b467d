#!/usr/bin/env python3
"""Tables and plot from a run of genreg_bench (Google Benchmark JSON).

    report.py RESULTS.json TABLES.md PLOT.png

Uses the median of the repetitions of each benchmark. The targets are
ratios of medians from the one run, so the noise of a shared machine
touches both sides of each ratio alike.
"""
import json
import sys

SIZES = [10, 100, 1000, 10000]


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
            continue
        name, size = b["run_name"].split("/")[:2]
        out[(name, int(size))] = {"us": b["real_time"], "peak": b.get("peak_bytes")}
    return out


def fmt_us(v):
    if v is None:
        return "-"
    return f"{v/1000:.2f} ms" if v >= 1000 else f"{v:.1f} us"


def ratio_row(m, label, num, den, limit, applies=lambda n: True):
    cells = []
    for n in SIZES:
        a, b = m.get((num, n)), m.get((den, n))
        if not applies(n):
            cells.append("n/a")
            continue
        if not a or not b:
            cells.append("-")
            continue
        r = a["us"] / b["us"]
        cells.append(f"{r:.2f} {'met' if r <= limit else 'missed'}")
    return f"| {label} (≤ {limit}) | " + " | ".join(cells) + " |"


# Bytes of the benchmark's profile file of n records: "VAR00000 = value00000\n".
def profile_bytes(n):
    return 22 * n


def peak_row(m, name):
    peaks = [m.get((name, n), {}).get("peak") for n in SIZES]
    if any(p is None for p in peaks):
        return f"| {name} peak heap independent of N | - |"
    # A few dozen bytes of jitter (the harness's own allocations falling in
    # a timed region) are not a dependence on N; a growing buffer would be.
    verdict = "met" if max(peaks) - min(peaks) <= 0.01 * min(peaks) else "missed"
    return f"| {name} peak heap independent of N | {int(min(peaks))}..{int(max(peaks))} bytes {verdict} |"


def main():
    results, tables, plot = sys.argv[1:4]
    m = medians(results)
    lines = ["| operation | " + " | ".join(f"N={n}" for n in SIZES) + " |",
             "|---|" + "---|" * len(SIZES)]
    names = sorted({k[0] for k in m}, key=lambda s: (not s.startswith(("Profile", "Bin", "Global")), s))
    for name in names:
        lines.append(f"| {name} | " + " | ".join(fmt_us(m.get((name, n), {}).get("us")) for n in SIZES) + " |")
    lines += ["", "Peak heap added by the operation (bytes):", "",
              "| operation | " + " | ".join(f"N={n}" for n in SIZES) + " |", "|---|" + "---|" * len(SIZES)]
    for name in names:
        peaks = [m.get((name, n), {}).get("peak") for n in SIZES]
        if any(p is not None for p in peaks):
            lines.append(f"| {name} | " + " | ".join("-" if p is None else f"{int(p)}" for p in peaks) + " |")
    lines += ["", "Targets (ratios of medians):", "",
              "| target | " + " | ".join(f"N={n}" for n in SIZES) + " |", "|---|" + "---|" * len(SIZES),
              ratio_row(m, "profile Get / lookup floor", "ProfileGet", "FloorLookup", 1.5),
              ratio_row(m, "binary Get / lookup floor", "BinGet", "FloorLookup", 1.5),
              ratio_row(m, "global Get / lookup floor", "GlobalGet", "FloorLookup", 1.5)]
    for store in ("Profile", "Bin", "Global"):
        for op in ("Change", "Add", "Delete"):
            lines.append(ratio_row(m, f"{store}{op} (verified, durable) / verified-update floor",
                                   f"{store}{op}", "FloorVerifiedUpdate", 1.3))
    lines += [ratio_row(m, "genreg profile get / git config --get", "ProcessGenregGet", "ProcessGitGet", 1.0),
              ratio_row(m, "genreg profile set / git config", "ProcessGenregSet", "ProcessGitSet", 1.0),
              ratio_row(m, "ProfileChange / SQLite update, files up to 100 KiB", "ProfileChange",
                        "SqliteUpdate", 1.0, lambda n: profile_bytes(n) <= 100 * 1024),
              "", "| memory target | result |", "|---|---|"]
    for store in ("Profile", "Bin", "Global"):
        for op in ("Get", "List", "Add", "Change", "Delete"):
            lines.append(peak_row(m, store + op))
    with open(tables, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("\n".join(lines))
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("report.py: python3-matplotlib is missing; no plot", file=sys.stderr)
        return
    fig, axes = plt.subplots(1, 2, figsize=(13, 5.5))
    groups = [("lookups", ["ProfileGet", "BinGet", "GlobalGet", "FloorLookup", "SqliteLookup",
                           "ProcessGenregGet", "ProcessGitGet"]),
              ("updates", ["ProfileChange", "BinChange", "GlobalChange", "ProfileAdd", "FloorUpdate",
                           "FloorVerifiedUpdate", "SqliteUpdate", "ProcessGenregSet", "ProcessGitSet"])]
    for ax, (title, series) in zip(axes, groups):
        for name in series:
            xs = [n for n in SIZES if (name, n) in m]
            if xs:
                ax.plot(xs, [m[(name, n)]["us"] for n in xs], marker="o", label=name)
        ax.set_xscale("log")
        ax.set_yscale("log")
        ax.set_xlabel("records in the file (N)")
        ax.set_ylabel("time per operation (us, median)")
        ax.set_title(title)
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=7)
    fig.tight_layout()
    fig.savefig(plot, dpi=110)


if __name__ == "__main__":
    main()
