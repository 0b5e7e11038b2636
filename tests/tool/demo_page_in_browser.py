"""Opens the demo's index.html in headless Chromium through chromedriver (the W3C WebDriver
protocol over HTTP, standard library only) and checks what a visitor gets: every picture
loaded, every player's file present, decoded and as long as the file, the effects in the
catalogue's order, and no request for anything but files beside the page. Saves what a
1366x900 screen shows, and the whole page, as PNGs in the build folder.

usage: demo_page_in_browser.py DEMO_DIR SCREENSHOT_DIR ORVANE_FX
Exits 77 (skipped) when Chromium or chromedriver is not installed.
"""
import base64
import pathlib
import re
import struct
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import headless_chromium  # noqa: E402

check = headless_chromium.check


def wav_seconds(path):
    raw = path.read_bytes()
    at, rate, align, frames = 12, 0, 0, None
    while at + 8 <= len(raw):
        name, size = raw[at:at + 4], struct.unpack("<I", raw[at + 4:at + 8])[0]
        if name == b"fmt ":
            _, _, rate, _, align = struct.unpack("<HHIIH", raw[at + 8:at + 22])
        elif name == b"data":  # the samples there, whatever the header claims
            frames = min(size, len(raw) - at - 8) // align
        at += 8 + size + (size & 1)
    return frames / rate


# In the page: waits for every picture, then plays every player to its end, muted and fast.
INSPECT = """
const done = arguments[arguments.length - 1];
const settle = (el, ok, bad) => new Promise(resolve => {
  const timer = setTimeout(() => resolve('timeout'), 30000);
  el.addEventListener(ok, () => { clearTimeout(timer); resolve(ok); }, {once: true});
  el.addEventListener(bad, () => { clearTimeout(timer); resolve(bad); }, {once: true});
});
(async () => {
  const images = [];
  for (const img of document.images) {
    if (!img.complete) await settle(img, 'load', 'error');
    const decoded = await img.decode().then(() => true, () => false);
    images.push({src: img.getAttribute('src'), decoded, width: img.naturalWidth, height: img.naturalHeight});
  }
  const players = [];
  for (const audio of document.querySelectorAll('audio')) {
    audio.muted = true;
    const ended = settle(audio, 'ended', 'error');
    audio.playbackRate = 16;
    let outcome;
    try { await audio.play(); outcome = await ended; } catch (e) { outcome = 'play failed: ' + e; }
    players.push({src: audio.getAttribute('src'), outcome, duration: audio.duration,
                  error: audio.error && audio.error.code, played: audio.played.length ? audio.played.end(0) : 0});
  }
  // Every address the page names: attributes that load or link, and url() in its styles.
  const addresses = [];
  for (const el of document.querySelectorAll('*'))
    for (const attr of ['src', 'href', 'srcset', 'poster', 'data', 'action', 'formaction', 'background'])
      if (el.hasAttribute(attr)) addresses.push(el.getAttribute(attr));
  const inStyle = text => text.match(/url\\([^)]*\\)|@import[^;]*/g) || [];
  for (const el of document.querySelectorAll('[style]')) addresses.push(...inStyle(el.getAttribute('style')));
  for (const sheet of document.styleSheets)
    for (const rule of sheet.cssRules) addresses.push(...inStyle(rule.cssText));
  const sections = [...document.querySelectorAll('section.effect')].map(s => s.id);
  done({images, players, addresses, sections, scripts: document.scripts.length,
        width: document.documentElement.scrollWidth, height: document.documentElement.scrollHeight});
})();
"""


def main(argv):
    found = headless_chromium.demo_file(argv, __doc__, "index.html")
    if isinstance(found, int):
        return found
    page, demo, shots, fx = found
    types = list(headless_chromium.listed_types(fx))

    with headless_chromium.session(shots / "chromedriver.log",
                                   {"goog:loggingPrefs": {"performance": "ALL"}}) as driver:
        # A laptop's 1366x900 page area, whatever headless makes of the window.
        driver.call("POST", "/goog/cdp/execute", {"cmd": "Emulation.setDeviceMetricsOverride", "params": {
            "width": 1366, "height": 900, "deviceScaleFactor": 1, "mobile": False}})
        driver.call("POST", "/url", {"url": page.as_uri()})  # returns once the page has loaded
        result = driver.call("POST", "/execute/async", {"script": INSPECT, "args": []})

        check(result["sections"] == types, f"effect sections {result['sections']}, catalogue order {types}")
        check(result["scripts"] == 0, f"the page has {result['scripts']} scripts; it needs none")
        check(len(result["images"]) >= 2 * len(types) + 1, f"only {len(result['images'])} pictures")
        for img in result["images"]:
            check(img["decoded"] and img["width"] > 0 and img["height"] > 0, f"picture {img['src']} did not load ({img})")
            # Chromium shows a cut-off PNG without complaint; a whole one ends with its IEND chunk.
            file = demo / img["src"]
            check(file.is_file() and file.read_bytes()[-8:-4] == b"IEND", f"picture {img['src']} is cut off")
        check(len(result["players"]) >= len(types) + 1, f"only {len(result['players'])} players")
        heard = set()
        for player in result["players"]:
            file = demo / player["src"]
            check(file.is_file(), f"player source {player['src']} is not beside the page")
            if not file.is_file():
                continue
            heard.add(player["src"])
            seconds = wav_seconds(file)
            check(player["outcome"] == "ended" and not player["error"],
                  f"{player['src']} did not play to its end: {player}")
            check(abs(player["duration"] - seconds) < 0.002,
                  f"{player['src']}: the player says {player['duration']} s, the file holds {seconds} s")
        check({"dry.wav"} | {f"{t}.wav" for t in types} <= heard, f"players for {sorted(heard)} only")
        for address in result["addresses"]:
            inner = re.fullmatch(r"url\(\s*[\"']?(.*?)[\"']?\s*\)", address)
            target = inner.group(1) if inner else address
            check(not address.startswith("@import") and not re.match(r"[A-Za-z][A-Za-z0-9+.-]*:|//", target),
                  f"the page names an address that is not a file beside it: {address}")
        headless_chromium.check_requests(driver, page)  # data: URLs are the players' own icons
        driver.call("POST", "/execute/sync", {"script": "window.scrollTo(0, 0)", "args": []})
        (shots / "demo-page.png").write_bytes(base64.b64decode(driver.call("GET", "/screenshot")))
        full = driver.call("POST", "/goog/cdp/execute", {"cmd": "Page.captureScreenshot", "params": {
            "captureBeyondViewport": True,
            "clip": {"x": 0, "y": 0, "width": 1366, "height": result["height"], "scale": 1}}})
        (shots / "demo-page-full.png").write_bytes(base64.b64decode(full["data"]))
        print(f"{len(result['images'])} pictures, {len(result['players'])} players checked; "
              f"screenshots: {shots / 'demo-page.png'}, {shots / 'demo-page-full.png'}")
    return headless_chromium.report()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
