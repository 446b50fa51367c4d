"""tallyx.exe ui under Wine, used from Linux over loopback: the same pages and API as on Linux, and a
read of a simulated counter of each model through them that gives the same records as tallyx read
on Linux. Run by tests/windows/e2e.sh inside tests/run_under_wine.sh, which sets TALLYX_UI_COMMAND to
start tallyx.exe and TALLYX_E2E_PORT_DIR to the folder the prefix's COM names lead to.
"""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ui_harness  # noqa: E402

# Two counters of each model with the same traffic: one read by tallyx.exe ui, one by the Linux tallyx.
A = ["--vehicles", "600", "--seed", "51", "--begin", "2026-11-02 00:00", "--end", "2026-11-03 00:00"]
B = ["--vehicles", "800", "--seed", "52", "--begin", "2026-11-02 06:00", "--end", "2026-11-03 18:00"]
COUNTERS = [(11, "A", A), (12, "A", A), (13, "B", B), (14, "B", B)]


class UiUnderWineTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = ui_harness.Bench(COUNTERS)
        cls.ui = cls.bench.ui

    @classmethod
    def tearDownClass(cls):
        cls.bench.close()

    def test_pages_and_guard(self):
        status, headers, page = self.ui.request("GET", "/?token=" + self.ui.token, token=False)
        self.assertEqual(status, 200)
        self.assertIn(self.ui.token.encode(), page)
        self.assertIn("HttpOnly", headers["Set-Cookie"])
        for path in ("/app.js", "/app.css", "/chart.min.js"):
            self.assertEqual(self.ui.request("GET", path)[0], 200, path)
        self.assertEqual(self.ui.request("GET", "/api/ports", token=False)[0], 403)
        self.assertEqual(self.ui.request("GET", "/api/ports", host="evil.example")[0], 403)
        self.assertEqual(self.ui.request("POST", "/api/read", {"port": "COM11"}, headers={"X-Tallyx-Token": ""})[0], 403)

    def test_reads_of_both_models(self):
        folder = tempfile.mkdtemp(prefix="tallyx-ui-wine-")
        env = dict(os.environ, TALLYX_PORT_DIR=self.bench.ports)
        for ui_com, linux_com, model in ((11, 12, "A"), (13, 14, "B")):
            with self.subTest(model=model):
                status, _ = self.ui.json("POST", "/api/ports/probe", {"port": f"COM{ui_com}"})
                self.assertEqual(status, 202)
                probe = self.ui.finished(f"COM{ui_com}")
                self.assertEqual(probe["state"], "done", probe)
                self.assertIn(f"Model {model}", probe["message"])
                self.assertEqual(self.ui.json("POST", "/api/read", {"port": f"COM{ui_com}"})[0], 202)
                done = self.ui.finished(f"COM{ui_com}", probe["id"] + 1)
                self.assertEqual(done["state"], "done", done)
                out = os.path.join(folder, model)
                read = subprocess.run([ui_harness.TALLYX, "read", "--port", f"COM{linux_com}", "--out", out, "--quiet",
                                       "--no-archive"], capture_output=True, text=True, env=env, timeout=300)
                self.assertEqual(read.returncode, 0, read.stderr)
                for name in ("sequential.csv", "periodic.csv"):
                    status, _, body = self.ui.request("GET", f"/api/studies/{done['studyId']}/files/{name}")
                    self.assertEqual(status, 200)
                    with open(os.path.join(out, name), "rb") as f:
                        self.assertEqual(body, f.read(), f"model {model}: {name}")
                status, study = self.ui.json("GET", f"/api/studies/{done['studyId']}")
                self.assertEqual(status, 200)
                self.assertGreater(study["report"]["vehicles"]["both"]["value"], 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
