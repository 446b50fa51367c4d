"""The PDF report against simulated counters: it draws what `tallyx report` works out (the figures
themselves are tested in C++), keeps the read it makes, and refuses input that is not a read with
one line. Needs TALLYX_CLI (the tallyx program) and TALLYSIM_BINARY."""
import contextlib
import io
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
sys.path.insert(0, os.path.dirname(__file__))

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

from tallyx import report  # noqa: E402
from sim_counter import SimulatedCounter  # noqa: E402

STUDY = dict(vehicles=300, seed=21, begin="2026-11-02 00:00", end="2026-11-03 00:00", period=15, speedlimit=35,
             speedbins="20 30 40 50", lengthbins="20 40")


def quietly(function, *arguments):
    errors = io.StringIO()
    with contextlib.redirect_stderr(errors), contextlib.redirect_stdout(io.StringIO()):
        status = function(*arguments)
    return status, errors.getvalue()


class ReportTest(unittest.TestCase):
    def test_a_folder_and_a_counter_give_the_pdf_of_tallyx_figures(self):
        with tempfile.TemporaryDirectory() as work, SimulatedCounter("B", **STUDY) as sim:
            status, errors = quietly(report.main, ["--port", str(sim.com), "--delay-ms", "0",
                                                   "--out", os.path.join(work, "out", "report.pdf")])
            self.assertEqual(status, 0, errors)
            for name in ("report.pdf", "report.png"):
                self.assertGreater(os.path.getsize(os.path.join(work, "out", name)), 10000)
            # The read is kept beside the PDF, and the JSON is tallyx's own for that folder.
            read = os.path.join(work, "out", "report-read")
            self.assertTrue(os.path.exists(os.path.join(read, "sequential.csv")))
            subprocess.run([os.environ["TALLYX_CLI"], "report", read, "--out", os.path.join(work, "again")],
                           check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(work, "out", "report.json"), "rb") as ours, \
                    open(os.path.join(work, "again", "report.json"), "rb") as theirs:
                self.assertEqual(ours.read(), theirs.read())
            status, errors = quietly(report.main, [read, "--out", os.path.join(work, "second.pdf")])
            self.assertEqual(status, 0, errors)
            with open(os.path.join(work, "second.json")) as f:
                self.assertEqual(json.load(f)["vehicles"]["both"]["value"], 300)

    def test_bad_input_gives_one_line_status_2_and_no_file(self):
        sequential = "TimeStamp,Flag,Flag Description,Speed,Length\n2026-11-02 06:16:44.000,1,FORWARD,35,16\n"
        cases = [
            ("not a read", {"notes.txt": "hello\n"}, "is not the folder of a read"),
            ("cut off", {"study.txt": "", "sequential.csv": sequential + "2026-11-02 06:17:01.000,1,FORW"},
             "cut off in the middle of a line"),
            ("not a record", {"study.txt": "", "sequential.csv": sequential + "2026-11-02 x,1,,3,4\n"},
             "sequential.csv:3: '2026-11-02 x' is not a time stamp"),
        ]
        for name, files, message in cases:
            with self.subTest(name), tempfile.TemporaryDirectory() as work:
                folder, out = os.path.join(work, "in"), os.path.join(work, "out")
                os.makedirs(folder)
                for file, text in files.items():
                    with open(os.path.join(folder, file), "w") as f:
                        f.write(text)
                status, errors = quietly(report.main, [folder, "--out", os.path.join(out, "report.pdf")])
                self.assertEqual(status, 2)
                self.assertIn(message, errors)
                self.assertEqual(errors.count("\n"), 1, errors)
                self.assertFalse(os.path.exists(out) and os.listdir(out))

    def test_a_study_with_no_vehicles_says_so_on_its_first_page(self):
        with tempfile.TemporaryDirectory() as work:
            with open(os.path.join(work, "study.txt"), "w") as f:
                f.write("Speed Limit: 30\nStart Time: 2026-11-02 08:00:00.000\nEnd Time: 2026-11-02 09:00:00.000\n")
            with open(os.path.join(work, "sequential.csv"), "w") as f:
                f.write("TimeStamp,Flag,Flag Description,Speed,Length\n")
            status, errors = quietly(report.main, [work, "--out", os.path.join(work, "out", "report.pdf")])
            self.assertEqual(status, 0, errors)
            study = report.load_folder(work)
            page = plt.figure()
            report._page_summary(study, study.data, page)
            self.assertIn("No vehicles: the study holds no vehicles.", [t.get_text().split("\n")[0] for t in page.texts])
            plt.close(page)


if __name__ == "__main__":
    unittest.main()
