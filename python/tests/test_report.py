"""The study report against a simulated counter whose traffic is known: the
figures it prints are worked out here from the simulator's own vehicles."""
import csv
import json
import math
import os
import subprocess
import sys
import tempfile
import unittest
from collections import Counter as Tally
from datetime import datetime, timedelta

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))

from tallyx import report  # noqa: E402
from sim_counter import SimulatedCounter  # noqa: E402


def rounded(whole, fraction):
    """A model B measurement "whole.fraction" rounded half up."""
    return min(255, math.floor(float(f"{whole}.{fraction}") + 0.5))


def expected_vehicles(content_file):
    vehicles = []
    with open(content_file) as f:
        # The vehicles come first; a blank line ends them.
        lines = f.read().split("\n\n")[0].splitlines()
        for row in csv.DictReader(lines):
            time = datetime.strptime(row["time"], "%Y-%m-%d %H:%M:%S.%f").replace(microsecond=0)
            vehicles.append((time, row["direction"] == "reverse",
                             rounded(int(row["speed_whole"]), int(row["speed_fraction"]))))
    return vehicles


class ReportTest(unittest.TestCase):
    def test_the_figures_are_those_of_the_simulated_traffic(self):
        work = tempfile.TemporaryDirectory()
        self.addCleanup(work.cleanup)
        begin = datetime(2026, 11, 2, 0, 0)
        with SimulatedCounter("B", vehicles=600, seed=21, begin="2026-11-02 00:00", end="2026-11-04 00:00",
                              period=60, speedbins="20 30 40 50", lengthbins="20 40") as sim:
            pdf = os.path.join(work.name, "out", "report.pdf")
            self.assertEqual(report.main(["--port", str(sim.com), "--out", pdf]), 0)
            vehicles = expected_vehicles(sim.content)
            # The same study through a folder that tallyx read wrote gives the same figures.
            cli = os.environ.get("TALLYX_CLI")
            if cli:
                folder = os.path.join(work.name, "read")
                subprocess.run([cli, "read", "--port", str(sim.com), "--out", folder, "--delay-ms", "0", "--quiet"],
                               check=True, stdout=subprocess.DEVNULL, timeout=120)
                from_folder = report.figures(report.load_folder(folder))
        with open(os.path.join(work.name, "out", "report.json")) as f:
            figures = json.load(f)
        self.assertTrue(os.path.getsize(pdf) > 10000)
        self.assertTrue(os.path.exists(os.path.join(work.name, "out", "report.png")))

        speeds = sorted(v[2] for v in vehicles if v[2] > 0)
        self.assertEqual(figures["vehicles"], len(vehicles))
        self.assertEqual(figures["reverse"], sum(1 for v in vehicles if v[1]))
        self.assertAlmostEqual(figures["mean_speed"], round(sum(speeds) / len(speeds), 2))
        self.assertEqual(figures["percentile_85"], speeds[math.ceil(0.85 * len(speeds)) - 1])
        tally = Tally(speeds)
        pace = max(range(speeds[0], speeds[-1] + 1), key=lambda low: (sum(tally[s] for s in range(low, low + 10)), -low))
        self.assertEqual(figures["pace"]["from"], pace)
        # Volumes per hour-long period and per day, in each direction.
        for n, period in enumerate(figures["periods"]):
            start = begin + timedelta(hours=n)
            inside = [v for v in vehicles if start <= v[0] < start + timedelta(hours=1)]
            self.assertEqual(period["forward"], sum(1 for v in inside if not v[1]), period)
            self.assertEqual(period["reverse"], sum(1 for v in inside if v[1]), period)
        self.assertEqual(len(figures["periods"]), 48)
        self.assertEqual([d["vehicles"] for d in figures["days"]],
                         [sum(1 for v in vehicles if v[0].date() == day.date())
                          for day in (begin, begin + timedelta(days=1))])
        self.assertEqual(sum(figures["bins"]["row_totals"]), len(speeds))
        if os.environ.get("TALLYX_CLI"):
            for key in ("vehicles", "reverse", "mean_speed", "percentile_85", "pace", "periods", "days", "bins"):
                self.assertEqual(from_folder[key], figures[key], key)


if __name__ == "__main__":
    unittest.main()
