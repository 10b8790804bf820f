#!/usr/bin/env python3
"""Draws a capture of zorva-devhost: the vertical force of every plate over
time, and each plate's centre-of-pressure path over the plate's outline; or
the plots of a self-test's report.

    zorva_plot.py CAPTURE.csv OUT.png [--plate NAME X Y]...
    zorva_plot.py --selftest FOLDER
    zorva_plot.py --check

The CSV is the one `zorva-devhost capture --csv` writes (one row per sample
and plate). Each --plate gives a plate's size in metres (X, Y) for its
outline; plates without one are drawn without an outline. --selftest reads
the files `zorva-devhost selftest --report FOLDER` writes there (rest.csv,
rates.csv, weight.csv, limits.csv) and draws rest.png, rates.png and
weight.png beside them, each only when it has data. --check only tests that
matplotlib can be imported.

Exit codes: 0 done, 1 bad input, 3 matplotlib missing.
"""
import argparse
import csv
import math
import sys

NO_MATPLOTLIB = 3


def load(path):
    """Rows by plate, in file order: lists of (time or sample, Fz, CoPx, CoPy)."""
    plates = {}
    with open(path, newline="") as f:
        reader = csv.DictReader(f)
        missing = {"plate", "sample", "time_s", "Fz_N", "CoPx_m", "CoPy_m"} - set(reader.fieldnames or [])
        if missing:
            raise ValueError("%s lacks the columns %s" % (path, ", ".join(sorted(missing))))
        for row in reader:
            sample = int(row["sample"])
            time = float(row["time_s"]) if row["time_s"] else float(sample)
            plates.setdefault(row["plate"], []).append(
                (sample, time, float(row["Fz_N"]), float(row["CoPx_m"]), float(row["CoPy_m"])))
    return plates


def broken_where_not_consecutive(rows):
    """Times and Fz with a gap (NaN) wherever the sample numbers jump."""
    times, forces = [], []
    previous = None
    for sample, time, fz, _, _ in rows:
        if previous is not None and sample != previous + 1:
            times.append(math.nan)
            forces.append(math.nan)
        times.append(time)
        forces.append(fz)
        previous = sample
    return times, forces


def zoom_in(axes, loaded, x_size, y_size):
    """An inset of the path in millimetres when at the plate's scale it would
    be a dot (someone standing sways a few millimetres)."""
    xs = [p[0] for p in loaded]
    ys = [p[1] for p in loaded]
    span = max(max(xs) - min(xs), max(ys) - min(ys))
    plate = min(x_size, y_size)
    if plate <= 0 or span >= 0.1 * plate:
        return
    cx = (max(xs) + min(xs)) / 2
    cy = (max(ys) + min(ys)) / 2
    # In the corner away from the path, below the legend.
    left = 0.06 if cx > 0 else 0.52
    bottom = 0.06 if cy > 0 else 0.46
    inset = axes.inset_axes([left, bottom, 0.42, 0.42])
    inset.plot([(x - cx) * 1000 for x in xs], [(y - cy) * 1000 for y in ys], "-", linewidth=0.6)
    half = max(span * 1000 / 2, 0.5) * 1.15
    inset.set_xlim(-half, half)
    inset.set_ylim(-half, half)
    inset.set_aspect("equal")
    inset.set_title("mm about (%.3f, %.3f) m" % (cx, cy), fontsize="xx-small")
    inset.tick_params(labelsize="xx-small")
    inset.grid(True, alpha=0.3)


def read_rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def by_plate(rows):
    plates = {}
    for row in rows:
        plates.setdefault(row["plate"], []).append(row)
    return plates


def selftest_rest(plt, folder, limits):
    """Each zeroed plate at rest, a panel per channel: the trace, its mean,
    +- its standard deviation (dashed) and the band of +- the noise limit the
    standard deviation must stay within; a channel over its limit has a red
    title."""
    plates = by_plate(read_rows(folder + "/rest.csv"))
    if not plates:
        return
    channels = (("Fx_N", "N"), ("Fy_N", "N"), ("Fz_N", "N"), ("Mx_Nm", "N m"), ("My_Nm", "N m"), ("Mz_Nm", "N m"))
    figure, axes = plt.subplots(len(plates), len(channels), figsize=(17.0, 2.7 * len(plates) + 0.6),
                                squeeze=False)
    for row, (name, samples) in enumerate(plates.items()):
        times = [float(s["time_s"]) for s in samples]
        for column, (channel, unit) in enumerate(channels):
            ax = axes[row][column]
            short = channel.split("_")[0]
            values = [float(s[channel]) for s in samples]
            mean = sum(values) / len(values)
            deviation = math.sqrt(sum((v - mean) ** 2 for v in values) / max(len(values) - 1, 1))
            limit = limits.get("noise_" + short, math.inf)
            over = deviation > limit
            if math.isfinite(limit):
                ax.axhspan(mean - limit, mean + limit, color="red" if over else "green", alpha=0.12)
            ax.plot(times, values, linewidth=0.5, color="tab:red" if over else "tab:blue")
            ax.axhline(mean, color="black", linewidth=0.8)
            # The measured standard deviation beside the limit: the check
            # passes when these lines lie inside the band (single samples
            # may well stray beyond it).
            for side in (-1.0, 1.0):
                ax.axhline(mean + side * deviation, color="black", linewidth=0.8, linestyle="--")
            ax.set_title("%s: sd %.3g %s (limit %g)%s" % (short, deviation, unit, limit, ", FAILED" if over else ""),
                         fontsize="small", color="red" if over else "black")
            ax.tick_params(labelsize="x-small")
            ax.grid(True, alpha=0.3)
            if row == len(plates) - 1:
                ax.set_xlabel("time (s)", fontsize="small")
            if column == 0:
                ax.set_ylabel("%s\n%s" % (name, unit), fontsize="small")
            # At least the band in view, so a quiet channel is not blown up to fill the panel.
            span = max(2.0 * limit if math.isfinite(limit) else 0.0, max(abs(v - mean) for v in values) * 1.1)
            ax.set_ylim(mean - span, mean + span)
    figure.suptitle("At rest after the zero: each channel, its mean (black), +- its standard deviation (dashed), "
                    "which must lie within +- the noise limit (shaded)",
                    fontsize="medium")
    figure.tight_layout()
    figure.savefig(folder + "/rest.png", dpi=80)
    plt.close(figure)


def selftest_rates(plt, folder, limits):
    """Rate error in ppm at each rate tested (evenly spaced), per plate, with
    its uncertainty and the limit shaded; red crosses where a capture lost or
    repeated samples."""
    plates = by_plate(read_rows(folder + "/rates.csv"))
    if not plates:
        return
    limit = limits.get("rate_ppm", 0.0)
    rates = sorted({int(r["rate"]) for rows in plates.values() for r in rows})
    position = {rate: i for i, rate in enumerate(rates)}
    figure, ax = plt.subplots(figsize=(max(8.0, 0.45 * len(rates) + 4.0), 5.0))
    if limit > 0:
        ax.axhspan(-limit, limit, color="green", alpha=0.08, label="limit +-%g ppm" % limit)
    count = len(plates)
    highest = limit
    for index, (name, rows) in enumerate(plates.items()):
        shift = 0.3 * (index - (count - 1) / 2.0) / max(count - 1, 1)
        measured = [r for r in rows if r["measured"] == "1"]
        ppm = [float(r["ppm"]) for r in measured]
        ax.errorbar([position[int(r["rate"])] + shift for r in measured], ppm,
                    yerr=[float(r["uncertainty_ppm"]) for r in measured], fmt="o", markersize=4, capsize=2,
                    label=name)
        highest = max([highest] + [abs(v) for v in ppm])
        for r in rows:
            if int(r["lost_samples"]) == 0 and int(r["repeated_samples"]) == 0 and r["measured"] == "1":
                continue
            y = float(r["ppm"]) if r["measured"] == "1" else 0.0
            x = position[int(r["rate"])] + shift
            ax.plot([x], [y], "x", color="red", markersize=10, markeredgewidth=2)
            words = ["%s %s" % (what, r[key]) for what, key in (("lost", "lost_samples"),
                                                                 ("repeated", "repeated_samples")) if r[key] != "0"]
            ax.annotate(", ".join(words) or "not timed", (x, y), textcoords="offset points",
                        xytext=(-10, 10 + 11 * index), fontsize="x-small", color="red")
    ax.set_xticks(range(len(rates)))
    ax.set_xticklabels([str(r) for r in rates], rotation=90 if len(rates) > 12 else 0, fontsize="small")
    ax.set_xlim(-0.6, len(rates) - 0.4)
    ax.set_ylim(-highest * 1.3, highest * 1.3)
    ax.set_xlabel("acquisition rate (datasets per second)")
    ax.set_ylabel("achieved rate - nominal (ppm)")
    ax.set_title("Achieved rate against this computer's clock")
    ax.grid(True, alpha=0.3)
    ax.legend(loc="upper right", fontsize="small")
    figure.tight_layout()
    figure.savefig(folder + "/rates.png", dpi=90)
    plt.close(figure)


def selftest_weight(plt, Rectangle, Circle, folder, limits):
    """Each known weight: Fz against m g and its tolerance, and where the plate
    put it against where it stood."""
    plates = by_plate(read_rows(folder + "/weight.csv"))
    if not plates:
        return
    figure, axes = plt.subplots(len(plates), 2, figsize=(12.0, 4.0 * len(plates)), squeeze=False)
    for row, (name, samples) in enumerate(plates.items()):
        first = samples[0]
        expected = float(first["expected_N"])
        tolerance = float(first["tolerance_N"])
        ax = axes[row][0]
        ax.axhspan(expected - tolerance, expected + tolerance, color="green", alpha=0.1,
                   label="m g +-%.1f N" % tolerance)
        ax.axhline(expected, color="green", linewidth=1.0)
        ax.plot([float(s["time_s"]) for s in samples], [float(s["Fz_N"]) for s in samples], linewidth=0.7,
                label="Fz")
        ax.set_title("%s: %s kg, Fz against m g = %.1f N" % (name, first["kg"], expected), fontsize="small")
        ax.set_xlabel("time (s)")
        ax.set_ylabel("N")
        ax.grid(True, alpha=0.3)
        ax.legend(loc="upper right", fontsize="x-small")
        # Where the plate puts it, in millimetres about where it stood (or
        # about its mean), with the plate and the point in a corner.
        ax = axes[row][1]
        xs = [float(s["CoPx_m"]) for s in samples]
        ys = [float(s["CoPy_m"]) for s in samples]
        given = first["at_given"] == "1"
        cx, cy = (float(first["target_x_m"]), float(first["target_y_m"])) if given else (
            sum(xs) / len(xs), sum(ys) / len(ys))
        tolerance = limits.get("cop_m", 0.01) * 1000
        dx = [(x - cx) * 1000 for x in xs]
        dy = [(y - cy) * 1000 for y in ys]
        ax.plot(dx, dy, ".", markersize=2, alpha=0.4, label="centre of pressure")
        mx, my = sum(dx) / len(dx), sum(dy) / len(dy)
        off = math.hypot(mx, my)
        ax.plot([mx], [my], "s", color="black", markersize=6, label="its mean: %.1f mm off" % off)
        if given:
            ax.add_patch(Circle((0, 0), tolerance, fill=False, edgecolor="red" if off > tolerance else "green",
                                linewidth=1.5, label="limit %g mm" % tolerance))
            ax.plot([0], [0], "+", color="green", markersize=12, label="where it stood")
        half = max(tolerance * 1.5, off * 1.3, max(max(map(abs, dx)), max(map(abs, dy))) * 1.2)
        ax.set_xlim(-half, half)
        ax.set_ylim(-half, half)
        ax.set_aspect("equal")
        ax.set_xlabel("x (mm)")
        ax.set_ylabel("y (mm)")
        ax.set_title("%s: centre of pressure about %s (x %.3f m, y %.3f m)" % (
            name, "where it stood" if given else "its mean", cx, cy), fontsize="small")
        ax.grid(True, alpha=0.3)
        ax.legend(loc="upper right", fontsize="x-small")
        x_size, y_size = float(first["size_x_m"]), float(first["size_y_m"])
        if x_size > 0 and y_size > 0:
            inset = ax.inset_axes([0.02, 0.02, 0.28, 0.28])
            inset.add_patch(Rectangle((-x_size / 2, -y_size / 2), x_size, y_size, fill=False, edgecolor="black"))
            inset.plot([cx], [cy], "+", color="green", markersize=8)
            edge = max(x_size, y_size) / 2 * 1.1
            inset.set_xlim(-edge, edge)
            inset.set_ylim(-edge, edge)
            inset.set_aspect("equal")
            inset.set_xticks([])
            inset.set_yticks([])
            inset.set_title("on the plate", fontsize="xx-small")
    figure.tight_layout()
    figure.savefig(folder + "/weight.png", dpi=90)
    plt.close(figure)


def selftest(plt, Rectangle, Circle, folder):
    limits = {row["name"]: float(row["value"]) for row in read_rows(folder + "/limits.csv")}
    selftest_rest(plt, folder, limits)
    selftest_rates(plt, folder, limits)
    selftest_weight(plt, Rectangle, Circle, folder, limits)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("csv", nargs="?")
    parser.add_argument("png", nargs="?")
    parser.add_argument("--plate", nargs=3, action="append", default=[], metavar=("NAME", "X", "Y"))
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--selftest", metavar="FOLDER")
    args = parser.parse_args()

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        from matplotlib.patches import Circle, Rectangle
    except ImportError as error:
        if not args.check:
            print("zorva_plot: matplotlib cannot be imported by %s: %s" % (sys.executable, error), file=sys.stderr)
        return NO_MATPLOTLIB
    if args.check:
        return 0
    if args.selftest:
        try:
            selftest(plt, Rectangle, Circle, args.selftest)
        except (OSError, ValueError, KeyError) as error:
            print("zorva_plot: %s" % error, file=sys.stderr)
            return 1
        return 0
    if not args.csv or not args.png:
        parser.error("give the CSV file and the PNG file")

    try:
        plates = load(args.csv)
        sizes = {name: (float(x), float(y)) for name, x, y in args.plate}
    except (OSError, ValueError) as error:
        print("zorva_plot: %s" % error, file=sys.stderr)
        return 1
    names = [name for name, _, _ in args.plate if name in plates]
    names += [name for name in plates if name not in names]
    count = max(len(names), 1)

    figure = plt.figure(figsize=(max(8.0, 4.0 * count), 8.0))
    grid = figure.add_gridspec(2, count, height_ratios=[1.0, 1.4])
    force = figure.add_subplot(grid[0, :])
    for name in names:
        times, forces = broken_where_not_consecutive(plates[name])
        force.plot(times, forces, label=name, linewidth=1.0)
    force.set_xlabel("time (s)")
    force.set_ylabel("Fz (N)")
    force.set_title("Vertical force")
    force.grid(True, alpha=0.3)
    if names:
        force.legend(loc="upper right", fontsize="small")

    for column, name in enumerate(names):
        axes = figure.add_subplot(grid[1, column])
        x_size, y_size = sizes.get(name, (0.0, 0.0))
        if x_size > 0 and y_size > 0:
            axes.add_patch(Rectangle((-x_size / 2, -y_size / 2), x_size, y_size,
                                     fill=False, edgecolor="black", linewidth=1.5))
        loaded = [(cx, cy) for _, _, fz, cx, cy in plates[name] if fz != 0.0]
        if loaded:
            axes.plot([p[0] for p in loaded], [p[1] for p in loaded], ".", markersize=2, alpha=0.5)
            axes.plot([loaded[0][0]], [loaded[0][1]], "go", markersize=5, label="first")
            axes.plot([loaded[-1][0]], [loaded[-1][1]], "rs", markersize=5, label="last")
            axes.legend(loc="upper right", fontsize="x-small")
            zoom_in(axes, loaded, x_size, y_size)
        else:
            axes.text(0.5, 0.5, "no sample above the threshold", transform=axes.transAxes,
                      ha="center", va="center")
        margin = 0.1 * max(x_size, y_size, 0.1)
        half_x = max(x_size / 2, max((abs(p[0]) for p in loaded), default=0.0)) + margin
        half_y = max(y_size / 2, max((abs(p[1]) for p in loaded), default=0.0)) + margin
        axes.set_xlim(-half_x, half_x)
        axes.set_ylim(-half_y, half_y)
        axes.set_aspect("equal")
        axes.set_xlabel("CoP x (m)")
        axes.set_ylabel("CoP y (m)")
        axes.set_title(name, fontsize="small")
        axes.grid(True, alpha=0.3)

    figure.tight_layout()
    try:
        figure.savefig(args.png, dpi=100)
    except OSError as error:
        print("zorva_plot: cannot write %s: %s" % (args.png, error), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
