"""Opens the demo's playground.html from file:// in headless Chromium and uses it as a visitor
does: every effect's controls against `orvane-fx list --json` (ranges, defaults, presets) and
the units of the effects' table; a slider moved, fast, and a preset chosen, read back from the
worklet through its port; effects added, reordered and removed, the chain the worklet runs read
back; the demo music played through a chain for a second, heard in the page's analyser; no
request leaves the folder. Saves playground.png.

usage: playground_in_browser.py DEMO_DIR SCREENSHOT_DIR ORVANE_FX
Exits 77 (skipped) when Chromium or chromedriver is not installed.
"""
import base64
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "support"))
import headless_chromium  # noqa: E402

UNITS = {"delayMs": "ms", "dryMix": "gain", "wetMix": "gain", "feedbackLevel": "gain", "sweepWidth": "s",
         "frequency": "Hz", "enabled": ""}

# Adds every effect through the page's own controls; answers each panel's controls.
ADD_ALL = """
const done = arguments[arguments.length - 1];
(async () => {
await window.playground.ready;
document.getElementById('empty').click();
for (const option of document.getElementById('type').options) {
  document.getElementById('type').value = option.value;
  document.getElementById('add').click();
  await new Promise((r) => setTimeout(r, 100));
}
done([...document.querySelectorAll('.effect')].map((panel) => ({
  type: panel.dataset.type,
  presets: [...panel.querySelector('.preset').options].slice(1).map((o) => o.value),
  controls: [...panel.querySelectorAll('input')].map((i) => ({name: i.dataset.parameter, unit: i.dataset.unit,
    kind: i.type, min: i.min, max: i.max, value: i.type === 'checkbox' ? i.checked : i.value})),
})));
})().catch((e) => done({error: String(e)}));
"""
# Runs arguments[0] (a script's body) in the page, then answers the worklet's state.
STEP = """
const done = arguments[arguments.length - 1];
const $ = (s) => document.querySelector(s);
const settle = () => new Promise((r) => setTimeout(r, 200));
(async () => {
  %s
  await settle();
  done(await window.playground.request({type: 'state'}));
})().catch((e) => done({error: String(e), chain: []}));
"""
SLIDE = """const s = $('.effect[data-type=Chorus] input[data-parameter=frequency]');
for (let k = 0; k <= 200; ++k) { s.value = 0.1 + k * 0.0245; s.dispatchEvent(new Event('input')); }"""
PRESET = """const p = $('.effect[data-type=Delay] .preset'); p.value = 'slapback'; p.dispatchEvent(new Event('change'));"""
REORDER = """[...document.querySelectorAll('.effect')][1].querySelector('button[title="Move up"]').click(); await settle();
[...document.querySelectorAll('.effect')][4].querySelector('button[title="Remove"]').click();"""
PLAY = """document.getElementById('empty').click(); await settle();
document.getElementById('type').value = 'Flanger'; document.getElementById('add').click(); await settle();
document.getElementById('play').click();
let loudest = 0;
for (let k = 0; k < 10; ++k) { await new Promise((r) => setTimeout(r, 100)); loudest = Math.max(loudest, window.playground.level()); }
window.heard = loudest;"""

check = headless_chromium.check


def main(argv):
    found = headless_chromium.demo_file(argv, __doc__, "playground.html")
    if isinstance(found, int):
        return found
    page, demo, shots, fx = found
    table = headless_chromium.listed_types(fx)

    with headless_chromium.session(shots / "playground-chromedriver.log",
                                   {"goog:loggingPrefs": {"performance": "ALL"}}) as driver:
        driver.call("POST", "/url", {"url": page.as_uri()})
        panels = driver.run(ADD_ALL)
        check([p["type"] for p in panels] == list(table), f"panels {[p['type'] for p in panels]}, effects {list(table)}")
        for panel in panels:
            listed_type = table[panel["type"]]
            check(panel["presets"] == [p["name"] for p in listed_type["presets"]], f"{panel['type']} presets {panel['presets']}")
            check([c["name"] for c in panel["controls"]] == [p["name"] for p in listed_type["parameters"]],
                  f"{panel['type']} controls {panel['controls']}")
            for control, parameter in zip(panel["controls"], listed_type["parameters"]):
                where = f"{panel['type']}.{parameter['name']}"
                check(control["unit"] == UNITS[parameter["name"]], f"{where} unit {control['unit']!r}")
                if parameter["type"] == "boolean":
                    check(control["kind"] == "checkbox" and control["value"] == parameter["default"], f"{where} {control}")
                    continue
                check(control["kind"] == "range" and float(control["min"]) == parameter["min"] and
                      float(control["max"]) == parameter["max"] and float(control["value"]) == parameter["default"],
                      f"{where}: {control} against {parameter}")

        # A slider dragged through 200 values at once: the worklet ends at the last one.
        state = driver.run(STEP % SLIDE)
        chorus = next(e for e in state["chain"] if e["type"] == "Chorus")
        check(abs(chorus["values"]["frequency"] - 5.0) < 1e-6 and not state["error"], f"after the slide: {state}")
        state = driver.run(STEP % PRESET)
        delay = next(e for e in state["chain"] if e["type"] == "Delay")["values"]
        slapback = next(p for p in table["Delay"]["presets"] if p["name"] == "slapback")["values"]
        check(all(delay[k] == v for k, v in slapback.items()), f"Delay after the preset: {delay}, slapback {slapback}")
        state = driver.run(STEP % REORDER)
        order = [e["type"] for e in state["chain"]]
        expected = list(table)
        expected[0], expected[1] = expected[1], expected[0]
        del expected[4]
        check(order == expected, f"the worklet runs {order} after a move up and a removal; expected {expected}")
        state = driver.run(STEP % PLAY)
        heard = driver.call("POST", "/execute/sync", {"script": "return window.heard", "args": []})
        check([e["type"] for e in state["chain"]] == ["Flanger"], f"after emptying and adding: {state['chain']}")
        check(heard > 0.01, f"the analyser heard an RMS of {heard} while the demo music played through the Flanger")

        headless_chromium.check_requests(driver, page)
        (shots / "playground.png").write_bytes(base64.b64decode(driver.call("GET", "/screenshot")))
        print(f"{len(panels)} effects' controls checked, the music heard at RMS {heard:.3f}; "
              f"screenshot: {shots / 'playground.png'}")
    return headless_chromium.report()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
