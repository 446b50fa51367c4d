"""A study report with charts, as a PDF, from a counter or from a folder that tallyx read or tallyread wrote.

    tallyx-report FOLDER [--out report.pdf]
    tallyx-report --port COM3 [--metric] [--out report.pdf]

Writes a PDF, a PNG of its first page beside it, and report.json, the figures of the report with
their units. The figures are those of `tallyx report`, which this module runs (the tallyx program
named by TALLYX_CLI, else the one on PATH) and draws; with --port, tallyx reads the counter into a
folder beside the PDF first. Input that is not a read ends with a one-line error and exit status 2,
and nothing is written then.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
from datetime import datetime, timedelta

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.backends.backend_pdf import PdfPages  # noqa: E402
from matplotlib.dates import AutoDateLocator, ConciseDateFormatter, date2num  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402

FORWARD_COLOUR, REVERSE_COLOUR = "#3a6ea5", "#e0893a"
A4 = (8.27, 11.69)


class ReportError(Exception):
    """Input the report cannot use; the message is one line for the user."""


class Report:
    """The figures of one report as tallyx gives them, and the text of its report.json."""

    def __init__(self, text):
        self.text = text
        self.data = json.loads(text)
        self.settings = self.data.get("study", {})
        self.speed_unit = self.data["units"]["speed"]
        self.length_unit = self.data["units"]["length"]


def tallyx_program():
    program = os.environ.get("TALLYX_CLI") or shutil.which("tallyx")
    if not program:
        raise ReportError("the tallyx program was not found: put it on PATH or name it in TALLYX_CLI")
    return program


def _run_tallyx(arguments, out):
    """Runs tallyx report with the arguments, its report written into out; the Report."""
    done = subprocess.run([tallyx_program(), "report", *arguments, "--out", out], stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, encoding="latin-1")
    if done.returncode != 0:
        lines = [line for line in done.stderr.splitlines() if line.strip()]
        message = lines[-1] if lines else f"tallyx report ended with status {done.returncode}"
        raise ReportError(message.removeprefix("tallyx: error: "))
    with open(os.path.join(out, "report.json"), encoding="latin-1") as f:
        return Report(f.read())


def load_folder(folder):
    """The report of a folder of tallyx read or of tallyread (the program's folder or its data/)."""
    with tempfile.TemporaryDirectory() as out:
        return _run_tallyx([folder], out)


def load_counter(port=None, usb=None, metric=False, delay_ms=None, folder=None):
    """Reads a counter into folder (as tallyx read does; that ends its study) and reports it."""
    arguments = ["--port", str(port)] if port is not None else ["--usb", str(usb)]
    if metric:
        arguments.append("--metric")
    if delay_ms is not None:
        arguments += ["--delay-ms", str(delay_ms)]
    arguments += ["--quiet"]
    with tempfile.TemporaryDirectory() as out:
        done = subprocess.run([tallyx_program(), "read", *arguments, "--out", folder], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, encoding="latin-1")
        if done.returncode != 0:
            lines = [line for line in done.stderr.splitlines() if line.strip()]
            raise ReportError((lines[-1] if lines else "tallyx read failed").removeprefix("tallyx: error: "))
        return _run_tallyx([folder], out)


# Drawing ---------------------------------------------------------------------------------------

def _title(study):
    s = study.settings
    place = ", ".join(x for x in [s.get("address"), s.get("city"), s.get("county"), s.get("state")] if x)
    return place or "Traffic study"


def _value(figure, digits=None):
    if figure is None or figure.get("value") is None:
        return "-"
    value = figure["value"]
    return f"{value:.{digits}f}" if digits is not None else f"{value:g}" if isinstance(value, float) else str(value)


def _table(axes, title, columns, rows, widths=None, font=8, note=None):
    """A table from the top of the axes down, with a bold header row and an optional note under the title."""
    axes.axis("off")
    axes.set_title(title, fontsize=10, loc="left", fontweight="bold", pad=22 if note else 6)
    if note:
        axes.text(0, 1.005, note, fontsize=7.5, color="#444444", va="bottom", transform=axes.transAxes, wrap=True)
    if not rows:
        axes.text(0, 0.9, "nothing to show", fontsize=9, va="top")
        return
    table = axes.table(cellText=rows, colLabels=columns, loc="upper left", cellLoc="right", colLoc="right",
                       colWidths=widths)
    table.auto_set_font_size(False)
    table.set_fontsize(font)
    table.scale(1, 1.25)
    for (r, c), cell in table.get_celld().items():
        cell.set_linewidth(0.3)
        if r == 0:
            cell.set_text_props(fontweight="bold")
            cell.set_facecolor("#e8eef5")
        if c == 0:
            cell.set_text_props(ha="left")
            cell._loc = "left"


def _speed_rows(data, unit):
    speed = data["speed"]
    directions = [speed[d] for d in ("forward", "reverse", "both")]
    rows = [["Vehicles with a speed"] + [_value(d["with_speed"]) for d in directions]]
    for key, label in (("mean", "Mean"), ("p15", "15th percentile"), ("median", "Median (50th percentile)"),
                       ("p85", "85th percentile"), ("highest", "Highest speed")):
        rows.append([f"{label} ({unit})"] + [_value(d.get(key), 1 if key == "mean" else None) for d in directions])
    rows.append([f"10-{unit} pace ({unit})"] + [f"{d['pace']['from']['value']}-{d['pace']['to']['value']}"
                                               if "pace" in d else "-" for d in directions])
    rows.append(["Vehicles in the pace"] + [f"{d['pace']['vehicles']['value']} ({d['pace']['share']['value']} %)"
                                            if "pace" in d else "-" for d in directions])
    limit = speed["posted_limit"]
    if limit is None:
        rows.append(["Over the posted limit"] + ["no posted limit"] * 3)
    else:
        for i, extra in enumerate((0, 5, 10, 15)):
            above = limit["value"] + extra
            label = f"Over the limit ({above} {unit})" if not extra else f"Over limit + {extra} ({above} {unit})"
            rows.append([label] + [f"{d['over_limit'][i]['vehicles']['value']} ({d['over_limit'][i]['share']['value']} %)"
                                   if d.get("over_limit") else "-" for d in directions])
    return rows


def _page_summary(study, data, figure):
    s = study.settings
    unit = study.speed_unit
    figure.suptitle(_title(study), fontsize=15, fontweight="bold", x=0.06, ha="left", y=0.975)
    limit = data["speed"]["posted_limit"]
    limit_text = f"{limit['value']} {unit}" if limit else "none given"
    lines = [
        f"Lane/direction: {s.get('lane', '') or '-'}    Posted speed limit: {limit_text}    "
        f"Operator: {s.get('operator', '') or '-'}",
        f"Counter: {s.get('unitType', '') or '-'} {s.get('serialNumber', '')}"
        + (f"    Battery: {s['batteryVoltage']} V" if s.get("batteryVoltage") else "")
        + (f", {s['batteryPercent']} %" if s.get("batteryPercent") else ""),
        f"Study: {s.get('begin', '')[:16]} to {s.get('end', '')[:16]} (counter's local time), "
        f"periods of {s.get('periodMinutes', '') or '-'} min    Units: {unit}, {study.length_unit}",
        f"Vehicles: {data['vehicles']['both']['value']}  (forward {data['vehicles']['forward']['value']}, "
        f"reverse {data['vehicles']['reverse']['value']})",
    ]
    figure.text(0.06, 0.945, "\n".join(lines), va="top", fontsize=8.5, linespacing=1.6)
    notes = []
    if "note" in data:
        notes.append(f"No vehicles: {data['note']}.")
    untimed = data["vehicles"].get("without_time_stamp", {}).get("value", 0)
    if untimed:
        notes.append(f"No time stamp: {untimed} vehicles could not be placed in time by the counter; they count in "
                     "the speeds and lengths, not in the volumes and headways.")
    for one, other in (("forward", "reverse"), ("reverse", "forward")):
        if data["vehicles"][one]["value"] and not data["vehicles"][other]["value"]:
            notes.append(f"One direction only: every vehicle was counted {one}; the {other} columns stay empty.")
    if not data["speed"]["both"]["with_speed"]["value"] and "note" not in data:
        notes.append("No speeds: no vehicle of this study has a speed, so there is no speed study.")
    if limit is None:
        notes.append("No posted limit: the study names no speed limit, so no share over the limit is given.")
    if data["volume"]["average_daily_traffic"] is None:
        notes.append("No whole day: " + data["volume"]["average_daily_traffic_note"] + ".")
    if notes:
        figure.text(0.06, 0.865, "\n".join(notes), va="top", fontsize=8.5, color="#a03020", linespacing=1.45)

    columns = ["", "forward", "reverse", "both"]
    speed_axes = figure.add_axes([0.06, 0.42, 0.88, 0.33])
    _table(speed_axes, f"Speed study ({unit})", columns, _speed_rows(data, unit), widths=[0.46, 0.18, 0.18, 0.18],
           note=f"Percentiles by {data['speed']['percentile_method']};\nvehicles without a speed are left out.")

    volume = data["volume"]
    adt = volume["average_daily_traffic"]
    rows = [["Vehicles"] + [str(data["vehicles"][d]["value"]) for d in ("forward", "reverse", "both")],
            ["Directional split (%)", _value(volume["split"]["forward"]), _value(volume["split"]["reverse"]),
             "100" if data["vehicles"]["both"]["value"] else "-"]]
    if adt:
        rows.append([f"Average daily traffic ({adt['whole_days']} whole day{'s' if adt['whole_days'] > 1 else ''})"]
                    + [_value(adt[d], 0) for d in ("forward", "reverse", "both")])
    else:
        rows.append(["Average daily traffic", "no whole day", "", ""])
    volume_axes = figure.add_axes([0.06, 0.2, 0.88, 0.14])
    _table(volume_axes, "Volume summary", columns, rows, widths=[0.46, 0.18, 0.18, 0.18])
    figure.text(0.06, 0.12, "Peak hours, the volume per hour and per day, headways and length classes follow on "
                "the next pages.", fontsize=8, color="#444444")


def _page_speeds(study, data, figure):
    unit = study.speed_unit
    histogram = data["speed"]["histogram"]
    chart = figure.add_axes([0.1, 0.55, 0.85, 0.38])
    speeds = histogram["speeds"]
    both = data["speed"]["both"]
    if speeds:
        chart.bar(speeds, histogram["forward"], width=0.9, color=FORWARD_COLOUR, label="forward")
        chart.bar(speeds, histogram["reverse"], width=0.9, bottom=histogram["forward"], color=REVERSE_COLOUR,
                  label="reverse")
        pace = both["pace"]
        chart.axvspan(pace["from"]["value"] - 0.5, pace["to"]["value"] + 0.5, color="#f2d48f", alpha=0.45,
                      label=f"10-{unit} pace {pace['from']['value']}-{pace['to']['value']} {unit}", zorder=0)
        for key, name, style in (("p15", "15th percentile", ":"), ("median", "median", "--"),
                                 ("p85", "85th percentile", "-.")):
            chart.axvline(both[key]["value"], color="#333333", linestyle=style, linewidth=1,
                          label=f"{name} {both[key]['value']} {unit}")
        limit = data["speed"]["posted_limit"]
        if limit:
            chart.axvline(limit["value"], color="#c0392b", linewidth=2, label=f"posted limit {limit['value']} {unit}")
            chart.annotate(f"posted limit {limit['value']} {unit}", (limit["value"], 1.0),
                           xycoords=("data", "axes fraction"), xytext=(0, 3), textcoords="offset points",
                           ha="center", va="bottom", color="#c0392b", fontsize=8, fontweight="bold")
        chart.legend(fontsize=7, loc="upper left")
    else:
        chart.text(0.5, 0.5, "no vehicle with a speed", ha="center", va="center", transform=chart.transAxes)
        chart.set_xticks([])
        chart.set_yticks([])
    chart.set_title("Speeds, stacked by direction; pace and percentiles of both directions together",
                    fontsize=10, pad=16)
    chart.set_xlabel(f"speed ({unit})")
    chart.set_ylabel("vehicles")
    chart.yaxis.set_major_locator(MaxNLocator(integer=True))
    chart.grid(axis="y", alpha=0.3)

    table_axes = figure.add_axes([0.06, 0.05, 0.88, 0.38])
    bins = data["bins"]
    cells = [[label] + [str(c) for c in row] + [str(total)]
             for label, row, total in zip(bins["speed_classes"], bins["counts"], bins["row_totals"])]
    cells.append(["total"] + [str(c) for c in bins["column_totals"]] + [str(sum(bins["row_totals"]))])
    long_vehicles = data["long_vehicles"]
    note = "From the periodic records."
    if long_vehicles["at_least"]:
        note += (f" Long vehicles (>= {long_vehicles['at_least']['value']} {study.length_unit}): "
                 f"{long_vehicles['vehicles']['value']}, {_value(long_vehicles['share'])} % of the binned vehicles.")
    _table(table_axes, f"Vehicles by speed ({unit}, rows) and length ({study.length_unit}, columns)",
           ["speed \\ length"] + bins["length_classes"] + ["total"], cells if data["periods"]["rows"] else [],
           font=7, note=note)


def _time_axis(axes):
    locator = AutoDateLocator(minticks=4, maxticks=12)
    axes.xaxis.set_major_locator(locator)
    axes.xaxis.set_major_formatter(ConciseDateFormatter(locator))
    axes.tick_params(axis="x", labelsize=7)


def _page_volumes(study, data, figure):
    # Steps rather than bars: a month of hours or periods stays readable and quick to draw.
    hours = data["volume"]["hours"]["rows"]
    hourly = figure.add_axes([0.1, 0.7, 0.85, 0.23])
    if hours:
        edges = [datetime.strptime(h["hour"], "%Y-%m-%d %H:%M") for h in hours]
        edges.append(edges[-1] + timedelta(hours=1))
        edges = date2num(edges)
        hourly.stairs([h["forward"] for h in hours], edges, color=FORWARD_COLOUR, linewidth=1.4, label="forward")
        hourly.stairs([h["reverse"] for h in hours], edges, color=REVERSE_COLOUR, linewidth=1.4, label="reverse")
        hourly.set_xlim(edges[0], edges[-1])
        hourly.legend(fontsize=8, loc="upper right")
        _time_axis(hourly)
    hourly.set_ylim(bottom=0)
    hourly.set_title("Vehicles per hour, by direction", fontsize=10)
    hourly.set_ylabel("vehicles per hour")
    hourly.set_xlabel("time (counter's local time)")
    hourly.yaxis.set_major_locator(MaxNLocator(integer=True))
    hourly.grid(alpha=0.3)

    per_period = figure.add_axes([0.1, 0.39, 0.85, 0.22])
    periods = data["periods"]["rows"]
    minutes = data["periods"]["minutes"][0] if data["periods"]["minutes"] else 15
    if periods:
        ends = [datetime.strptime(p["end"], "%Y-%m-%d %H:%M") for p in periods]
        edges = date2num([ends[0] - timedelta(minutes=minutes)] + ends)
        totals = [p["forward"] + p["reverse"] for p in periods]
        per_period.stairs(totals, edges, fill=True, color=REVERSE_COLOUR, label="reverse")
        per_period.stairs([p["forward"] for p in periods], edges, fill=True, color=FORWARD_COLOUR, label="forward")
        per_period.set_xlim(edges[0], edges[-1])
        per_period.legend(fontsize=8, loc="upper right")
        _time_axis(per_period)
    else:
        per_period.text(0.5, 0.5, "no periodic records", ha="center", va="center", transform=per_period.transAxes)
        per_period.set_yticks([])
    per_period.set_ylim(bottom=0)
    per_period.set_title(f"Vehicles per {minutes}-minute period, stacked by direction (from the periodic records)",
                         fontsize=10)
    per_period.set_ylabel("vehicles per period")
    per_period.set_xlabel("time (counter's local time)")
    per_period.yaxis.set_major_locator(MaxNLocator(integer=True))
    per_period.grid(alpha=0.3)

    days = data["volume"]["days"]["rows"]
    daily = figure.add_axes([0.1, 0.07, 0.85, 0.22])
    positions = list(range(len(days)))
    daily.bar([p - 0.2 for p in positions], [d["forward"] for d in days], width=0.4, color=FORWARD_COLOUR,
              label="forward")
    daily.bar([p + 0.2 for p in positions], [d["reverse"] for d in days], width=0.4, color=REVERSE_COLOUR,
              label="reverse")
    step = max(1, -(-len(days) // 10))
    daily.set_xticks(positions[::step])
    daily.set_xticklabels([d["day"] + ("" if d["whole"] else "\n(part)") for d in days][::step], fontsize=7)
    daily.set_title("Vehicles per day, by direction (days the study covers only in part are marked)", fontsize=10)
    daily.set_ylabel("vehicles per day")
    daily.set_xlabel("day")
    daily.legend(fontsize=8, loc="upper right")
    daily.yaxis.set_major_locator(MaxNLocator(integer=True))
    daily.margins(y=0.15)
    daily.grid(axis="y", alpha=0.3)


def _peak_text(peak):
    if peak is None:
        return ["-", "-", "-"]
    phf = peak["peak_hour_factor"]["value"]
    return [f"{peak['from'][11:]}-{peak['to'][11:]}", str(peak["volume"]["value"]), "-" if phf is None else f"{phf:.2f}"]


def _table_pages(pdf, title, note, columns, rows, widths, per_page=45):
    """A table over as many pages as it needs."""
    pages = [rows[i:i + per_page] for i in range(0, len(rows), per_page)] or [[]]
    for n, part in enumerate(pages):
        figure = plt.figure(figsize=A4)
        axes = figure.add_axes([0.06, 0.04, 0.88, 0.86])
        _table(axes, title + (f" (page {n + 1} of {len(pages)})" if len(pages) > 1 else ""), columns, part, widths,
               note=note)
        pdf.savefig(figure)
        plt.close(figure)


def _tables(pdf, study, data):
    volume = data["volume"]
    rows = []
    for entry in volume["peak_hours"]:
        for kind, name in (("am", "AM (before noon)"), ("pm", "PM (from noon)"), ("whole_day", "whole day")):
            rows.append([entry["day"] if kind == "am" else "", name] + _peak_text(entry[kind]["clock_hour"])
                        + _peak_text(entry[kind]["busiest_60_minutes"]))
    _table_pages(pdf, "Peak hours, both directions", "Peak hour factor = peak-hour volume / (4 x the busiest "
                 "15 minutes in that hour). Clock hours start on the hour; the busiest 60 minutes are four "
                 "successive quarter hours counted from the vehicles' time stamps. Only hours wholly inside the "
                 "study and the day are taken.",
                 ["day", "peak", "clock hour", "vehicles", "PHF", "busiest 60 min", "vehicles", "PHF"], rows,
                 [0.15, 0.17, 0.14, 0.1, 0.08, 0.16, 0.1, 0.08])

    rows = [[d["day"] + ("" if d["whole"] else " (part)"), str(d["forward"]), str(d["reverse"]), str(d["both"])]
            for d in volume["days"]["rows"]]
    adt = volume["average_daily_traffic"]
    rows.append(["Average daily traffic" + (f" ({adt['whole_days']} whole days)" if adt else "")]
                + ([_value(adt[d], 0) for d in ("forward", "reverse", "both")] if adt else ["no whole day", "", ""]))
    _table_pages(pdf, "Vehicles per day", None, ["day", "forward", "reverse", "both"], rows,
                 [0.4, 0.2, 0.2, 0.2])

    figure = plt.figure(figsize=A4)
    headways = data["headways"]
    rows = [[b["band"]] + [f"{b[d]} ({_value(b[d + '_share'])} %)" for d in ("forward", "reverse", "both")]
            for b in headways["bands"]]
    rows.append(["all headways"] + [str(headways["total"][d]) for d in ("forward", "reverse", "both")])
    _table(figure.add_axes([0.06, 0.55, 0.88, 0.38]), "Headways between successive vehicles in the same direction",
           ["headway", "forward", "reverse", "both"], rows, [0.34, 0.22, 0.22, 0.22],
           note="From the vehicles' time stamps, which hold whole seconds: a headway under 1 s means two vehicles\n"
                "stamped in the same second.")
    lengths = data["length_classes"]
    rows = [[r["length_class"]] + [f"{r[d]} ({_value(r[d + '_share'])} %)" for d in ("forward", "reverse", "both")]
            for r in lengths["rows"]]
    rows.append(["classified"] + [str(lengths["classified"][d]) for d in ("forward", "reverse", "both")])
    rows.append(["not classified"] + [str(lengths["not_classified"][d]) for d in ("forward", "reverse", "both")])
    _table(figure.add_axes([0.06, 0.1, 0.88, 0.36]), f"Vehicles per length class ({study.length_unit})",
           ["length class", "forward", "reverse", "both"], rows, [0.34, 0.22, 0.22, 0.22],
           note="Shares are of the classified vehicles of each direction; vehicles without a length or left\n"
                "unclassified by the counter are counted apart.")
    pdf.savefig(figure)
    plt.close(figure)


def write_report(study, pdf_path):
    """Writes the PDF, a PNG of its first page and the figures as JSON; returns the figures.
    The files appear only when all three are written."""
    data = study.data
    base = os.path.splitext(pdf_path)[0]
    if os.path.dirname(pdf_path):
        os.makedirs(os.path.dirname(pdf_path), exist_ok=True)
    targets = [pdf_path, base + ".png", base + ".json"]
    parts = [target + ".part" for target in targets]
    try:
        with PdfPages(parts[0]) as pdf:
            first = plt.figure(figsize=A4)
            _page_summary(study, data, first)
            pdf.savefig(first)
            first.savefig(parts[1], dpi=100, format="png")
            plt.close(first)
            for page in (_page_speeds, _page_volumes):
                figure = plt.figure(figsize=A4)
                page(study, data, figure)
                pdf.savefig(figure)
                plt.close(figure)
            _tables(pdf, study, data)
        with open(parts[2], "w", encoding="latin-1", newline="") as f:
            f.write(study.text)
        for part, target in zip(parts, targets):
            os.replace(part, target)
    finally:
        plt.close("all")
        for part in parts:
            if os.path.exists(part):
                os.remove(part)
    return data


def main(argv=None):
    parser = argparse.ArgumentParser(prog="tallyx-report", description="A study report with charts (PDF, PNG, JSON).")
    parser.add_argument("folder", nargs="?", help="a folder written by tallyx read or by tallyread")
    parser.add_argument("--port", help="read the counter on this COM port instead (COM3 or 3)")
    parser.add_argument("--usb", type=int, help="read the counter on this USB bridge instead")
    parser.add_argument("--metric", action="store_true", help="with --port or --usb: km/h and dm")
    parser.add_argument("--delay-ms", type=int, help="with --port or --usb: pause between requests (default 100)")
    parser.add_argument("--out", default="report.pdf", help="the PDF to write (default report.pdf); with --port, "
                        "the read goes into the folder of the same name ending in -read")
    args = parser.parse_args(argv)
    if (args.folder is None) == (args.port is None and args.usb is None):
        parser.error("give a folder, or --port or --usb")
    base = os.path.splitext(args.out)[0]
    try:
        if args.folder:
            study = load_folder(args.folder)
        else:
            study = load_counter(args.port, args.usb, args.metric, args.delay_ms, base + "-read")
        data = write_report(study, args.out)
    except ReportError as e:
        print(f"tallyx-report: {e}", file=sys.stderr)
        return 2
    except OSError as e:
        print(f"tallyx-report: cannot write {args.out}: {e.strerror or e}", file=sys.stderr)
        return 2
    print(f"Report of {data['vehicles']['both']['value']} vehicles: {args.out} (first page {base}.png, "
          f"figures {base}.json)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
