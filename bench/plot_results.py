#!/usr/bin/python3
"""Draws the benchmark's figures: bits per sample against decode MB/s and against encode MB/s.

Run with Debian's Python, which has matplotlib once python3-matplotlib is installed:

    /usr/bin/python3 bench/plot_results.py [--results build/bench/results.json]
                                           [--decode-out bench/decode_speed.png] [--encode-out bench/encode_speed.png]

It reads the results.json that bench/run_benchmark.py writes (the per-group figures of every row, as in the
tables) and draws two PNG files, each with one panel per image group: every codec and mode is a point at its
speed (wall clock of whole processes, raw samples per second) and its bits per sample. Lower is smaller,
further right is faster. run_benchmark.py runs this script itself at the end of a run.
"""

import argparse
import json
import math
import os
import sys
import textwrap

try:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    from matplotlib.lines import Line2D
    from matplotlib.ticker import FuncFormatter, LogLocator, NullFormatter
    from matplotlib.transforms import Bbox
except ImportError:
    # The styles stay importable without it (the benchmark's tests check them); main() says what to install.
    matplotlib = None

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# How each kind of row looks: (colour, marker, filled, name in the legend, short name for point labels).
PEERS = [
    ("CharLS", "#1f77b4", "s", "CharLS (JPEG-LS)", "CharLS"),
    ("OpenJPEG", "#2ca02c", "p", "OpenJPEG (JPEG 2000)", "OpenJPEG"),
    ("HTJ2K", "#ff7f0e", "P", "HTJ2K (OpenJPH)", "HTJ2K"),
    ("cjxl -d 0 -e 1", "#9467bd", "^", "cjxl -e 1 (JPEG XL)", "JXL e1"),
    ("cjxl -d 0 -e 3", "#8c564b", "v", "cjxl -e 3 (JPEG XL)", "JXL e3"),
    ("cwebp", "#17becf", "D", "cwebp -lossless (WebP)", "WebP"),
    ("pnmtopng", "#e377c2", "X", "pnmtopng (PNG)", "PNG"),
]
VRK_COLOUR = "#d62728"
EXTRA_COLOURS = ["#7f7f7f", "#bcbd22", "#393b79", "#637939"]
OTHER_COLOURS = ["#aec7e8", "#98df8a", "#c5b0d5", "#c49c94"]
# Point labels: small, on a light backing so that grid and connecting lines do not strike them through.
LABEL_STYLE = dict(fontsize=7, color="#222222", zorder=5,
                   bbox=dict(boxstyle="square,pad=0.1", facecolor="white", edgecolor="none", alpha=0.75))


def family_of(codec):
    """The codec's family: from results.json when it has one, else from the label."""
    if codec.get("family"):
        return codec["family"]
    label = codec["label"]
    if label.startswith("vrk 1 thread"):
        return "vrk 1 thread"
    if label.startswith("vrk["):
        return "vrk extra"
    if label.startswith("vrk "):
        return "vrk"
    return label


def load(path):
    """Returns (data, codecs, groups): codecs a list of dicts with label, family, mode, lossless; groups a
    list of dicts with group, title, images, raw_bytes and rows ({label: summary as in the tables})."""
    with open(path) as f:
        data = json.load(f)
    codecs = data.get("codecs")
    if codecs is None:
        # A results.json from before the rows were described: derive what is needed from the labels.
        codecs = [dict(label=label) for label in data["results"]]
    for codec in codecs:
        codec["family"] = family_of(codec)
        codec.setdefault("mode", codec["label"].split(" ", 1)[1] if codec["family"] == "vrk" else "")
        codec.setdefault("lossless", "loss" not in codec["label"])
    groups = data.get("groups")
    if groups is None:
        # An older results.json without the group figures: the benchmark's own aggregation computes them.
        sys.path.insert(0, HERE)
        import run_benchmark
        labels = [c["label"] for c in codecs]
        groups = [dict(group=group, title=title, images=[im["name"] for im in group_images],
                       raw_bytes=sum(im["raw_bytes"] for im in group_images), rows=rows)
                  for group, title, group_images, rows in run_benchmark.group_summaries(
                      data["images"], data["results"], labels, data.get("reference", run_benchmark.REFERENCE))]
    return data, codecs, groups


class Styles:
    """Colour, marker and names of every row, stable across the panels and the two figures."""

    def __init__(self, codecs, cores=None):
        self.by_label, self.legend, extras, others = {}, [], {}, {}
        for codec in codecs:
            label, family = codec["label"], codec["family"]
            lossy = not codec.get("lossless", True)
            if family in ("vrk", "vrk 1 thread"):
                one = family == "vrk 1 thread"
                mode = codec.get("mode") or label.split(" ", 3 if one else 1)[-1]
                # The 1 thread rings are larger and lie under the filled dots: where both have the same
                # speed, a dot in a ring shows the two.
                style = dict(colour=VRK_COLOUR, marker="*" if lossy else "o", filled=not one,
                             size=(220 if one else 150) if lossy else (130 if one else 60),
                             short=("1t " if one else "vrk ") + mode,
                             legend=("vrk lossy, automatic threads" if lossy and not one else
                                     "vrk lossy, 1 thread" if lossy else
                                     "vrk 1 thread (VRK_THREADS=1), labelled 1t" if one else
                                     "vrk, automatic threads" + (" (two stages)" if (cores or 2) >= 2 else "")))
            elif family.startswith("vrk extra"):
                name = label.split(" ", 1)[0]
                colour = extras.setdefault(name, EXTRA_COLOURS[len(extras) % len(EXTRA_COLOURS)])
                style = dict(colour=colour, marker="*" if lossy else "d", filled=True, size=70,
                             short=label, legend="%s (--extra-vrk)" % name)
            else:
                for prefix, colour, marker, legend, short in PEERS:
                    if label.startswith(prefix):
                        style = dict(colour=colour, marker=marker, filled=True, size=60, short=short,
                                     legend=legend + ", 1 thread")
                        break
                else:
                    colour = others.setdefault(label, OTHER_COLOURS[len(others) % len(OTHER_COLOURS)])
                    style = dict(colour=colour, marker="h", filled=True, size=60, short=label.split(" (")[0],
                                 legend=label)
            self.by_label[label] = style
            if style["legend"] not in [s["legend"] for s in self.legend]:
                self.legend.append(style)

    def handles(self):
        return [Line2D([], [], linestyle="none", marker=s["marker"], markersize=math.sqrt(s["size"]),
                       markeredgecolor=s["colour"], markerfacecolor=s["colour"] if s["filled"] else "none",
                       markeredgewidth=1.5, label=s["legend"]) for s in self.legend]


def boxes_overlap(a, b, pad=1.0):
    return not (a.x1 + pad < b.x0 or b.x1 + pad < a.x0 or a.y1 + pad < b.y0 or b.y1 + pad < a.y0)


def place_labels(fig, ax, points):
    """Writes each point's label next to it where it overlaps no other label, no point and stays inside
    the panel, trying positions ever further away; a label that lands away from its point gets a thin
    line to it. points: [(x, y, text, colour, marker radius in points)]."""
    fig.canvas.draw()
    renderer = fig.canvas.get_renderer()
    frame = ax.get_window_extent(renderer)
    dpi_scale = fig.dpi / 72.0
    marker_boxes = []
    for x, y, _, _, radius in points:
        px, py = ax.transData.transform((x, y))
        r = radius * dpi_scale
        marker_boxes.append(Bbox([[px - r, py - r], [px + r, py + r]]))
    placed = []
    candidates = []
    for distance in (4, 10, 18, 28, 40):
        for dx, dy, ha, va in ((1, 0, "left", "center"), (-1, 0, "right", "center"), (0, 1, "center", "bottom"),
                               (0, -1, "center", "top"), (1, 1, "left", "bottom"), (1, -1, "left", "top"),
                               (-1, 1, "right", "bottom"), (-1, -1, "right", "top")):
            candidates.append((dx, dy, ha, va, distance))
    # Points in the thick of others first, so the lone ones take what is left.
    order = sorted(range(len(points)), key=lambda i: -sum(
        1 for j in range(len(points)) if j != i and boxes_overlap(marker_boxes[i].expanded(6, 3), marker_boxes[j])))
    for i in order:
        x, y, text, colour, radius = points[i]
        best = None
        for dx, dy, ha, va, distance in candidates:
            # Offsets from the edge of the point's marker.
            ox, oy = dx * (radius + distance), dy * (radius + distance) * (0.8 if dx else 1.0)
            annotation = ax.annotate(text, (x, y), xytext=(ox, oy), textcoords="offset points", ha=ha, va=va,
                                     **LABEL_STYLE)
            box = annotation.get_window_extent(renderer)
            inside = frame.contains(box.x0, box.y0) and frame.contains(box.x1, box.y1)
            clashes = sum(1 for other in placed if boxes_overlap(box, other)) * 3 + sum(
                1 for j, other in enumerate(marker_boxes) if j != i and boxes_overlap(box, other))
            cost = clashes * 100 + (0 if inside else 1000) + distance
            if best is None or cost < best[0]:
                if best is not None:
                    best[1].remove()
                best = (cost, annotation, box, ox, oy, distance)
            else:
                annotation.remove()
            if clashes == 0 and inside:
                break
        cost, annotation, box, ox, oy, distance = best
        if distance > 10:
            annotation.remove()
            annotation = ax.annotate(text, (x, y), xytext=(ox, oy), textcoords="offset points",
                                     ha=annotation.get_ha(), va=annotation.get_va(), **LABEL_STYLE,
                                     arrowprops=dict(arrowstyle="-", color=colour, lw=0.6, alpha=0.8,
                                                     shrinkA=1, shrinkB=4))
        placed.append(box)


def draw(data, codecs, groups, key, what, out_path, dpi):
    styles = Styles(codecs, data.get("cores"))
    families = {c["label"]: c for c in codecs}
    count = len(groups)
    columns = 1 if count == 1 else 2
    rows_of_panels = (count + columns - 1) // columns
    width = 14.4 if columns == 2 else 11.0
    fig, axes = plt.subplots(rows_of_panels, columns, figsize=(width, 5.6 * rows_of_panels + 1.6),
                             squeeze=False, dpi=dpi)
    for ax in axes.flat[count:]:
        ax.set_visible(False)

    panel_points = []
    for ax, group in zip(axes.flat, groups):
        points = []  # (speed, bits per sample, label text, colour)
        panel_points.append(points)
        positions = {}
        for codec in codecs:
            row = group["rows"].get(codec["label"])
            if not row or not row.get("figures"):
                continue
            speed, bps = row["figures"][key], row["figures"]["bps"]
            if not (speed and math.isfinite(speed) and speed > 0 and math.isfinite(bps)):
                continue
            style = styles.by_label[codec["label"]]
            text = style["short"]
            if row["good"] < row["images"]:
                text += " (%d/%d)" % (row["good"], row["images"])
            if row.get("problems"):
                text += " FAILED"
            ax.scatter([speed], [bps], s=style["size"], marker=style["marker"], zorder=4 if style["filled"] else 3,
                       linewidths=1.5, edgecolors=style["colour"], facecolors=style["colour"] if style["filled"] else "none")
            points.append((speed, bps, text, style["colour"], math.sqrt(style["size"]) / 2 + 0.5))
            positions[codec["label"]] = (speed, bps)
        # A faint line from each vrk 1 thread point to the same mode with automatic threads.
        for codec in codecs:
            if codec["family"] != "vrk 1 thread" or codec["label"] not in positions:
                continue
            twin = codec["label"].replace(" 1 thread", "", 1)
            if twin in positions and families.get(twin, {}).get("family") == "vrk":
                (x0, y0), (x1, y1) = positions[codec["label"]], positions[twin]
                ax.plot([x0, x1], [y0, y1], color=VRK_COLOUR, lw=0.8, ls=":", alpha=0.7, zorder=2)

        megabytes = group.get("raw_bytes", 0) / 1e6
        ax.set_title("%s: %d images, %.1f MB" % (group["title"], len(group["images"]), megabytes), fontsize=10)
        ax.set_xlabel("%s MB/s (raw samples, wall clock)" % what, fontsize=9)
        ax.set_ylabel("bits per sample", fontsize=9)
        ax.grid(True, which="major", color="#dddddd", lw=0.6)
        ax.grid(True, which="minor", axis="x", color="#eeeeee", lw=0.4)
        ax.tick_params(labelsize=8)
        if not points:
            ax.text(0.5, 0.5, "no figures", transform=ax.transAxes, ha="center", va="center")
            continue
        xs, ys = [p[0] for p in points], [p[1] for p in points]
        low, high = min(xs), max(xs)
        if high / low > 3:
            # Speeds spread over more than a factor 3: a log axis keeps the slow codecs apart.
            ax.set_xscale("log")
            span = math.log10(high / low)
            ax.set_xlim(low / 10 ** (0.08 * span + 0.04), high * 10 ** (0.22 * span + 0.08))
            ax.xaxis.set_major_locator(LogLocator(base=10, subs=(1.0, 2.0, 5.0)))
            ax.xaxis.set_major_formatter(FuncFormatter(lambda v, _: "%g" % v))
            ax.xaxis.set_minor_formatter(NullFormatter())
        else:
            span = max(high - low, 0.1 * high)
            ax.set_xlim(max(0.0, low - 0.1 * span), high + 0.35 * span)
        y_low, y_high = min(ys), max(ys)
        y_span = max(y_high - y_low, 0.05 * max(y_high, 0.1))
        ax.set_ylim(max(0.0, y_low - 0.12 * y_span), y_high + 0.12 * y_span)

    cores = data.get("cores")
    title = "Bits per sample against %s speed: wall clock, whole process; peers single-threaded" % what
    subtitle = ("vrk: automatic threads (two stages on a machine with two or more cores%s); "
                "1t = the same vrk with VRK_THREADS=1. Lower is smaller, further right is faster."
                % ("; this one has %d" % cores if cores else ""))
    height = fig.get_figheight()
    fig.suptitle(title, fontsize=12, fontweight="bold", y=1 - 0.08 / height, va="top")
    fig.text(0.5, 1 - 0.34 / height, "\n".join(textwrap.wrap(subtitle, int(width * 15))), ha="center", va="top",
             fontsize=9)
    footer = "%s; %s run(s) per image, median; %s%s" % (
        data.get("date", "?"), data.get("runs", "?"), data.get("machine", "?"),
        "; vrk revision %s" % data["revision"] if data.get("revision") else "")
    handles = styles.handles()
    legend_columns = min(4 if columns == 2 else 3, len(handles))
    fig.legend(handles=handles, loc="lower center", ncol=legend_columns, fontsize=8, frameon=False,
               bbox_to_anchor=(0.5, 0.28 / height))
    fig.text(0.5, 0.08 / height, footer, ha="center", va="bottom", fontsize=7, color="#555555")
    legend_rows = (len(handles) + legend_columns - 1) // legend_columns
    subtitle_lines = len(textwrap.wrap(subtitle, int(width * 15)))
    fig.tight_layout(rect=(0, (0.45 + 0.22 * legend_rows) / height, 1, 1 - (0.32 + 0.16 * subtitle_lines) / height))
    # The labels go on last, when the panels have their final places and sizes.
    for ax, points in zip(axes.flat, panel_points):
        if points:
            place_labels(fig, ax, points)
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    fig.savefig(out_path, dpi=dpi)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--results", default=os.path.join(ROOT, "build/bench/results.json"),
                        help="the results.json of a benchmark run (default build/bench/results.json)")
    parser.add_argument("--decode-out", default=os.path.join(HERE, "decode_speed.png"),
                        help="bits per sample against decode MB/s (default bench/decode_speed.png)")
    parser.add_argument("--encode-out", default=os.path.join(HERE, "encode_speed.png"),
                        help="bits per sample against encode MB/s (default bench/encode_speed.png)")
    parser.add_argument("--dpi", type=int, default=110, help="resolution (default %(default)s)")
    args = parser.parse_args()
    if matplotlib is None:
        print("%s needs matplotlib: apt-get install python3-matplotlib, then run it with /usr/bin/python3"
              % os.path.basename(sys.argv[0]), file=sys.stderr)
        return 2
    data, codecs, groups = load(args.results)
    if not groups:
        print("%s has no image groups" % args.results, file=sys.stderr)
        return 1
    draw(data, codecs, groups, "dec", "decode", args.decode_out, args.dpi)
    draw(data, codecs, groups, "enc", "encode", args.encode_out, args.dpi)
    print("wrote %s and %s" % (args.decode_out, args.encode_out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
