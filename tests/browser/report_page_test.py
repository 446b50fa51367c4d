"""report.html in a real browser: Debian's chromium, headless, driven by Selenium.

Reads simulated counters of both models (and one odd study: one direction, no speeds, no posted
limit, shorter than a day) with tallyx read, writes their reports with tallyx report, opens each
report.html over file:// and checks that every chart is drawn, that the console holds no error,
that the page's sections and notes are there, that nothing is fetched, and that it prints to a PDF
of several pages with the charts on them.

    TALLYSIM_BINARY=build/tallysim TALLYX_CLI=build/tallyx /usr/bin/python3 tests/browser/report_page_test.py

Exits with status 77 (which ctest counts as skipped) when chromium, chromedriver or Selenium are
missing.
"""
import base64
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import headless_chromium  # noqa: E402

SKIPPED = 77
TALLYSIM = os.environ.get("TALLYSIM_BINARY", "tallysim")
TALLYX = os.environ.get("TALLYX_CLI", "tallyx")
WAIT_SECONDS = 30
# A site text with markup in it: the page must show it as text.
HOSTILE_STREET = "</script><i>Elm & 5th"

SECTIONS = ["summary", "speeds", "volumes", "days", "headways", "lengths"]
ALL_CHARTS = ["chart-speeds", "chart-hours", "chart-periods", "chart-days"]

# name: (simulator arguments, tallyx read arguments, charts drawn, both directions, notes on the first page)
STUDIES = {
    "model A": (["--model", "A", "--vehicles", "900", "--seed", "22", "--begin", "2026-11-02 00:00",
                 "--end", "2026-11-04 00:00", "--period", "15", "--set", "speedlimit=30",
                 "--set", "speedbins=20 30 40", "--set", "lengthbins=20 40 60", "--set", "street=" + HOSTILE_STREET],
                [], ALL_CHARTS, True, []),
    "model B metric": (["--model", "B", "--vehicles", "900", "--seed", "21", "--begin", "2026-11-02 09:00",
                        "--end", "2026-11-05 12:00", "--period", "15", "--set", "speedlimit=35",
                        "--set", "speedbins=20 30 40 50", "--set", "lengthbins=20 40"],
                       ["--metric"], ALL_CHARTS, True, []),
    "one direction, no speeds, no limit, half a day": (
        ["--model", "B", "--vehicles", "200", "--seed", "23", "--begin", "2026-11-02 06:00",
         "--end", "2026-11-02 18:00", "--period", "15", "--set", "speedlimit=0", "--set", "reverse=0",
         "--set", "stopped=1"],
        [], ["chart-hours", "chart-periods", "chart-days"], False,
        ["One direction only", "No speeds", "No posted limit", "No whole day"]),
}

# Counts, per canvas, the pixels of the two direction colours (the page's script draws forward
# in #3a6ea5 and reverse in #e0893a); anti-aliasing is allowed a little room.
COUNT_COLOURS = """
const canvas = document.getElementById(arguments[0]);
const image = canvas.getContext("2d").getImageData(0, 0, canvas.width, canvas.height).data;
const near = (i, r, g, b) => Math.abs(image[i] - r) < 24 && Math.abs(image[i + 1] - g) < 24
    && Math.abs(image[i + 2] - b) < 24 && image[i + 3] > 200;
let forward = 0, reverse = 0, ink = 0;
for (let i = 0; i < image.length; i += 4) {
  if (near(i, 0x3a, 0x6e, 0xa5)) ++forward;
  else if (near(i, 0xe0, 0x89, 0x3a)) ++reverse;
  if (image[i + 3] > 0) ++ink;
}
return [forward, reverse, ink, canvas.width * canvas.height];
"""


# #3a6ea5 as a PDF colour operator.
FORWARD_ON_PAPER = re.compile(rb"0?\.227\d* 0?\.431\d* 0?\.647\d* (?:rg|RG)")


def inflate(stream):
    try:
        return zlib.decompress(stream)
    except zlib.error:
        return stream


def start_simulator(folder, com, arguments):
    """tallysim on COM<com> in folder; returns once its port exists."""
    log = os.path.join(folder, f"tallysim{com}.log")
    with open(log, "wb") as output:
        process = subprocess.Popen([TALLYSIM, "--port-dir", folder, "--com", str(com)] + arguments,
                                   stdout=subprocess.DEVNULL, stderr=output)
    port = os.path.join(folder, f"COM{com}")
    deadline = time.monotonic() + WAIT_SECONDS
    while not os.path.exists(port):
        if process.poll() is not None:
            with open(log, errors="replace") as output:
                raise RuntimeError("tallysim ended: " + output.read())
        if time.monotonic() > deadline:
            process.kill()
            raise RuntimeError(f"tallysim published no {port}")
        time.sleep(0.02)
    return process


def make_reports(work):
    """Reads every study (the counters side by side) and writes its report; returns {name: report folder}."""
    ports = os.path.join(work, "ports")
    os.makedirs(ports)
    simulators, reads, folders = [], [], {}
    try:
        for com, (name, (simulator, read, *_)) in enumerate(STUDIES.items(), start=3):
            simulators.append(start_simulator(ports, com, simulator))
            folder = os.path.join(work, f"read{com}")
            reads.append((name, folder, subprocess.Popen(
                [TALLYX, "read", "--port", f"COM{com}", "--out", folder, "--delay-ms", "0", "--quiet"] + read,
                env=dict(os.environ, TALLYX_PORT_DIR=ports), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)))
        for name, folder, process in reads:
            _, error = process.communicate(timeout=120)
            if process.returncode != 0:
                raise RuntimeError(f"tallyx read of {name}: {error.decode(errors='replace')}")
            out = folder + "-report"
            subprocess.run([TALLYX, "report", folder, "--out", out], check=True, stdout=subprocess.DEVNULL)
            folders[name] = out
    finally:
        for process in simulators:
            process.terminate()
            process.wait(timeout=10)
    return folders


class ReportPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="tallyx-browser-")
        cls.reports = make_reports(cls.work.name)
        cls.driver = headless_chromium.start(os.path.join(cls.work.name, "profile"))

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.work.cleanup()

    def open(self, name):
        """Opens the report and waits until its script has drawn the charts (or failed to)."""
        self.driver.get_log("browser")  # what earlier pages logged
        self.driver.get("file://" + os.path.join(self.reports[name], "report.html"))
        state = headless_chromium.wait_for_charts(self.driver, WAIT_SECONDS)
        self.assertEqual(state, "drawn", self.driver.execute_script("return document.body.dataset.chartError"))

    def test_each_report_draws_every_chart_without_an_error(self):
        for name, (_, _, charts, both_directions, _) in STUDIES.items():
            with self.subTest(name):
                self.open(name)
                canvases = self.driver.execute_script(
                    "return Array.from(document.querySelectorAll('canvas'), c => c.id)")
                self.assertEqual(sorted(canvases), sorted(charts))
                self.assertEqual(self.driver.execute_script("return document.body.dataset.chartCount"),
                                 str(len(charts)))
                for chart in charts:
                    forward, reverse, ink, size = self.driver.execute_script(COUNT_COLOURS, chart)
                    self.assertGreater(size, 100 * 100, chart)
                    self.assertGreater(forward, 200, f"{chart}: no forward data drawn")
                    if both_directions:
                        self.assertGreater(reverse, 200, f"{chart}: no reverse data drawn")
                    self.assertLess(forward + reverse, size, f"{chart}: nothing but data colour")
                    self.assertGreater(ink - forward - reverse, 500, f"{chart}: no axes or labels")
                severe = [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]
                self.assertEqual(severe, [])
                # Everything is in the file: the page asks for nothing.
                self.assertEqual(self.driver.execute_script(
                    "return performance.getEntriesByType('resource').map(e => e.name)"), [])

    def test_each_report_has_its_sections_tables_and_notes(self):
        for name, (_, _, charts, _, notes) in STUDIES.items():
            with self.subTest(name):
                self.open(name)
                page = self.driver.execute_script("""
                    const text = (s) => Array.from(document.querySelectorAll(s), e => e.textContent.trim());
                    return {sections: Array.from(document.querySelectorAll('section, #lengths'), e => e.id),
                            title: document.querySelector('h1').textContent,
                            titleElements: document.querySelector('h1').children.length,
                            notes: text('.notes li strong'),
                            headings: text('h2'),
                            speedRows: document.querySelectorAll('table.speed-study tbody tr').length,
                            peakDays: document.querySelectorAll('table.peaks tbody').length,
                            dayRows: text('table.days tbody tr td:first-child')};""")
                self.assertEqual(page["sections"], SECTIONS)
                self.assertEqual([note.rstrip(":") for note in page["notes"]], notes)
                for heading in ["Volume summary", "Speeds", "Volumes", "Vehicles per day",
                                "Peak hours, both directions"]:
                    self.assertIn(heading, page["headings"])
                # Six speed figures and two of the pace, then four shares over the limit or one line saying
                # there is no limit.
                self.assertEqual(page["speedRows"], 9 if "No posted limit" in notes else 12)
                self.assertGreater(page["peakDays"], 0)
                self.assertTrue(page["dayRows"][-1].startswith("Average daily traffic"), page["dayRows"])
                self.assertEqual(page["titleElements"], 0)
                if name == "model A":
                    self.assertTrue(page["title"].startswith(HOSTILE_STREET + ", "), page["title"])

    def test_each_report_prints_to_pages_with_its_charts(self):
        for name, (_, _, charts, _, _) in STUDIES.items():
            with self.subTest(name):
                self.open(name)
                pdf = base64.b64decode(self.driver.execute_cdp_cmd(
                    "Page.printToPDF", {"preferCSSPageSize": True, "printBackground": True})["data"])
                self.assertTrue(pdf.startswith(b"%PDF-"))
                pages = len(re.findall(rb"/Type\s*/Page\b(?!s)", pdf))
                self.assertGreaterEqual(pages, 4)
                self.assertLessEqual(pages, 8)
                # A4, as the page's style asks: 595 x 842 points.
                self.assertRegex(pdf, rb"/MediaBox\s*\[\s*0 0 59[45]\.?\d* 84[12]\.?\d*\s*\]")
                # Chromium prints each canvas as vector drawing of its own: count those that fill or
                # stroke in the forward colour.
                streams = re.findall(rb"stream\r?\n(.*?)\r?\nendstream", pdf, re.S)
                drawn = sum(1 for stream in streams if FORWARD_ON_PAPER.search(inflate(stream)))
                self.assertEqual(drawn, len(charts))
                severe = [entry for entry in self.driver.get_log("browser") if entry["level"] == "SEVERE"]
                self.assertEqual(severe, [])


if __name__ == "__main__":
    missing = headless_chromium.missing()
    if missing:
        print(f"report page test skipped: {missing}")
        sys.exit(SKIPPED)
    unittest.main(verbosity=2)
