"""Headless Chromium driven through chromedriver: the W3C WebDriver protocol over HTTP, with
the standard library only. The browser tests and bench/web-speed open their pages with it."""
import contextlib
import json
import os
import pathlib
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
# As root Chromium needs --no-sandbox; the rest keep it from reaching for the network itself.
FLAGS = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--disable-default-apps", "--disable-extensions", "--mute-audio",
         "--autoplay-policy=no-user-gesture-required", "--window-size=1366,900"]


def available():
    """None when Chromium and chromedriver are installed, else why the browser cannot run."""
    if os.access(CHROMIUM, os.X_OK) and os.access(CHROMEDRIVER, os.X_OK):
        return None
    return f"needs {CHROMIUM} and {CHROMEDRIVER} (apt-get install chromium chromium-driver)"


class Driver:
    def __init__(self, port):
        self.base = f"http://127.0.0.1:{port}"
        self.session = None

    def call(self, method, path, body=None, timeout=120):
        url = self.base + (f"/session/{self.session}" if self.session else "") + path
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(url, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as response:
                return json.load(response)["value"]
        except urllib.error.HTTPError as e:
            raise RuntimeError(f"chromedriver {method} {path}: {e.read().decode(errors='replace')[:600]}") from None

    def run(self, script, *args, timeout=300):
        """The value the page's script passes to its callback, arguments[arguments.length - 1]."""
        return self.call("POST", "/execute/async", {"script": script, "args": list(args)}, timeout=timeout)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def session(log_path, capabilities=None):
    """A Driver with a session of a fresh headless Chromium; chromedriver's log goes to log_path."""
    port = free_port()
    profile = tempfile.TemporaryDirectory()
    log = open(log_path, "w")
    server = subprocess.Popen([CHROMEDRIVER, f"--port={port}"], stdout=log, stderr=subprocess.STDOUT)
    driver = Driver(port)
    try:
        for _ in range(100):
            try:
                if driver.call("GET", "/status", timeout=2).get("ready"):
                    break
            except (OSError, RuntimeError):
                pass
            time.sleep(0.1)
        options = {"binary": CHROMIUM, "args": FLAGS + [f"--user-data-dir={profile.name}"]}
        driver.session = driver.call("POST", "/session", {"capabilities": {"alwaysMatch": {
            "browserName": "chrome", "goog:chromeOptions": options, **(capabilities or {})}}})["sessionId"]
        driver.call("POST", "/timeouts", {"script": 300000, "pageLoad": 60000})
        yield driver
    finally:
        if driver.session:
            try:
                driver.call("DELETE", "", timeout=30)
            except (OSError, RuntimeError):
                pass
        server.terminate()
        server.wait(timeout=30)
        log.close()
        profile.cleanup()


failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def report():
    """Prints the failures; the exit code of the test."""
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


def listed_types(fx):
    """`orvane-fx list --json`'s node types by type, in the catalogue's order."""
    listing = json.loads(subprocess.run([fx, "list", "--json"], check=True, capture_output=True).stdout)
    return {t["type"]: t for e in listing["extensions"] for t in e["nodeTypes"]}


def demo_file(argv, usage, name):
    """For the demo's pages (usage: DEMO_DIR SCREENSHOT_DIR ORVANE_FX): (page, demo, shots, fx), or
    the exit code where the page cannot be tested: 77 (skipped) without the browser, 1 without it."""
    if len(argv) != 4:
        sys.exit(usage)
    demo, shots, fx = pathlib.Path(argv[1]).resolve(), pathlib.Path(argv[2]), argv[3]
    unavailable = available()
    if unavailable:
        print("skipped:", unavailable)
        return 77
    shots.mkdir(parents=True, exist_ok=True)
    page = demo / name
    if not page.is_file():
        print(f"no {name} at {demo}: run `orvane-fx demo {demo}` first")
        return 1
    return page, demo, shots, fx


def check_requests(driver, page):
    """From the browser's network log: the page asked only for files beside it (or data: URLs),
    and nothing anywhere went out to the network."""
    folder = page.parent.as_uri() + "/"
    for entry in driver.call("POST", "/se/log", {"type": "performance"}):
        message = json.loads(entry["message"])["message"]
        if message["method"] != "Network.requestWillBeSent":
            continue
        url, document = message["params"]["request"]["url"], message["params"].get("documentURL", "")
        if document == page.as_uri():
            check(url.startswith((folder, "data:")), f"the page requested {url}")
        check(not re.match(r"(https?|wss?|ftp):", url), f"the browser requested {url} (for {document})")
