"""The figures of a study report, worked out from the records alone: no plotting, no files.

A study is its settings and its vehicles, held as columns so that a million vehicles stay
small: time stamps in whole seconds of the counter's local clock (counted from 0001-01-01, so
that days and hours are plain integer divisions), the direction, the speed and the length in the
units of the data, and whether the counter left the vehicle unclassified.

Percentiles use the nearest-rank method throughout: the p-th percentile is the speed of the
vehicle at rank ceil(p x n / 100) when the n speeds are sorted from the lowest, so it is always
a speed that a vehicle had. The median is the 50th percentile by the same rule.
"""
from array import array
from bisect import bisect_right
from collections import Counter as Tally
from datetime import datetime, timedelta

DAY = 86400
HOUR = 3600
QUARTER = 900
DIRECTIONS = ("forward", "reverse", "both")
# Headway bands in seconds: [low, high), the last one open.
HEADWAY_BANDS = ((0, 1), (1, 2), (2, 3), (3, 5), (5, 10), (10, None))
PERCENTILE_METHOD = "nearest rank: the speed at rank ceil(p x n / 100) of the n speeds sorted from the lowest"
_TIME_FORMS = ("%Y-%m-%d %H:%M:%S.%f", "%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M")


class Study:
    """Settings and vehicles of one study, in the units of the data (metric: km/h and dm)."""

    def __init__(self):
        self.settings = {}
        self.metric = False
        self.times = array("q")        # seconds since 0001-01-01 00:00 local
        self.reverse = bytearray()     # 1 for the reverse direction
        self.speeds = array("l")       # 0: no speed
        self.lengths = array("l")      # 0: no length
        self.unclassified = bytearray()
        self.periods = []              # (end datetime, count, reverse count, bins as rows)

    def add_vehicle(self, seconds, reverse, speed, length, unclassified=False):
        self.times.append(seconds)
        self.reverse.append(1 if reverse else 0)
        self.speeds.append(speed)
        self.lengths.append(length)
        self.unclassified.append(1 if unclassified else 0)

    @property
    def speed_unit(self):
        return "km/h" if self.metric else "mph"

    @property
    def length_unit(self):
        return "dm" if self.metric else "ft"


def seconds_of(moment):
    """A datetime as whole seconds since 0001-01-01 00:00."""
    return moment.toordinal() * DAY + moment.hour * HOUR + moment.minute * 60 + moment.second


def moment_of(seconds):
    return datetime.fromordinal(seconds // DAY) + timedelta(seconds=seconds % DAY)


def parse_time(text):
    for form in _TIME_FORMS:
        try:
            return datetime.strptime((text or "").strip(), form)
        except ValueError:
            continue
    return None


def numbers_in(text):
    """The runs of digits in a text, as numbers (bin lists are written with any separators)."""
    numbers, digits = [], ""
    for c in (text or "") + " ":
        if c.isdigit():
            digits += c
        elif digits:
            numbers.append(int(digits))
            digits = ""
    return numbers


def posted_limit(study):
    """The posted speed limit in the data's units, or None when the study has none (empty or 0)."""
    numbers = numbers_in(study.settings.get("speedLimit"))
    return numbers[0] if numbers and numbers[0] > 0 else None


def class_labels(limits, unit):
    if not limits:
        return ["all"]
    labels = [f"< {limits[0]}"]
    labels += [f"{a}-{b - 1}" for a, b in zip(limits, limits[1:])]
    labels.append(f">= {limits[-1]}")
    return [f"{label} {unit}" for label in labels]


def q(value, unit):
    """A figure with its unit."""
    return {"value": value, "unit": unit}


def percentile(tally, total, p):
    """Nearest-rank percentile of a tally {speed: vehicles} holding `total` vehicles."""
    rank = (total * p + 99) // 100
    seen = 0
    for speed in sorted(tally):
        seen += tally[speed]
        if seen >= max(rank, 1):
            return speed
    return None


def _speed_study(tally, limit, unit):
    total = sum(tally.values())
    result = {"with_speed": q(total, "vehicles")}
    if not total:
        result["note"] = "no vehicle with a speed"
        return result
    speeds = sorted(tally)
    result["mean"] = q(round(sum(s * n for s, n in tally.items()) / total, 2), unit)
    for name, p in (("p15", 15), ("median", 50), ("p85", 85)):
        result[name] = q(percentile(tally, total, p), unit)
    result["highest"] = q(speeds[-1], unit)
    # The 10-unit band of whole speeds [low, low + 9] that holds the most vehicles; the lowest wins a tie.
    best, best_count = speeds[0], -1
    for low in range(speeds[0], speeds[-1] + 1):
        count = sum(tally.get(s, 0) for s in range(low, low + 10))
        if count > best_count:
            best, best_count = low, count
    result["pace"] = {"from": q(best, unit), "to": q(best + 9, unit), "vehicles": q(best_count, "vehicles"),
                      "share": q(round(100.0 * best_count / total, 1), "%")}
    if limit is None:
        result["over_limit"] = None
        result["limit_note"] = "no posted limit"
    else:
        result["over_limit"] = []
        for extra in (0, 5, 10, 15):
            over = sum(n for s, n in tally.items() if s > limit + extra)
            result["over_limit"].append({"above": q(limit + extra, unit), "vehicles": q(over, "vehicles"),
                                         "share": q(round(100.0 * over / total, 1), "%")})
    return result


def speed_figures(study):
    """The speed study of each direction and of both, and the histogram per whole speed."""
    tallies = {"forward": Tally(), "reverse": Tally()}
    for reverse, speed in zip(study.reverse, study.speeds):
        if speed > 0:
            tallies["reverse" if reverse else "forward"][speed] += 1
    tallies["both"] = tallies["forward"] + tallies["reverse"]
    limit = posted_limit(study)
    unit = study.speed_unit
    result = {"posted_limit": q(limit, unit) if limit is not None else None,
              "percentile_method": PERCENTILE_METHOD}
    for direction in DIRECTIONS:
        result[direction] = _speed_study(tallies[direction], limit, unit)
    speeds = sorted(tallies["both"])
    every = list(range(speeds[0], speeds[-1] + 1)) if speeds else []
    result["histogram"] = {"speed_unit": unit, "unit": "vehicles", "speeds": every,
                           "forward": [tallies["forward"].get(s, 0) for s in every],
                           "reverse": [tallies["reverse"].get(s, 0) for s in every]}
    return result


def study_bounds(study):
    """Begin and end of the study in seconds: from the settings, else from the vehicles' hours."""
    begin = parse_time(study.settings.get("begin"))
    end = parse_time(study.settings.get("end"))
    if begin and end and end > begin:
        return seconds_of(begin), seconds_of(end)
    if not study.times:
        return None, None
    return min(study.times) // HOUR * HOUR, max(study.times) // HOUR * HOUR + HOUR


def _split(counts):
    forward, reverse = counts
    return {"forward": forward, "reverse": reverse, "both": forward + reverse}


def _peak(windows, quarters, label):
    """The busiest of the candidate windows [start, start + 1 h), each with its peak hour factor."""
    best = None
    for start in windows:
        volume = sum(quarters.get(start + k * QUARTER, 0) for k in range(4))
        if best is None or volume > best[1]:
            best = (start, volume)
    if best is None:
        return None
    start, volume = best
    busiest = max(quarters.get(start + k * QUARTER, 0) for k in range(4))
    return {"kind": label, "from": moment_of(start).strftime("%Y-%m-%d %H:%M"),
            "to": moment_of(start + HOUR).strftime("%Y-%m-%d %H:%M"), "volume": q(volume, "vehicles per hour"),
            "busiest_15_minutes": q(busiest, "vehicles"),
            "peak_hour_factor": q(round(volume / (4.0 * busiest), 2) if busiest else None, "")}


def volume_figures(study):
    """Volumes per hour and per day in each direction, the directional split, the peak hours of
    each day and the average daily traffic over whole days."""
    begin, end = study_bounds(study)
    quarter_counts = Tally(t // QUARTER * 2 + r for t, r in zip(study.times, study.reverse))
    hours, days = {}, {}
    if begin is not None and (end - begin) <= 400 * DAY:
        for hour in range(begin // HOUR * HOUR, end, HOUR):
            hours[hour] = [0, 0]
            days.setdefault(hour // DAY * DAY, [0, 0])
    quarters = Tally()
    for key, n in quarter_counts.items():
        start, reverse = key // 2 * QUARTER, key % 2
        hours.setdefault(start // HOUR * HOUR, [0, 0])[reverse] += n
        days.setdefault(start // DAY * DAY, [0, 0])[reverse] += n
        quarters[start] += n
    forward = sum(f for f, _ in days.values())
    reverse = sum(r for _, r in days.values())
    total = forward + reverse
    result = {
        "vehicles": q(total, "vehicles"),
        "split": {"forward": q(round(100.0 * forward / total, 1) if total else None, "%"),
                  "reverse": q(round(100.0 * reverse / total, 1) if total else None, "%")},
        "hours": {"unit": "vehicles per hour",
                  "rows": [dict(hour=moment_of(h).strftime("%Y-%m-%d %H:00"), **_split(c))
                           for h, c in sorted(hours.items())]},
    }
    day_rows = []
    whole = []
    for day, counts in sorted(days.items()):
        is_whole = begin is not None and begin <= day and day + DAY <= end
        day_rows.append(dict(day=moment_of(day).strftime("%Y-%m-%d"), whole=is_whole, **_split(counts)))
        if is_whole:
            whole.append(counts)
    result["days"] = {"unit": "vehicles per day", "rows": day_rows}
    if whole:
        result["average_daily_traffic"] = {
            "whole_days": len(whole),
            **{d: q(round(sum(_split(c)[d] for c in whole) / len(whole), 1), "vehicles per day") for d in DIRECTIONS}}
    else:
        result["average_daily_traffic"] = None
        result["average_daily_traffic_note"] = "the study holds no whole day, so there is no average daily traffic"
    # Peak hours of each day, both directions together: clock hours and the busiest 60 minutes from
    # the quarter-hour counts, inside the study and inside the day.
    peaks = []
    for row, (day, _) in zip(day_rows, sorted(days.items())):
        lo = max(day, begin) if begin is not None else day
        hi = min(day + DAY, end) if end is not None else day + DAY
        noon = day + 12 * HOUR
        entry = {"day": row["day"]}
        for kind, start_from, end_by in (("am", lo, min(hi, noon)), ("pm", max(lo, noon), hi), ("whole_day", lo, hi)):
            clock = range(-(-start_from // HOUR) * HOUR, end_by - HOUR + 1, HOUR)
            rolling = range(-(-start_from // QUARTER) * QUARTER, end_by - HOUR + 1, QUARTER)
            entry[kind] = {"clock_hour": _peak(clock, quarters, "clock hour"),
                           "busiest_60_minutes": _peak(rolling, quarters, "busiest 60 minutes")}
        peaks.append(entry)
    result["peak_hours"] = peaks
    return result


def headway_figures(study):
    """Headways between successive vehicles in the same direction, in bands of seconds."""
    result = {"unit": "headways", "bands": [], "time_resolution": q(1, "s")}
    counts = {}
    for direction, flag in (("forward", 0), ("reverse", 1)):
        times = sorted(t for t, r in zip(study.times, study.reverse) if r == flag)
        band = [0] * len(HEADWAY_BANDS)
        lows = [low for low, _ in HEADWAY_BANDS]
        gaps = Tally(b - a for a, b in zip(times, times[1:]))
        for gap, n in gaps.items():
            band[bisect_right(lows, gap) - 1] += n
        counts[direction] = band
    counts["both"] = [f + r for f, r in zip(counts["forward"], counts["reverse"])]
    totals = {d: sum(counts[d]) for d in DIRECTIONS}
    for i, (low, high) in enumerate(HEADWAY_BANDS):
        label = f"under {high} s" if low == 0 else (f"{low}-{high} s" if high else f"{low} s and more")
        band = {"band": label, "from": q(low, "s"), "below": q(high, "s") if high else None}
        for d in DIRECTIONS:
            band[d] = counts[d][i]
            band[d + "_share"] = q(round(100.0 * counts[d][i] / totals[d], 1) if totals[d] else None, "%")
        result["bands"].append(band)
    result["total"] = totals
    return result


def length_class_figures(study):
    """Vehicles per class of the study's length bins, per direction, with shares of the classified
    vehicles (those with a length that the counter did not leave unclassified)."""
    limits = numbers_in(study.settings.get("lengthBins"))
    tally = Tally()
    unclassified = [0, 0]
    for reverse, length, unclass in zip(study.reverse, study.lengths, study.unclassified):
        if unclass or length <= 0:
            unclassified[reverse] += 1
        else:
            tally[length * 2 + reverse] += 1
    counts = [[0, 0] for _ in range(len(limits) + 1)]
    for key, n in tally.items():
        counts[bisect_right(limits, key // 2)][key % 2] += n
    totals = _split([sum(c[0] for c in counts), sum(c[1] for c in counts)])
    rows = []
    for label, c in zip(class_labels(limits, study.length_unit), counts):
        row = dict(length_class=label, **_split(c))
        for d in DIRECTIONS:
            row[d + "_share"] = q(round(100.0 * row[d] / totals[d], 1) if totals[d] else None, "%")
        rows.append(row)
    return {"unit": "vehicles", "length_unit": study.length_unit, "limits": limits, "rows": rows,
            "classified": totals, "not_classified": _split(unclassified)}


def period_figures(study):
    """The periodic records: volume per period by direction, and the speed-by-length matrix."""
    periods = [{"end": end.strftime("%Y-%m-%d %H:%M"), "forward": count - reverse, "reverse": reverse}
               for end, count, reverse, _ in study.periods]
    speed_limits = numbers_in(study.settings.get("speedBins"))
    length_limits = numbers_in(study.settings.get("lengthBins"))
    table = [[0] * (len(length_limits) + 1) for _ in range(len(speed_limits) + 1)]
    for _, _, _, bins in study.periods:
        for r, row in enumerate(bins[:len(table)]):
            for c, cell in enumerate(row[:len(table[0])]):
                table[r][c] += cell
    binned = sum(sum(row) for row in table)
    long_vehicles = sum(row[-1] for row in table) if length_limits else 0
    return {
        "periods": {"unit": "vehicles per period", "minutes": numbers_in(study.settings.get("periodMinutes"))[:1],
                    "rows": periods},
        "bins": {"unit": "vehicles", "speed_classes": class_labels(speed_limits, study.speed_unit),
                 "length_classes": class_labels(length_limits, study.length_unit), "counts": table,
                 "row_totals": [sum(row) for row in table], "column_totals": [sum(col) for col in zip(*table)]},
        "long_vehicles": {"at_least": q(length_limits[-1], study.length_unit) if length_limits else None,
                          "vehicles": q(long_vehicles, "vehicles"),
                          "share": q(round(100.0 * long_vehicles / binned, 1) if binned else None, "%")},
    }


def figures(study):
    """Every figure of the report, each with its unit."""
    result = {"units": {"speed": study.speed_unit, "length": study.length_unit, "time": "local time of the counter"}}
    result["vehicles"] = {"forward": q(len(study.reverse) - sum(study.reverse), "vehicles"),
                          "reverse": q(sum(study.reverse), "vehicles"), "both": q(len(study.reverse), "vehicles")}
    if not study.times:
        result["note"] = "the study holds no vehicles"
    result["speed"] = speed_figures(study)
    result["volume"] = volume_figures(study)
    result["headways"] = headway_figures(study)
    result["length_classes"] = length_class_figures(study)
    result.update(period_figures(study))
    return result

