"""How long tallyx ui's page takes to load the first time: headless chromium with a fresh profile
opens the address tallyx ui prints (token and all) and the bench takes, from the browser's own
clock, the time from the start of the navigation to the load event and to the first view shown
whole (the Counters page with its ports listed). Median, minimum and maximum of N runs.

    TALLYSIM_BINARY=build/tallysim TALLYX_CLI=build/tallyx /usr/bin/python3 bench/ui_page_bench.py [RUNS] [--json FILE]
"""
import json
import os
import statistics
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(root, "tests", "browser"))
sys.path.insert(0, os.path.join(root, "tests", "ui"))
import headless_chromium  # noqa: E402
import ui_harness  # noqa: E402

TARGET_MS = 300


def main():
    arguments = sys.argv[1:]
    output = None
    if "--json" in arguments:
        at = arguments.index("--json")
        output = arguments[at + 1]
        del arguments[at:at + 2]
    runs = int(arguments[0]) if arguments else 5
    bench = ui_harness.Bench([(3, "A", ["--vehicles", "100"]), (4, "B", ["--vehicles", "100"])])
    loads, views = [], []
    try:
        for _ in range(runs):
            with tempfile.TemporaryDirectory(prefix="tallyx-ui-bench-") as profile:
                driver = headless_chromium.start(profile)
                try:
                    driver.get(bench.ui.url)
                    from selenium.webdriver.support.ui import WebDriverWait
                    WebDriverWait(driver, 30, poll_frequency=0.01).until(
                        lambda d: d.execute_script("return document.body.dataset.firstReadyMs"))
                    timing = driver.execute_script("const t = performance.getEntriesByType('navigation')[0];"
                                                   "return [t.loadEventEnd, Number(document.body.dataset.firstReadyMs)];")
                    loads.append(timing[0])
                    views.append(timing[1])
                finally:
                    driver.quit()
    finally:
        bench.close()
    rows = [("first load: load event", loads), ("first load: Counters page shown", views)]
    print(f"{'page of tallyx ui':36} {'median ms':>10} {'min':>8} {'max':>8} {'target':>8}")
    for name, values in rows:
        print(f"{name:36} {statistics.median(values):10.1f} {min(values):8.1f} {max(values):8.1f} {TARGET_MS:8}")
    if output:
        with open(output, "w") as f:
            json.dump([{"name": name, "median_ms": statistics.median(v), "min_ms": min(v), "max_ms": max(v),
                        "target_ms": TARGET_MS, "runs": runs} for name, v in rows], f, indent=1)


if __name__ == "__main__":
    main()
