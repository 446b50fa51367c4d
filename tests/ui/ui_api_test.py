"""tallyx ui's API and its guard, over loopback against simulated counters.

Who gets in (token, cookie, Host header, POST with the token header), what a request may carry (no
file paths, a bounded body, strict JSON with known fields and values in range: 400 naming the
field), one operation per port (409 "busy"), a bounded load loop during a real read (malformed,
oversized and half-closed requests, 50 clients following the events) that leaves no descriptor or
thread behind and a read that is exact, and Ctrl-C in the middle of a read.

    TALLYSIM_BINARY=build/tallysim TALLYX_CLI=build/tallyx /usr/bin/python3 tests/ui/ui_api_test.py
"""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ui_harness  # noqa: E402

SEED = "41"
# The same counter twice: one read through tallyx ui, one by tallyx read, to compare.
STUDY = ["--vehicles", "3000", "--seed", SEED, "--begin", "2026-11-02 06:00", "--end", "2026-11-04 06:00"]
COUNTERS = [
    (3, "A", ["--vehicles", "300", "--seed", "42"]),
    (4, "B", STUDY + ["--baud", "57600"]),
    (5, "B", STUDY),
    (6, "B", ["--vehicles", "20000", "--seed", "43", "--baud", "9600"]),
]


class UiApiTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = ui_harness.Bench(COUNTERS)
        cls.ui = cls.bench.ui

    @classmethod
    def tearDownClass(cls):
        status, out, err = cls.bench.close()
        assert status == 0 and "stopped" in out, (status, out, err)

    def refused(self, expected, method, path, body=None, field=None, **options):
        status, answer = self.ui.json(method, path, body, **options)
        self.assertEqual(status, expected, (method, path, answer))
        self.assertIn("error", answer)
        if field is not None:
            self.assertEqual(answer.get("field"), field, answer)
        return answer

    def idle(self):
        """Waits (30 s at most) until tallyx ui is at rest: two threads (the main one and the server's;
        operations have their own while they run) and one socket (the listening one), once the
        threads of finished operations have ended and closed connections have gone."""
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            sockets = [t for t in self.ui.descriptor_targets() if t.startswith("socket:")]
            if self.ui.threads() == 2 and len(sockets) == 1:
                return True
            time.sleep(0.05)
        return False

    def operation(self, port):
        return self.ui.json("GET", "/api/operations")[1]["ports"].get(port, {}).get("operation")

    def test_token_cookie_and_host(self):
        # Without the token, or with another, nothing is served.
        for path in ("/", "/app.js", "/api/ports", "/api/studies", "/api/events"):
            self.refused(403, "GET", path, token=False)
        self.refused(403, "GET", "/?token=" + "0" * 32, token=False)
        self.refused(403, "GET", "/api/ports", token=False, headers={"Cookie": f"tallyx_{self.ui.port}=" + "0" * 32})
        # A cookie of another port is not this one's.
        self.refused(403, "GET", "/api/ports", token=False, headers={"Cookie": f"tallyx_1={self.ui.token}"})
        # The token in the address opens the page and sets the cookie.
        status, headers, page = self.ui.request("GET", "/?token=" + self.ui.token, token=False)
        self.assertEqual(status, 200)
        cookie = headers["Set-Cookie"]
        self.assertTrue(cookie.startswith(f"tallyx_{self.ui.port}={self.ui.token};"), cookie)
        self.assertIn("HttpOnly", cookie)
        self.assertIn("SameSite=Strict", cookie)
        self.assertIn("default-src 'self'", headers["Content-Security-Policy"])
        self.assertIn(self.ui.token.encode(), page)
        # Only this server's names are answered: a name rebound to 127.0.0.1 gets nothing.
        for host in ("evil.example", f"evil.example:{self.ui.port}", f"127.0.0.1:{self.ui.port + 1}",
                     f"127.0.0.1.evil.example:{self.ui.port}", ""):
            self.refused(403, "GET", "/api/ports", host=host)
        self.assertEqual(self.ui.json("GET", "/api/ports", host=f"localhost:{self.ui.port}")[0], 200)

    def test_changes_need_post_with_the_token_header(self):
        before = self.operation("COM3")
        # The cookie alone, as a cross-site form would send it, changes nothing.
        self.refused(403, "POST", "/api/read", {"port": "COM3"}, headers={"X-Tallyx-Token": ""})
        self.refused(403, "POST", "/api/read", {"port": "COM3"}, headers={"X-Tallyx-Token": "0" * 32})
        self.refused(403, "POST", "/api/read", {"port": "COM3"}, headers={"Origin": "http://evil.example"})
        self.refused(404, "GET", "/api/read?port=COM3")
        self.refused(405, "PUT", "/api/read", {"port": "COM3"})
        self.refused(405, "DELETE", "/api/studies/1")
        self.assertEqual(self.operation("COM3"), before)

    def test_requests_are_checked_field_by_field(self):
        cases = [
            ("/api/read", {"port": "COM3", "speed": 1}, "speed"),
            ("/api/read", {"port": "COM999"}, "port"),
            ("/api/read", {"port": "COM77"}, "port"),  # no such port here
            ("/api/read", {"port": "../../dev/ttyS0"}, "port"),
            ("/api/read", {"port": 3}, "port"),
            ("/api/read", {"port": "COM3", "metric": "yes"}, "metric"),
            ("/api/read", {}, "port"),
            ("/api/discharge", {"port": "COM3", "action": "explode"}, "action"),
            ("/api/answer", {"port": "COM3"}, "proceed"),
            ("/api/program/check", {"settings": {"begin": "2030-01-01 00:00", "end": "2030-01-08 00:00",
                                                 "period": "fifteen"}}, "period"),
            ("/api/program/check", {"settings": {"begin": "2030-02-30 00:00", "end": "2030-03-08 00:00"}}, "begin"),
            ("/api/program/check", {"settings": {"begin": "2030-01-08 00:00", "end": "2030-01-01 00:00"}}, "end"),
            ("/api/program/check", {"settings": {"begin": "2030-01-01 00:00", "end": "2030-01-08 00:00",
                                                 "speed-bins": "40 30"}}, "speed-bins"),
            ("/api/program/check", {"settings": {"begin": "2030-01-01 00:00", "wheels": "4"}}, "wheels"),
            ("/api/program/check", {"settings": {"city": "x" * 300}}, "city"),
            ("/api/program", {"port": "COM3", "settings": "begin=now"}, "settings"),
            ("/api/sites/1", {"fields": {"station": "TOO-LONG-ID"}}, "station"),
            ("/api/sites/1", {"fields": {"latitude": "91"}}, "latitude"),
            ("/api/sites/1", {"fields": {"path": "/etc/passwd"}}, "path"),
        ]
        for path, body, field in cases:
            with self.subTest(path=path, body=body):
                self.refused(400, "POST", path, body, field=field)
        # Every problem of a study is named at once.
        answer = self.refused(400, "POST", "/api/program/check", {"settings": {"begin": "soon", "period": "-1",
                                                                               "length-bins": "9 8"}})
        self.assertEqual(set(answer["fields"]), {"begin", "end", "period", "length-bins"})
        # Bodies that are not JSON, too deep, too large, or of another type.
        for raw, content_type, field in [(b"{", "application/json", "body"), (b"[1]", "application/json", "body"),
                                         (b"{\"port\":\"COM3\"}", "text/plain", "Content-Type"),
                                         (b"[" * 5000, "application/json", "body"),
                                         (b"{\"port\":\"COM3\"," + b" " * 70000 + b"}", "application/json", "body"),
                                         (b"\xff\xfe{}", "application/json", "body")]:
            status, _, payload = self.ui.request("POST", "/api/read", raw_body=raw, headers={"Content-Type": content_type})
            self.assertEqual(status, 400, payload)
            self.assertIn(f'"field":"{field}"'.encode(), payload)
        # Downloads name archive entries, never files.
        for path in ("/api/studies/1/files/../../../etc/passwd", "/api/studies/1/files/%2e%2e%2fsettings.json",
                     "/api/studies/1/files/settings.json", "/api/studies/x/files/report.html",
                     "/api/studies/99999999999999999999/files/report.json", "/%2e%2e/etc/passwd", "/etc/passwd"):
            status, _, _ = self.ui.request("GET", path)
            self.assertIn(status, (400, 404), path)
        self.assertEqual(self.ui.json("GET", "/api/studies?from=2026-13-01")[0], 400)
        self.assertEqual(self.ui.json("GET", "/api/studies?path=/etc")[0], 400)
        # And the server goes on serving.
        self.assertEqual(self.ui.json("GET", "/api/operations")[0], 200)

    def test_one_operation_per_port_and_ctrl_c(self):
        self.assertEqual(self.ui.json("POST", "/api/read", {"port": "COM6"})[0], 202)
        self.ui.wait_for("COM6", lambda op: op["step"] >= 1)
        answer = self.refused(409, "POST", "/api/read", {"port": "COM6"}, field="port")
        self.assertIn("busy", answer["error"])
        self.refused(409, "POST", "/api/discharge", {"port": "COM6", "action": "start"}, field="port")
        self.refused(409, "POST", "/api/answer", {"port": "COM6", "proceed": True}, field="port")
        self.assertEqual(self.ui.json("POST", "/api/cancel", {"port": "COM6"})[0], 200)
        done = self.ui.finished("COM6")
        self.assertEqual(done["state"], "cancelled", done)

    def test_a_refusal_of_the_counter_names_its_field(self):
        # A period the library takes but the study cannot use: refused when programming, beside its field.
        settings = {"begin": "2030-01-01 00:00", "end": "2030-01-08 00:00", "period": "0"}
        self.assertEqual(self.ui.json("POST", "/api/program", {"port": "COM3", "settings": settings})[0], 202)
        done = self.ui.finished("COM3")
        self.assertEqual((done["kind"], done["state"]), ("program", "failed"), done)
        self.assertIn("period", done["fields"])
        self.assertIn("refused", done["message"])

    def test_ctrl_c_stops_a_read_and_frees_the_port(self):
        folder = tempfile.mkdtemp(prefix="tallyx-ui-ctrlc-")
        counter = ui_harness.Counter(self.bench.ports, 7, "B", "--vehicles", "20000", "--seed", "44", "--baud", "9600")
        ui = ui_harness.UiServer(self.bench.ports, os.path.join(folder, "archive.sqlite"))
        try:
            self.assertEqual(ui.json("POST", "/api/read", {"port": "COM7"})[0], 202)
            ui.wait_for("COM7", lambda op: op["step"] >= 2)
            status, out, err = ui.stop()
            self.assertEqual(status, 0, err)
            self.assertIn("stopped.", out)
            # The port was closed: tallyx reaches the counter on it again.
            env = dict(os.environ, TALLYX_PORT_DIR=self.bench.ports, TALLYX_ARCHIVE=os.path.join(folder, "a2.sqlite"))
            info = subprocess.run([ui_harness.TALLYX, "info", "--port", "COM7"], capture_output=True, text=True,
                                  env=env, timeout=60)
            self.assertEqual(info.returncode, 0, info.stderr)
        finally:
            ui.stop()
            counter.close()

    def test_load_during_a_read_leaves_nothing_behind_and_the_read_is_exact(self):
        # A first probe and read, so that what is made once is made before counting. The archive is
        # open for the pages first: SQLite keeps the descriptor of a connection closed while another
        # connection of the process has the file open (in WAL mode, always), and takes it again for the
        # next one, so a read leaves one such descriptor behind, once.
        self.assertEqual(self.ui.json("GET", "/api/studies")[0], 200)
        self.ui.json("POST", "/api/ports/probe", {"port": "COM3"})
        self.ui.finished("COM3")
        self.assertEqual(self.ui.json("POST", "/api/read", {"port": "COM3"})[0], 202)
        first = self.ui.finished("COM3")
        self.assertEqual(first["state"], "done")
        self.assertEqual(self.ui.request("GET", f"/api/studies/{first['studyId']}/files/report.json")[0], 200)
        self.assertTrue(self.idle())
        descriptors, threads = self.ui.descriptors(), self.ui.threads()
        targets = self.ui.descriptor_targets()

        self.assertEqual(self.ui.json("POST", "/api/read", {"port": "COM4"})[0], 202)
        stop = threading.Event()
        failures = []
        seen = [0] * 50

        def follower(index):
            # 25 follow the events, 25 poll the snapshot.
            try:
                if index % 2 == 0:
                    for snapshot in self.ui.events():
                        seen[index] += 1
                        op = snapshot["ports"].get("COM4", {}).get("operation")
                        if stop.is_set() or (op and not op["running"]):
                            return
                else:
                    while not stop.is_set():
                        status, snapshot = self.ui.json("GET", "/api/operations")
                        if status != 200:
                            failures.append(status)
                        seen[index] += 1
                        op = snapshot["ports"].get("COM4", {}).get("operation")
                        if op and not op["running"]:
                            return
            except Exception as e:  # noqa: BLE001
                failures.append(repr(e))

        followers = [threading.Thread(target=follower, args=(i,)) for i in range(50)]
        for t in followers:
            t.start()
        hostile = [
            b"GARBAGE\r\n\r\n",
            b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX: " + b"a" * 20000 + b"\r\n\r\n",
            b"POST /api/read HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: 10000000\r\n\r\n" % self.ui.port + b"x" * 1000,
            b"GET /api/ports HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % self.ui.port,  # half a request, then half-closed
            b"GET /api/ports HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: -1\r\n\r\n" % self.ui.port,
            b"\x00\x01\x02\x03" * 100,
            b"",
        ]
        sent = 0
        for round_ in range(300):
            for raw in hostile:
                with socket.create_connection(("127.0.0.1", self.ui.port), timeout=30) as s:
                    try:
                        s.sendall(raw)
                        s.shutdown(socket.SHUT_WR)
                        while s.recv(65536):
                            pass
                    except (ConnectionResetError, BrokenPipeError, OSError):
                        pass  # the server closed a connection it would not serve
                sent += 1
        for t in followers:
            t.join(timeout=300)
        stop.set()
        op = self.ui.finished("COM4")
        self.assertEqual(op["state"], "done", op)
        self.assertEqual(failures, [])
        self.assertGreaterEqual(sent, 2000)
        self.assertTrue(all(n >= 1 for n in seen), seen)

        # The read underneath is exact: the same as tallyx read of the same counter.
        folder = tempfile.mkdtemp(prefix="tallyx-ui-cli-")
        env = dict(os.environ, TALLYX_PORT_DIR=self.bench.ports, TALLYX_ARCHIVE=os.path.join(folder, "a.sqlite"))
        read = subprocess.run([ui_harness.TALLYX, "read", "--port", "COM5", "--out", os.path.join(folder, "read"),
                               "--quiet", "--no-archive"], capture_output=True, text=True, env=env, timeout=300)
        self.assertEqual(read.returncode, 0, read.stderr)
        for name in ("sequential.csv", "periodic.csv"):
            status, _, body = self.ui.request("GET", f"/api/studies/{op['studyId']}/files/{name}")
            self.assertEqual(status, 200)
            with open(os.path.join(folder, "read", name), "rb") as f:
                self.assertEqual(body, f.read(), name)

        # Nothing left behind once the clients are gone: descriptors and threads as before.
        self.assertTrue(self.idle())
        self.assertEqual((self.ui.descriptors(), self.ui.threads()), (descriptors, threads),
                         (targets, self.ui.descriptor_targets()))
        self.assertEqual(self.ui.json("GET", "/api/ports")[0], 200)


if __name__ == "__main__":
    unittest.main(verbosity=2)
