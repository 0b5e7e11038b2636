"""The effects in headless Chromium as a page runs them: orvane-effects-worklet.js in an
OfflineAudioContext at 48 kHz, set up through processorOptions and the port's requests, against
`orvane-fx process --block-size 128` on the same float32 samples, bit for bit. Every effect at
its defaults and at another setting, and a chain of three, on the demo's dry signal and on one
that decays through the subnormal range; the port's answers, refusals included, on the way.
Prints each render's real-time factor, which it does not check (bench/web-speed measures).

usage: effects_in_browser.py WORKLET_JS ORVANE_FX DRY_WAV WORK_DIR
Exits 77 (skipped) when Chromium or chromedriver is not installed.
"""
import base64
import pathlib
import subprocess
import sys

import numpy as np
import soundfile

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here.parent / "support"))
import headless_chromium  # noqa: E402

TYPES = ["Delay", "PingPongDelay", "Vibrato", "Flanger", "Chorus"]
CHAIN = [{"type": "Vibrato", "preset": "slow-deep"},
         {"type": "PingPongDelay", "values": {"delayMs": 120, "feedbackLevel": 0.7}}, {"type": "Flanger"}]


def request(kind, **fields):
    return {"type": kind, **fields}


# name: (processorOptions' chain, requests sent before rendering, orvane-fx's effect arguments)
CASES = {t: ([{"type": t}], [], ["--effect", t]) for t in TYPES}
CASES["Delay"][1].append(request("describe"))
# Refused, each leaving the chain as it was.
REFUSED = [request("set", effect=0, parameter="frequency", value=50), request("chain", effects=[{"type": "Reverb"}]),
           request("preset", effect=0, name="loud"), request("set", effect=3, parameter="frequency", value=1),
           request("set", effect=0, parameter="depth", value=1),
           request("set", effect=0, parameter="enabled", value=0.5), request("chain")]
CASES.update({
    "Delay 350 ms": ([{"type": "Delay", "values": {"delayMs": 350, "feedbackLevel": 0.6}}], [],
                     ["--effect", "Delay", "--param", "delayMs=350", "--param", "feedbackLevel=0.6"]),
    "PingPongDelay eighth-notes": (
        [{"type": "PingPongDelay"}],
        [request("preset", effect=0, name="eighth-notes"), request("set", effect=0, parameter="wetMix", value=0.5)],
        ["--effect", "PingPongDelay", "--preset", "eighth-notes", "--param", "wetMix=0.5"]),
    # 48 delays grow the module's memory past its first 16 MiB: the processor's views follow.
    "Vibrato 7 Hz": ([], [request("chain", effects=[{"type": "Delay"}] * 48), request("chain", effects=[
        {"type": "Vibrato", "values": {"sweepWidth": 0.003, "frequency": 7}}])],
        ["--effect", "Vibrato", "--param", "sweepWidth=0.003", "--param", "frequency=7"]),
    "Flanger slow-deep": ([{"type": "Flanger", "preset": "slow-deep", "values": {"frequency": 2}}], [],
                          ["--effect", "Flanger", "--preset", "slow-deep", "--param", "frequency=2"]),
    "Chorus deep": ([{"type": "Chorus"}], [request("set", effect=0, parameter="sweepWidth", value=0.02), *REFUSED,
                                           request("set", effect=0, parameter="frequency", value=1.5)],
                    ["--effect", "Chorus", "--param", "sweepWidth=0.02", "--param", "frequency=1.5"]),
    "Vibrato, PingPongDelay, Flanger": ([], [request("chain", effects=CHAIN), request("state")], [
        "--effect", "Vibrato", "--preset", "slow-deep", "--effect", "PingPongDelay", "--param", "delayMs=120",
        "--param", "feedbackLevel=0.7", "--effect", "Flanger"]),
})


def decaying(frames=48000, rate=48000):
    """Stereo tones that fall from full scale to below the smallest subnormal every 0.2 s."""
    n = np.arange(frames)
    envelope = 10.0 ** (-46 * (n % (rate // 5)) / (rate // 5))
    tones = [np.sin(2 * np.pi * 440 * n / rate), np.cos(2 * np.pi * 330 * n / rate)]
    return np.stack([tone * envelope for tone in tones], 1).astype(np.float32)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    worklet, fx, dry, work = pathlib.Path(argv[1]), argv[2], pathlib.Path(argv[3]), pathlib.Path(argv[4])
    unavailable = headless_chromium.available()
    if unavailable:
        print("skipped:", unavailable)
        return 77
    work.mkdir(parents=True, exist_ok=True)
    signal = decaying()
    assert np.count_nonzero((signal != 0) & (np.abs(signal) < np.finfo(np.float32).tiny)) > 10000
    soundfile.write(work / "decaying.wav", signal, 48000, subtype="FLOAT")
    inputs = {"dry": dry, "decaying": work / "decaying.wav"}
    signals = {name: soundfile.read(path, dtype="float32", always_2d=True)[0] for name, path in inputs.items()}
    page = work / "page.html"
    page.write_text("<!doctype html><title>effects</title>\n")
    script = (here / "render-in-page.js").read_text()
    failures = headless_chromium.failures

    with headless_chromium.session(work / "chromedriver.log") as driver:
        driver.call("POST", "/url", {"url": page.as_uri()})
        driver.run(script, {"worklet": base64.b64encode(worklet.read_bytes()).decode(), "signals": {
            name: {"channels": x.shape[1], "samples": base64.b64encode(x.T.astype("<f4").tobytes()).decode()}
            for name, x in signals.items()}})
        native = {type_: {p["name"]: p["default"] for p in t["parameters"]}
                  for type_, t in headless_chromium.listed_types(fx).items()}
        for name, (chain, requests, arguments) in CASES.items():
            for signal_name, path in inputs.items():
                result = driver.run(script, {"signal": signal_name, "chain": chain, "requests": requests})
                if "error" in result:
                    failures.append(f"{name} on {signal_name}: {result['error']}")
                    continue
                for asked, reply, before in zip(requests, result["replies"], [None, *result["replies"]]):
                    if reply["type"] == "catalogue":
                        ours = {e["type"]: {p["name"]: p["default"] for p in e["parameters"]}
                                for e in reply["catalogue"]["effects"]}
                        if ours != native:
                            failures.append(f"the worklet describes {ours}, orvane-fx lists {native}")
                    elif bool(reply["error"]) != (asked in REFUSED) or (
                            reply["error"] and reply["chain"] != before["chain"]):  # a refusal changes nothing
                        failures.append(f"{name}: {asked} answered {reply}")
                out = work / f"{name}-{signal_name}.wav".replace(" ", "_").replace(",", "")
                subprocess.run([fx, "process", "--quiet", "--block-size", "128", *arguments, str(path), str(out)],
                               check=True)
                expected = soundfile.read(out, dtype="float32", always_2d=True)[0]
                got = np.frombuffer(base64.b64decode(result["samples"]), "<f4").reshape(expected.shape[1], -1).T
                differing = np.flatnonzero(got.view("<u4") != expected.view("<u4"))
                seconds = len(expected) / 48000
                print(f"{name} on {signal_name}: {len(differing)} of {expected.size} samples differ; "
                      f"rendered {seconds / result['milliseconds'] * 1000:.0f} times real time")
                if len(differing):
                    frame, channel = divmod(int(differing[0]), expected.shape[1])
                    failures.append(f"{name} on {signal_name}: {len(differing)} samples differ, the first at frame "
                                    f"{frame} channel {channel} ({got[frame, channel]!r} for "
                                    f"{expected[frame, channel]!r}), by at most "
                                    f"{np.max(np.abs(got.astype(float) - expected)):.3g}")
    return headless_chromium.report()


if __name__ == "__main__":
    sys.exit(main(sys.argv))
