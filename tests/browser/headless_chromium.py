"""Debian's chromium, headless, under Selenium and Debian's chromedriver: for the browser test and
the page benchmark."""
import os
import shutil
import time

CHROMIUM = os.environ.get("CHROMIUM_BINARY", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("CHROMEDRIVER_BINARY", "/usr/bin/chromedriver")


def missing():
    """What is missing to run chromium under Selenium, or None."""
    for program in (CHROMIUM, CHROMEDRIVER):
        if not (os.path.isfile(program) and os.access(program, os.X_OK)) and shutil.which(program) is None:
            return f"{program} is not installed (apt-get install chromium chromium-driver)"
    try:
        import selenium  # noqa: F401
    except ImportError:
        return "Selenium is not installed (apt-get install python3-selenium)"
    return None


def start(profile):
    """A headless chromium with a fresh profile in the folder `profile`, its console log kept."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--window-size=1280,1000", f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


def wait_for_charts(driver, seconds):
    """Waits until the page's script says it has drawn its charts ("drawn") or failed ("failed"); returns
    that, or None when neither came in time."""
    deadline = time.monotonic() + seconds
    while True:
        state = driver.execute_script("return document.body && document.body.dataset.charts")
        if state in ("drawn", "failed") or time.monotonic() > deadline:
            return state
        time.sleep(0.02)
