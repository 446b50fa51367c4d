"""The study report against simulated counters whose traffic is known: every figure it gives is
worked out here again, by brute force, from the simulator's own vehicles."""
import contextlib
import csv
import io
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
from datetime import datetime, timedelta

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from tallyx import figures as figures_module  # noqa: E402
from tallyx import report  # noqa: E402
from sim_counter import SimulatedCounter  # noqa: E402

HOUR, QUARTER = timedelta(hours=1), timedelta(minutes=15)


def half_up(value):
    return math.floor(value + 0.5)


def kmh(mph):
    """Miles per hour as the library shows them in km/h, with its preference for round values."""
    k = half_up(mph * 1.6093439549754007)
    tries = {1: (-1, 1), 6: (-1, 1), 4: (1, -1), 9: (1, -1)}.get(k % 10, ())
    for step in tries:
        if half_up((k + step) * 0.6213712096214294) == mph:
            return k + step
    return k


def simulated_vehicles(content_file, model, metric):
    """(time, reverse, speed, length, unclassified) of each vehicle, in the units of the report."""
    vehicles = []
    with open(content_file) as f:
        for row in csv.DictReader(f.read().split("\n\n")[0].splitlines()):
            if model == "B":  # whole and tenths, rounded half up
                speed = min(255, half_up(float(f"{row['speed_whole']}.{row['speed_fraction']}")))
                length = min(255, half_up(float(f"{row['length_whole']}.{row['length_fraction']}")))
            elif row["stopped"] == "1" or row["unclassified"] == "1":  # the library clears both
                speed, length = 0, 0
            else:
                speed, length = int(row["speed_whole"]), int(row["length_whole"])
            if metric:
                speed, length = kmh(speed), half_up(length * 3.0479999767456056)
            time = datetime.strptime(row["time"], "%Y-%m-%d %H:%M:%S.%f").replace(microsecond=0)
            vehicles.append((time, row["direction"] == "reverse", speed, length, row["unclassified"] == "1"))
    return vehicles


def rank(values, p):
    values = sorted(values)
    return values[-(-len(values) * p // 100) - 1]


def expected_speed_study(speeds, limit):
    if not speeds:
        return {"with_speed": 0}
    pace = max(range(min(speeds), max(speeds) + 1), key=lambda low: (sum(low <= s <= low + 9 for s in speeds), -low))
    result = {"with_speed": len(speeds), "mean": round(sum(speeds) / len(speeds), 2), "p15": rank(speeds, 15),
              "median": rank(speeds, 50), "p85": rank(speeds, 85), "highest": max(speeds), "pace": pace,
              "in_pace": sum(pace <= s <= pace + 9 for s in speeds)}
    if limit is not None:
        result["over"] = [sum(s > limit + extra for s in speeds) for extra in (0, 5, 10, 15)]
    return result


def found_speed_study(study):
    result = {"with_speed": study["with_speed"]["value"]}
    if result["with_speed"]:
        result.update({k: study[k]["value"] for k in ("mean", "p15", "median", "p85", "highest")})
        result["pace"] = study["pace"]["from"]["value"]
        result["in_pace"] = study["pace"]["vehicles"]["value"]
        if study["over_limit"] is not None:
            result["over"] = [o["vehicles"]["value"] for o in study["over_limit"]]
    return result


def expected_peak(times, day, begin, end, kind, step):
    """The busiest hour-long window of the kind, starting on multiples of step, by counting vehicles."""
    low, high = max(day, begin), min(day + timedelta(days=1), end)
    noon = day + timedelta(hours=12)
    low, high = {"am": (low, min(high, noon)), "pm": (max(low, noon), high), "whole_day": (low, high)}[kind]
    start = day
    while start < low:
        start += step
    best = None
    while start + HOUR <= high:
        volume = sum(start <= t < start + HOUR for t in times)
        if best is None or volume > best[1]:
            best = (start, volume)
        start += step
    if best is None:
        return None
    busiest = max(sum(best[0] + k * QUARTER <= t < best[0] + (k + 1) * QUARTER for t in times) for k in range(4))
    return best[0].strftime("%Y-%m-%d %H:%M"), best[1], round(best[1] / (4 * busiest), 2) if busiest else None


class ReportTest(unittest.TestCase):
    # name, model, simulated study, how the report gets it, metric, speed limit (mph)
    CASES = [
        ("model B, two whole days, US", "B",
         dict(vehicles=900, seed=21, begin="2026-11-02 00:00", end="2026-11-04 00:00", period=15, speedlimit=35,
              speedbins="20 30 40 50", lengthbins="20 40"), "port", False, 35),
        ("model A, metric, one direction, shorter than a day", "A",
         dict(vehicles=300, seed=5, begin="2026-11-02 06:10", end="2026-11-02 18:00", period=15, reverse=0,
              speedlimit=40, speedbins="30 40 50", lengthbins="20 40"), "tallyx read", True, 40),
        ("model B, metric, no speeds, no posted limit, across midnight", "B",
         dict(vehicles=150, seed=8, begin="2026-11-02 20:00", end="2026-11-03 20:00", period=60, stopped=1,
              speedlimit=0, speedbins="30 40", lengthbins="25"), "tallyx read", True, None),
        ("model A, read by tallyread, 26 hours", "A",
         dict(vehicles=400, seed=11, begin="2026-11-02 00:00", end="2026-11-03 02:00", period=15, speedlimit=30,
              speedbins="20 30 40", lengthbins="20 40 60"), "tallyread", False, 30),
    ]

    def read(self, sim, how, metric, work):
        if how == "port":
            pdf = os.path.join(work, "report", "report.pdf")
            with contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(report.main(["--port", str(sim.com), "--delay-ms", "0", "--out", pdf]), 0)
            for name in ("report.pdf", "report.png"):
                self.assertGreater(os.path.getsize(os.path.join(work, "report", name)), 10000)
            with open(os.path.join(work, "report", "report.json")) as f:
                return json.load(f)
        if how == "tallyx read":
            folder = os.path.join(work, "read")
            subprocess.run([os.environ.get("TALLYX_CLI", "tallyx"), "read", "--port", str(sim.com), "--out", folder,
                            "--delay-ms", "0", "--quiet"] + (["--metric"] if metric else []),
                           check=True, stdout=subprocess.DEVNULL, timeout=120)
            self.good_folder = folder
        else:  # tallyread writes into data/ beside itself, so it runs from a copy
            program = os.environ["TALLYREAD_BINARY"]
            for name in os.listdir(os.path.dirname(program)):
                if name == "tallyread" or name.startswith("libtallyx.so"):
                    shutil.copy(os.path.join(os.path.dirname(program), name), work, follow_symlinks=False)
            subprocess.run([os.path.join(work, "tallyread")], check=True, stdout=subprocess.DEVNULL, timeout=120,
                           env=dict(os.environ, TALLYX_PORT_DIR=sim.folder.name))
            folder = work
        return json.loads(json.dumps(figures_module.figures(report.load_folder(folder))))

    def test_every_figure_is_that_of_the_simulated_traffic(self):
        for name, model, settings, how, metric, limit_mph in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as work:
                if how == "tallyread" and not os.environ.get("TALLYREAD_BINARY"):
                    self.skipTest("no tallyread in this build")
                with SimulatedCounter(model, **settings) as sim:
                    found = self.read(sim, how, metric, work)
                    vehicles = simulated_vehicles(sim.content, model, metric)
                self.check(found, vehicles, settings, metric, limit_mph)

    def check(self, found, vehicles, settings, metric, limit_mph):
        limit = None if limit_mph is None else (kmh(limit_mph) if metric else limit_mph)
        unit = "km/h" if metric else "mph"
        self.assertEqual(found["units"]["speed"], unit)
        self.assertEqual(found["speed"]["posted_limit"], None if limit is None else {"value": limit, "unit": unit})
        directions = {"forward": [v for v in vehicles if not v[1]], "reverse": [v for v in vehicles if v[1]],
                      "both": vehicles}
        begin = datetime.strptime(settings["begin"], "%Y-%m-%d %H:%M")
        end = datetime.strptime(settings["end"], "%Y-%m-%d %H:%M")
        whole_days = [begin.date() + timedelta(days=n) for n in range((end - begin).days + 1)
                      if datetime.combine(begin.date() + timedelta(days=n), datetime.min.time()) >= begin
                      and datetime.combine(begin.date() + timedelta(days=n + 1), datetime.min.time()) <= end]
        limits = [half_up(int(n) * 3.0479999767456056) if metric else int(n) for n in settings["lengthbins"].split()]
        for direction, chosen in directions.items():
            self.assertEqual(found["vehicles"][direction]["value"], len(chosen))
            self.assertEqual(found_speed_study(found["speed"][direction]),
                             expected_speed_study([v[2] for v in chosen if v[2] > 0], limit), direction)
            hours = {}
            for v in chosen:
                hours[v[0].strftime("%Y-%m-%d %H:00")] = hours.get(v[0].strftime("%Y-%m-%d %H:00"), 0) + 1
            self.assertEqual({h["hour"]: h[direction] for h in found["volume"]["hours"]["rows"] if h[direction]},
                             hours)
            days = {r["day"]: r[direction] for r in found["volume"]["days"]["rows"]}
            self.assertEqual(days, {d: sum(v[0].strftime("%Y-%m-%d") == d for v in chosen) for d in days})
            adt = found["volume"]["average_daily_traffic"]
            if whole_days:
                self.assertEqual(adt["whole_days"], len(whole_days))
                self.assertAlmostEqual(adt[direction]["value"], round(sum(
                    v[0].date() in whole_days for v in chosen) / len(whole_days), 1))
            else:
                self.assertIsNone(adt)
            times = {d: sorted(v[0] for v in vehicles if v[1] == (d == "reverse")) for d in ("forward", "reverse")}
            gaps = [(b - a).total_seconds() for d in ("forward", "reverse") if direction in (d, "both")
                    for a, b in zip(times[d], times[d][1:])]
            self.assertEqual([band[direction] for band in found["headways"]["bands"]],
                             [sum(low <= g < (high or 1e9) for g in gaps) for low, high in figures_module.HEADWAY_BANDS])
            classified = [v[3] for v in chosen if v[3] > 0 and not v[4]]
            self.assertEqual([r[direction] for r in found["length_classes"]["rows"]],
                             [sum(low <= n < high for n in classified)
                              for low, high in zip([0] + limits, limits + [10 ** 9])])
        self.assertEqual(len(found["volume"]["peak_hours"]), len({v[0].date() for v in vehicles} | {begin.date()}))
        times = [v[0] for v in vehicles]
        for entry in found["volume"]["peak_hours"]:
            day = datetime.strptime(entry["day"], "%Y-%m-%d")
            for kind in ("am", "pm", "whole_day"):
                for key, step in (("clock_hour", HOUR), ("busiest_60_minutes", QUARTER)):
                    peak = entry[kind][key]
                    self.assertEqual(None if peak is None else (peak["from"], peak["volume"]["value"],
                                                                peak["peak_hour_factor"]["value"]),
                                     expected_peak(times, day, begin, end, kind, step), (entry["day"], kind, key))


class BadInputTest(unittest.TestCase):
    def run_report(self, folder, out):
        errors = io.StringIO()
        with contextlib.redirect_stderr(errors), contextlib.redirect_stdout(io.StringIO()):
            status = report.main([folder, "--out", os.path.join(out, "report.pdf")])
        return status, errors.getvalue()

    def test_bad_input_gives_one_line_status_2_and_no_file(self):
        sequential = "TimeStamp,Flag,Flag Description,Speed,Length\n2026-11-02 06:16:44.000,1,FORWARD,35,16\n"
        cases = [
            ("not a read", {"notes.txt": "hello\n"}, "is not a read"),
            ("cut off in the middle of a line", {"study.txt": "Start Time: 2026-11-02 00:00:00.000\n",
                                                 "sequential.csv": sequential + "2026-11-02 06:17:01.000,1,FORW"},
             "cut off in the middle of a line"),
            ("a line that is no record", {"study.txt": "", "sequential.csv": sequential + "2026-11-02 x,1,,3,4\n"},
             "line 3 is not a vehicle record"),
            ("periods cut off", {"study.txt": "", "sequential.csv": sequential,
                                 "periodic.csv": "TimeStamp,Temperature,Occupancy,Count,ReverseCount\n2026"},
             "cut off"),
        ]
        for name, files, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as work:
                folder, out = os.path.join(work, "in"), os.path.join(work, "out")
                os.makedirs(folder)
                for file, text in files.items():
                    with open(os.path.join(folder, file), "w") as f:
                        f.write(text)
                status, errors = self.run_report(folder, out)
                self.assertEqual(status, 2)
                self.assertIn(message, errors)
                self.assertEqual(errors.count("\n"), 1, errors)
                self.assertFalse(os.path.exists(out) and os.listdir(out))

    def test_a_study_with_no_vehicles_says_so_on_its_first_page(self):
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "study.txt"), "w") as f:
                f.write("Speed Limit: 30\nStart Time: 2026-11-02 08:00:00.000\nEnd Time: 2026-11-02 09:00:00.000\n")
            with open(os.path.join(work, "sequential.csv"), "w") as f:
                f.write(",".join(report.SEQUENTIAL_HEADER) + "\n")
            status, _ = self.run_report(work, os.path.join(work, "out"))
            self.assertEqual(status, 0)
            study = report.load_folder(work)
            data = figures_module.figures(study)
            page = plt.figure()
            report._page_summary(study, data, page)
            self.assertIn("No vehicles: the study holds no vehicles.", [t.get_text().split("\n")[0] for t in page.texts])
            plt.close(page)


if __name__ == "__main__":
    unittest.main()
