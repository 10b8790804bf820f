#!/usr/bin/env python3
"""Draws a capture of zorva-devhost: the vertical force of every plate over
time, and each plate's centre-of-pressure path over the plate's outline.

    zorva_plot.py CAPTURE.csv OUT.png [--plate NAME X Y]...
    zorva_plot.py --check

The CSV is the one `zorva-devhost capture --csv` writes (one row per sample
and plate). Each --plate gives a plate's size in metres (X, Y) for its
outline; plates without one are drawn without an outline. --check only tests
that matplotlib can be imported.

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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("csv", nargs="?")
    parser.add_argument("png", nargs="?")
    parser.add_argument("--plate", nargs=3, action="append", default=[], metavar=("NAME", "X", "Y"))
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        from matplotlib.patches import Rectangle
    except ImportError as error:
        if not args.check:
            print("zorva_plot: matplotlib cannot be imported by %s: %s" % (sys.executable, error), file=sys.stderr)
        return NO_MATPLOTLIB
    if args.check:
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
