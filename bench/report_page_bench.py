"""How long report.html takes in headless chromium: from the start of loading until the page's script
has drawn every chart, and how long printing it to PDF takes. For the report of a million vehicles
(bench/report_bench.sh writes one) the targets are a few seconds at most.

    /usr/bin/python3 bench/report_page_bench.py REPORT_FOLDER_OR_HTML [RUNS]      (default 5 runs)
"""
import os
import statistics
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "browser"))
import headless_chromium  # noqa: E402


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    page = os.path.abspath(sys.argv[1])
    if os.path.isdir(page):
        page = os.path.join(page, "report.html")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    missing = headless_chromium.missing()
    if missing:
        print(missing, file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory() as profile:
        driver = headless_chromium.start(profile)
        try:
            drawn, printed = [], []
            for run in range(runs):
                driver.get("about:blank")
                driver.get("file://" + page)
                if headless_chromium.wait_for_charts(driver, 60) != "drawn":
                    print("the page did not draw its charts", file=sys.stderr)
                    return 1
                drawn.append(int(driver.execute_script("return document.body.dataset.drawnAfterMs")) / 1000)
                start = time.monotonic()
                driver.execute_cdp_cmd("Page.printToPDF", {"preferCSSPageSize": True})
                printed.append(time.monotonic() - start)
                print(f"run {run + 1}: charts drawn {drawn[-1]:.2f} s after loading began, printed in {printed[-1]:.2f} s")
        finally:
            driver.quit()
    print(f"{os.path.getsize(page) / 1024:.0f} KiB page: charts drawn after {statistics.median(drawn):.2f} s "
          f"(median), printed to PDF in {statistics.median(printed):.2f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
