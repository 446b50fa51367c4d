"""A simulated counter for the tests: tallysim on a pseudo-terminal in a temporary port folder."""
import os
import subprocess
import tempfile
import time


class SimulatedCounter:
    def __init__(self, model="B", com=5, **keys):
        self.folder = tempfile.TemporaryDirectory()
        self.com = com
        # The generated vehicles, as CSV, for working out what a reader should get.
        self.content = os.path.join(self.folder.name, "content.csv")
        command = [os.environ.get("TALLYSIM_BINARY", "tallysim"), "--model", model, "--port-dir", self.folder.name,
                   "--com", str(com), "--content-out", self.content]
        for key, value in keys.items():
            command += ["--set", f"{key}={value}"]
        self.process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = os.path.join(self.folder.name, f"COM{com}")
        for _ in range(100):
            if os.path.exists(port):
                break
            time.sleep(0.05)
        os.environ["TALLYX_PORT_DIR"] = self.folder.name

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.folder.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False
