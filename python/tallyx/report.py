"""A study report with charts, from a counter or from a folder that tallyx read or tallyread wrote.

    tallyx-report FOLDER [--out report.pdf]
    tallyx-report --port COM3 [--out report.pdf]

Writes a PDF of two pages, a PNG of its first page beside it, and the figures
the report shows as JSON (report.json), so that scripts and tests can use them.
"""
import argparse
import csv
import json
import math
import os
import sys
from collections import Counter as Tally
from collections import OrderedDict
from datetime import datetime, timedelta

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.backends.backend_pdf import PdfPages  # noqa: E402
from matplotlib.ticker import MaxNLocator  # noqa: E402

_TIME = "%Y-%m-%d %H:%M:%S.%f"


class Study:
    """What a report needs: settings, vehicles (time, reverse, speed, length) and periods."""

    def __init__(self):
        self.settings = {}
        self.metric = False
        self.vehicles = []  # (datetime, reverse, speed, length)
        self.periods = []   # (end datetime, count, reverse count, bins as a list of rows)

    @property
    def speed_unit(self):
        return "km/h" if self.metric else "mph"

    @property
    def length_unit(self):
        return "dm" if self.metric else "ft"


def _read_csv(path):
    with open(path, newline="", encoding="latin-1") as f:
        return list(csv.reader(f))


def _add_records(study, sequential, periodic):
    for row in sequential[1:]:
        if len(row) < 5:
            continue
        study.vehicles.append((datetime.strptime(row[0], _TIME), "REVERSE" in row[2].split("+"), int(row[3]),
                               int(row[4])))
    if not periodic:
        return
    header = periodic[0]
    columns = max((int(name.split("_")[2]) for name in header if name.startswith("Bin_")), default=0)
    for row in periodic[1:]:
        cells = [int(value) for value in row[5:]]
        bins = [cells[i:i + columns] for i in range(0, len(cells), columns)] if columns else []
        study.periods.append((datetime.strptime(row[0], _TIME), int(row[3]), int(row[4]), bins))


def load_folder(folder):
    """A folder of tallyx read (settings.json) or of tallyread (study.txt, possibly in data/)."""
    study = Study()
    if os.path.exists(os.path.join(folder, "settings.json")):
        with open(os.path.join(folder, "settings.json"), encoding="latin-1") as f:
            settings = json.load(f)
        study.settings = dict(settings["study"], **settings["unit"])
        study.metric = settings["study"].get("units", "").upper().endswith("METRIC")
    else:
        if os.path.exists(os.path.join(folder, "data", "study.txt")):
            folder = os.path.join(folder, "data")
        names = {"State": "state", "City": "city", "County": "county", "Address": "address", "Lane": "lane",
                 "Speed Limit": "speedLimit", "Operator": "operator", "Start Time": "begin", "End Time": "end",
                 "Period": "periodMinutes", "Speed Bins": "speedBins", "Length Bins": "lengthBins"}
        with open(os.path.join(folder, "study.txt"), encoding="latin-1") as f:
            for line in f:
                label, _, value = line.rstrip("\n").partition(": ")
                if label in names:
                    study.settings[names[label]] = value
    extension = ".csv"
    _add_records(study, _read_csv(os.path.join(folder, "sequential" + extension)),
                 _read_csv(os.path.join(folder, "periodic" + extension))
                 if os.path.exists(os.path.join(folder, "periodic" + extension)) else [])
    return study


def load_counter(port=None, usb=None):
    from . import Counter

    study = Study()
    with Counter(port=port, usb=usb) as counter:
        counter.read()
        for key, name in [("serialNumber", "DEV_SERIALNO"), ("unitType", "DEV_UNITTYPE"),
                          ("batteryVoltage", "DEV_BATTERYVOLTAGE"), ("batteryPercent", "DEV_BATTERYPERCENT"),
                          ("begin", "STUDY_BEGINDATETIME"), ("end", "STUDY_ENDDATETIME"),
                          ("periodMinutes", "STUDY_PERIODTIME"), ("speedBins", "STUDY_SPEEDBINS"),
                          ("lengthBins", "STUDY_LENGTHBINS"), ("speedLimit", "STUDY_SPEEDLIMIT"),
                          ("state", "STUDY_STATE"), ("city", "STUDY_CITY"), ("county", "STUDY_COUNTY"),
                          ("address", "STUDY_ADDRESS"), ("lane", "STUDY_LANE"), ("operator", "STUDY_OPERATOR")]:
            study.settings[key] = counter.get(name)
        _add_records(study, [line.split(",") for line in counter.lines("sequential")],
                     [line.split(",") for line in counter.lines("periodic")])
    return study


def _limits(text):
    numbers, digits = [], ""
    for c in (text or "") + " ":
        if c.isdigit():
            digits += c
        elif digits:
            numbers.append(int(digits))
            digits = ""
    return numbers


def _class_labels(limits, unit):
    if not limits:
        return ["all"]
    labels = [f"< {limits[0]}"]
    labels += [f"{a}-{b - 1}" for a, b in zip(limits, limits[1:])]
    labels.append(f">= {limits[-1]} {unit}")
    return labels


def _parse_setting_time(text):
    for form in (_TIME, "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M"):
        try:
            return datetime.strptime((text or "").strip(), form)
        except ValueError:
            continue
    return None


def figures(study):
    """Every figure the report shows, as plain numbers and lists."""
    speeds = sorted(v[2] for v in study.vehicles if v[2] > 0)
    result = OrderedDict()
    result["units"] = {"speed": study.speed_unit, "length": study.length_unit}
    result["vehicles"] = len(study.vehicles)
    result["reverse"] = sum(1 for v in study.vehicles if v[1])
    result["with_speed"] = len(speeds)
    if speeds:
        result["mean_speed"] = round(sum(speeds) / len(speeds), 2)
        result["median_speed"] = speeds[(len(speeds) - 1) // 2] if len(speeds) % 2 else (
            (speeds[len(speeds) // 2 - 1] + speeds[len(speeds) // 2]) / 2)
        result["percentile_85"] = speeds[math.ceil(0.85 * len(speeds)) - 1]
        # The 10-unit band of whole speeds [low, low + 10) that holds the most vehicles.
        tally = Tally(speeds)
        best = max(range(speeds[0], speeds[-1] + 1), key=lambda low: (sum(tally[s] for s in range(low, low + 10)), -low))
        result["pace"] = {"from": best, "to": best + 9,
                          "vehicles": sum(tally[s] for s in range(best, best + 10))}
    periods = []
    for end, count, reverse, _ in study.periods:
        periods.append({"end": end.strftime("%Y-%m-%d %H:%M"), "forward": count - reverse, "reverse": reverse})
    result["periods"] = periods
    # Every hour and day of the study, the empty ones too.
    hours = OrderedDict()
    days = OrderedDict()
    begin = _parse_setting_time(study.settings.get("begin"))
    end = _parse_setting_time(study.settings.get("end"))
    if begin and end and end > begin and (end - begin).days <= 400:
        at = begin.replace(minute=0, second=0, microsecond=0)
        while at < end:
            hours[at.strftime("%Y-%m-%d %H:00")] = [0, 0]
            days.setdefault(at.strftime("%Y-%m-%d"), 0)
            at += timedelta(hours=1)
    for time, reverse, _, _ in study.vehicles:
        hour = time.strftime("%Y-%m-%d %H:00")
        hours.setdefault(hour, [0, 0])[1 if reverse else 0] += 1
        days[time.strftime("%Y-%m-%d")] = days.get(time.strftime("%Y-%m-%d"), 0) + 1
    result["hours"] = [{"hour": h, "forward": f, "reverse": r} for h, (f, r) in hours.items()]
    result["days"] = [{"day": d, "vehicles": n} for d, n in days.items()]
    speed_limits = _limits(study.settings.get("speedBins"))
    length_limits = _limits(study.settings.get("lengthBins"))
    table = [[0] * (len(length_limits) + 1) for _ in range(len(speed_limits) + 1)]
    for _, _, _, bins in study.periods:
        for r, row in enumerate(bins[:len(table)]):
            for c, cell in enumerate(row[:len(table[0])]):
                table[r][c] += cell
    result["bins"] = {"speed_classes": _class_labels(speed_limits, study.speed_unit),
                      "length_classes": _class_labels(length_limits, study.length_unit), "counts": table,
                      "row_totals": [sum(row) for row in table],
                      "column_totals": [sum(col) for col in zip(*table)] if table else []}
    binned = sum(sum(row) for row in table)
    long_vehicles = sum(row[-1] for row in table) if length_limits else 0
    result["long_vehicles"] = {"at_least": length_limits[-1] if length_limits else None, "vehicles": long_vehicles,
                               "share_percent": round(100.0 * long_vehicles / binned, 1) if binned else 0.0}
    return result


def _title(study):
    s = study.settings
    place = ", ".join(x for x in [s.get("address"), s.get("city"), s.get("county"), s.get("state")] if x)
    return place or "Traffic study"


def _page_one(study, data, figure):
    s = study.settings
    figure.suptitle(_title(study), fontsize=15, fontweight="bold", x=0.06, ha="left")
    lines = [
        f"Lane: {s.get('lane', '')}    Speed limit: {s.get('speedLimit', '')} {study.speed_unit}    "
        f"Operator: {s.get('operator', '')}",
        f"Unit: {s.get('unitType', '')} {s.get('serialNumber', '')}    Battery: {s.get('batteryVoltage', '')} V, "
        f"{s.get('batteryPercent', '')} %",
        f"Study: {s.get('begin', '')[:16]} to {s.get('end', '')[:16]}, periods of {s.get('periodMinutes', '')} min",
        f"Vehicles: {data['vehicles']} ({data['reverse']} reverse)"
        + (f"    Mean {data['mean_speed']:.1f}, median {data['median_speed']}, 85th percentile "
           f"{data['percentile_85']} {study.speed_unit}    10-{study.speed_unit} pace {data['pace']['from']}-"
           f"{data['pace']['to']} {study.speed_unit}" if data["with_speed"] else ""),
    ]
    figure.text(0.06, 0.93, "\n".join(lines), va="top", fontsize=9, linespacing=1.6)

    per_period = figure.add_axes([0.09, 0.4, 0.86, 0.41])
    ends = [datetime.strptime(p["end"], "%Y-%m-%d %H:%M") for p in data["periods"]]
    # Each bar covers its period, which ends at its time stamp.
    period = timedelta(minutes=int(s.get("periodMinutes") or 15))
    starts = [end - period for end in ends]
    forward = [p["forward"] for p in data["periods"]]
    reverse = [p["reverse"] for p in data["periods"]]
    per_period.bar(starts, forward, width=period * 0.9, align="edge", color="#3a6ea5", label="forward")
    per_period.bar(starts, reverse, width=period * 0.9, align="edge", bottom=forward, color="#e0893a",
                   label="reverse")
    per_period.yaxis.set_major_locator(MaxNLocator(integer=True))
    per_period.set_title(f"Vehicles per {s.get('periodMinutes', '')}-minute period, by direction", fontsize=10)
    per_period.set_ylabel("vehicles per period")
    per_period.set_xlabel("time (local), one bar per period")
    per_period.legend(fontsize=8, loc="upper right")
    per_period.tick_params(axis="x", labelsize=7, rotation=20)
    per_period.grid(axis="y", alpha=0.3)

    daily = figure.add_axes([0.09, 0.07, 0.86, 0.22])
    days = [d["day"] for d in data["days"]]
    daily.bar(days, [d["vehicles"] for d in data["days"]], color="#3a6ea5", width=0.5)
    daily.yaxis.set_major_locator(MaxNLocator(integer=True))
    for i, d in enumerate(data["days"]):
        daily.annotate(str(d["vehicles"]), (i, d["vehicles"]), ha="center", va="bottom", fontsize=8)
    daily.set_title("Vehicles per day", fontsize=10)
    daily.set_ylabel("vehicles per day")
    daily.set_xlabel("day")
    daily.tick_params(axis="x", labelsize=8)
    daily.margins(y=0.15)
    daily.grid(axis="y", alpha=0.3)


def _page_two(study, data, figure):
    hourly = figure.add_axes([0.09, 0.72, 0.86, 0.2])
    hours = [h["hour"] for h in data["hours"]]
    positions = range(len(hours))
    hourly.bar([p - 0.2 for p in positions], [h["forward"] for h in data["hours"]], width=0.4, color="#3a6ea5",
               label="forward")
    hourly.bar([p + 0.2 for p in positions], [h["reverse"] for h in data["hours"]], width=0.4, color="#e0893a",
               label="reverse")
    step = max(1, math.ceil(len(hours) / 12))
    one_day = len({h[:10] for h in hours}) <= 1
    labels = [h[11:16] if one_day else h[5:13] + "h" for h in hours]
    hourly.set_xticks(list(positions)[::step])
    hourly.set_xticklabels(labels[::step], fontsize=7, rotation=0 if one_day else 20)
    hourly.set_title("Vehicles per hour, by direction", fontsize=10)
    hourly.set_ylabel("vehicles per hour")
    hourly.set_xlabel("hour (local time)")
    hourly.legend(fontsize=8)
    hourly.yaxis.set_major_locator(MaxNLocator(integer=True))
    hourly.grid(axis="y", alpha=0.3)

    histogram = figure.add_axes([0.09, 0.4, 0.86, 0.22])
    speeds = [v[2] for v in study.vehicles if v[2] > 0]
    if speeds:
        histogram.hist(speeds, bins=range(min(speeds), max(speeds) + 2), color="#7a9cc6", edgecolor="white")
        pace = data["pace"]
        histogram.axvspan(pace["from"], pace["to"] + 1, color="#f2d48f", alpha=0.5, label=f"10-{study.speed_unit} pace")
        for value, name, style in [(data["mean_speed"], "mean", "-"), (data["median_speed"], "median", "--"),
                                   (data["percentile_85"], "85th percentile", ":")]:
            histogram.axvline(value, color="#333333", linestyle=style, label=f"{name} {value:g} {study.speed_unit}")
        histogram.legend(fontsize=7)
    histogram.set_title("Speeds", fontsize=10)
    histogram.set_xlabel(f"speed ({study.speed_unit})")
    histogram.set_ylabel("vehicles")
    histogram.yaxis.set_major_locator(MaxNLocator(integer=True))

    table_axes = figure.add_axes([0.2, 0.05, 0.76, 0.25])
    table_axes.axis("off")
    bins = data["bins"]
    cells = [row + [total] for row, total in zip(bins["counts"], bins["row_totals"])]
    cells.append(bins["column_totals"] + [sum(bins["row_totals"])])
    table = table_axes.table(cellText=[[str(c) for c in row] for row in cells],
                             rowLabels=bins["speed_classes"] + ["total"],
                             colLabels=bins["length_classes"] + ["total"], loc="center", cellLoc="right")
    table.auto_set_font_size(False)
    table.set_fontsize(7)
    long_vehicles = data["long_vehicles"]
    share = (f"; long vehicles (>= {long_vehicles['at_least']} {study.length_unit}): {long_vehicles['vehicles']}, "
             f"{long_vehicles['share_percent']} %" if long_vehicles["at_least"] is not None else "")
    table_axes.set_title(f"Vehicles by speed ({study.speed_unit}, rows) and length ({study.length_unit}, columns)"
                         + share, fontsize=9)


def write_report(study, pdf_path):
    """Writes the PDF, a PNG of its first page and the figures as JSON; returns the figures."""
    data = figures(study)
    base = os.path.splitext(pdf_path)[0]
    if os.path.dirname(pdf_path):
        os.makedirs(os.path.dirname(pdf_path), exist_ok=True)
    with PdfPages(pdf_path) as pdf:
        first = plt.figure(figsize=(8.27, 11.69))
        _page_one(study, data, first)
        pdf.savefig(first)
        first.savefig(base + ".png", dpi=100)
        plt.close(first)
        second = plt.figure(figsize=(8.27, 11.69))
        _page_two(study, data, second)
        pdf.savefig(second)
        plt.close(second)
    with open(base + ".json", "w") as f:
        json.dump(data, f, indent=2)
    return data


def main(argv=None):
    parser = argparse.ArgumentParser(prog="tallyx-report", description="A study report with charts (PDF, PNG, JSON).")
    parser.add_argument("folder", nargs="?", help="a folder written by tallyx read or by tallyread")
    parser.add_argument("--port", help="read the counter on this COM port instead (COM3 or 3)")
    parser.add_argument("--usb", type=int, help="read the counter on this USB bridge instead")
    parser.add_argument("--out", default="report.pdf", help="the PDF to write (default report.pdf)")
    args = parser.parse_args(argv)
    if (args.folder is None) == (args.port is None and args.usb is None):
        parser.error("give a folder, or --port or --usb")
    study = load_folder(args.folder) if args.folder else load_counter(args.port, args.usb)
    data = write_report(study, args.out)
    print(f"Report of {data['vehicles']} vehicles: {args.out} (first page {os.path.splitext(args.out)[0]}.png, "
          f"figures {os.path.splitext(args.out)[0]}.json)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
