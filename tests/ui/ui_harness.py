"""tallyx ui against simulated counters, for the API, security and browser tests and the page bench.

Starts tallysim counters on pseudo-terminals in a port folder of its own and `tallyx ui --no-browser
--port 0` with TALLYX_PORT_DIR pointing there and an archive of its own; reads the address it prints.
TALLYX_UI_COMMAND, when set, is the command that starts tallyx ui instead (under Wine: the Windows
build), with {ports} and {archive} replaced.
"""
import http.client
import json
import os
import re
import shlex
import signal
import subprocess
import tempfile
import time

TALLYSIM = os.environ.get("TALLYSIM_BINARY", "tallysim")
TALLYX = os.environ.get("TALLYX_CLI", "tallyx")


class Counter:
    """A tallysim counter on COM<com> in the port folder."""

    def __init__(self, ports, com, model, *arguments):
        self.com = com
        self.port = f"COM{com}"
        self.process = subprocess.Popen([TALLYSIM, "--model", model, "--port-dir", ports, "--com", str(com)] +
                                        list(arguments), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        path = os.path.join(ports, self.port)
        deadline = time.monotonic() + 20
        while not os.path.exists(path):
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"tallysim did not publish {path}")
            time.sleep(0.02)

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
        self.process.wait(timeout=20)


class UiServer:
    """tallyx ui serving on a free port of 127.0.0.1."""

    def __init__(self, ports, archive, extra_env=None):
        env = dict(os.environ, TALLYX_PORT_DIR=ports, TALLYX_ARCHIVE=archive)
        env.update(extra_env or {})
        custom = os.environ.get("TALLYX_UI_COMMAND")
        command = (shlex.split(custom.format(ports=ports, archive=archive)) if custom
                   else [TALLYX, "ui", "--no-browser", "--archive", archive])
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        line = self.process.stdout.readline()
        match = re.search(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", line)
        if not match:
            self.process.kill()
            raise RuntimeError("tallyx ui printed no address: " + line + self.process.stderr.read())
        self.port = int(match.group(1))
        self.token = match.group(2)
        self.url = match.group(0)
        self.pid = self.process.pid

    def request(self, method, path, body=None, headers=None, token=True, host=None, raw_body=None):
        """(status, headers, body bytes) of one request on a connection of its own."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=30)
        all_headers = {"Host": host if host is not None else f"127.0.0.1:{self.port}"}
        if token:
            all_headers["Cookie"] = f"tallyx_{self.port}={self.token}"
            if method == "POST":
                all_headers["X-Tallyx-Token"] = self.token
        data = raw_body
        if body is not None:
            data = json.dumps(body).encode()
            all_headers["Content-Type"] = "application/json"
        all_headers.update(headers or {})
        connection.request(method, path, body=data, headers=all_headers)
        response = connection.getresponse()
        payload = response.read()
        connection.close()
        return response.status, dict(response.getheaders()), payload

    def json(self, method, path, body=None, **options):
        status, _, payload = self.request(method, path, body, **options)
        return status, json.loads(payload) if payload else {}

    def events(self):
        """The operations as server-sent events: yields each snapshot."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=120)
        connection.request("GET", "/api/events", headers={"Host": f"127.0.0.1:{self.port}",
                                                          "Cookie": f"tallyx_{self.port}={self.token}"})
        response = connection.getresponse()
        assert response.status == 200, response.status
        try:
            data = None
            while True:
                line = response.fp.readline()
                if not line:
                    return
                line = line.decode().rstrip("\n")
                if line.startswith("data: "):
                    data = json.loads(line[6:])
                elif line == "" and data is not None:
                    yield data
                    data = None
        finally:
            connection.close()

    def wait_for(self, port, condition):
        """The snapshot of a port's operation once condition(operation) holds, following the events."""
        for snapshot in self.events():
            operation = snapshot["ports"].get(port, {}).get("operation")
            if operation and condition(operation):
                return operation
        raise RuntimeError("the event stream ended")

    def finished(self, port, operation_id=None):
        return self.wait_for(port, lambda op: not op["running"] and (operation_id is None or op["id"] >= operation_id))

    def descriptors(self):
        return len(os.listdir(f"/proc/{self.pid}/fd"))

    def descriptor_targets(self):
        folder = f"/proc/{self.pid}/fd"
        targets = []
        for name in os.listdir(folder):
            try:
                targets.append(os.readlink(os.path.join(folder, name)))
            except OSError:
                pass
        return sorted(targets)

    def threads(self):
        return len(os.listdir(f"/proc/{self.pid}/task"))

    def stop(self):
        """Ctrl-C; the exit status and what it printed."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
        try:
            out, err = self.process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.process.kill()
            out, err = self.process.communicate()
        return self.process.returncode, out, err


class Bench:
    """A port folder, counters and tallyx ui, cleaned up together."""

    def __init__(self, counters, extra_env=None):
        self.folder = tempfile.TemporaryDirectory(prefix="tallyx-ui-")
        self.ports = os.environ.get("TALLYX_E2E_PORT_DIR") or os.path.join(self.folder.name, "ports")
        os.makedirs(self.ports, exist_ok=True)
        self.archive = os.path.join(self.folder.name, "archive.sqlite")
        self.counters = []
        try:
            for com, model, arguments in counters:
                self.counters.append(Counter(self.ports, com, model, *arguments))
            self.ui = UiServer(self.ports, self.archive, extra_env)
        except Exception:
            self.close()
            raise

    def close(self):
        result = None
        if hasattr(self, "ui"):
            result = self.ui.stop()
        for counter in self.counters:
            counter.close()
        self.folder.cleanup()
        return result
