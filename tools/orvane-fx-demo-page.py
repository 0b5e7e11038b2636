# The drawing half of `orvane-fx demo`, run by orvane-fx-demo with Debian's /usr/bin/python3:
#   probes CATALOGUE SCRATCH      writes SCRATCH/<Type>-probe.wav for every effect of
#                                 CATALOGUE (`orvane-fx list --json`), prints the types in order
#   page CATALOGUE SCRATCH OUT    from SCRATCH/<Type>-probe-out.wav (the probe through the effect)
#                                 and SCRATCH/run.tsv, draws OUT/<Type>-impulse.png and, for the
#                                 swept effects, OUT/<Type>-magnitude.png; writes OUT/index.html
#                                 (linking OUT/playground.html where it exists)
#   playground WORKLET MUSIC OUT  writes OUT/playground.html: the worklet's script and MUSIC inside
# A probe is an impulse; for an effect with a sweep (a "frequency" parameter) it is followed by
# more, at other points of the sweep, so that the magnitude plot shows how the sweep changes it.
import base64
import html
import json
import os
import struct
import sys

import numpy as np

RATE = 48000
IMPULSE = 0.5         # sox-made inputs stay below 1.0; the node is linear, so responses are scaled back
PHASES = (0, 90, 270)  # points of a sweep in the magnitude plot: its start and its two ends
GAP = 0.25            # seconds between probe impulses at least: the longest swept response shown
DELAY_PROBE = 4.0     # seconds of response recorded for an effect without a sweep
FLOOR = 1e-3          # a response is shown until it stays below -60 dB of its peak


def fail(message):
    sys.exit(f"orvane-fx: {message}")


def node_types(catalogue_path):
    try:
        with open(catalogue_path, encoding="utf-8") as f:
            catalogue = json.load(f)
        types = [t for extension in catalogue["extensions"] for t in extension["nodeTypes"]]
        for t in types:
            t["type"], t["displayName"], t["description"], t["parameters"]
    except (OSError, ValueError, KeyError, TypeError) as e:
        fail(f"demo cannot read the effect list of `orvane-fx list --json` ({e!r}); rebuild orvane-fx")
    # Types name the files written, so they are held to letters and digits.
    for t in types:
        if not (isinstance(t["type"], str) and t["type"].isascii() and t["type"].isalnum()):
            fail(f"demo cannot name files after the effect type {t['type']!r}; types are letters and digits")
    return types


def sweep_hz(node_type):
    for p in node_type["parameters"]:
        if p["name"] == "frequency" and isinstance(p["default"], (int, float)) and p["default"] > 0:
            return float(p["default"])
    return None


def probe_times(node_type):
    """Sample indices of the probe's impulses: one, or one per point of the sweep in PHASES."""
    hz = sweep_hz(node_type)
    if hz is None:
        return [0]
    period = RATE / hz
    times, earliest = [], 0.0
    for phase in PHASES:
        # Whole periods keep the phase; they hold the impulses GAP apart.
        at = phase / 360 * period
        at += np.ceil(max(0.0, earliest - at) / period) * period
        times.append(int(round(at)))
        earliest = at + GAP * RATE
    return times


def write_wav(path, frames):
    data = frames.astype("<f4").tobytes()
    channels = frames.shape[1]
    fmt = struct.pack("<HHIIHH", 3, channels, RATE, RATE * channels * 4, channels * 4, 32)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def read_wav(path):
    """32-bit float WAV (what orvane-fx writes for a float input) as frames x channels."""
    with open(path, "rb") as f:
        raw = f.read()
    if raw[:4] != b"RIFF" or raw[8:12] != b"WAVE":
        fail(f"demo expected a WAV file at {path}")
    at, channels, bits, data = 12, 0, 0, None
    while at + 8 <= len(raw):
        name, size = raw[at:at + 4], struct.unpack("<I", raw[at + 4:at + 8])[0]
        if name == b"fmt ":
            _, channels, _, _, _, bits = struct.unpack("<HHIIHH", raw[at + 8:at + 24])
        elif name == b"data":
            data = raw[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    if data is None or bits != 32 or channels < 1:
        fail(f"demo expected 32-bit float samples in {path}")
    return np.frombuffer(data, dtype="<f4").reshape(-1, channels).astype(np.float64)


def one_sided(node_type):
    return node_type["type"] == "PingPongDelay"


def make_probes(catalogue_path, scratch):
    for t in node_types(catalogue_path):
        times = probe_times(t)
        length = times[-1] + int(GAP * RATE) if len(times) > 1 else int(DELAY_PROBE * RATE)
        frames = np.zeros((length, 2))
        # The ping-pong delay's echoes alternate sides: a click on the left alone shows it.
        frames[times, 0 if one_sided(t) else slice(None)] = IMPULSE
        write_wav(os.path.join(scratch, f"{t['type']}-probe.wav"), frames)
        print(t["type"])


def nice_ceil(seconds):
    """The next of 1, 1.5, 2, 3, 4, 5, 6, 8 times a power of ten."""
    decade = 10.0 ** np.floor(np.log10(seconds))
    return next(step * decade for step in (1, 1.5, 2, 3, 4, 5, 6, 8, 10) if step * decade >= seconds * 0.9999)


def span_of(response):
    """Seconds that show a response: a quarter more than where it last rises above the floor."""
    level = np.max(np.abs(response), axis=1)
    above = np.nonzero(level > FLOOR * level.max())[0]
    last = (above[-1] + 1) / RATE if len(above) else 1 / RATE
    return min(nice_ceil(max(last * 1.25, 0.002)), len(response) / RATE)


# ---- pictures

def pyplot():
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    plt.rcParams.update({
        "font.size": 10, "axes.titlesize": 11, "axes.grid": True, "grid.color": "#d8dde3",
        "axes.edgecolor": "#8a939c", "axes.spines.top": False, "axes.spines.right": False,
        "figure.facecolor": "white", "savefig.facecolor": "white",
    })
    return plt


COLOURS = ("#1f5fa8", "#b8322a")
MOMENT_COLOURS = ("#1f5fa8", "#e08a1e", "#3a9a5b")


def draw_impulse(plt, node_type, response, span, path):
    shown = response[: int(round(span * RATE))]
    in_ms = span < 1.0
    scale = 1000.0 if in_ms else 1.0
    t = np.arange(len(shown)) / RATE * scale
    fig, axes = plt.subplots(2, 1, figsize=(6.4, 3.9), dpi=150, sharex=True, layout="constrained")
    for ax, channel, name, colour in zip(axes, range(2), ("left", "right"), COLOURS):
        y = shown[:, channel]
        nz = np.nonzero(y)[0]
        ax.vlines(t[nz], 0, y[nz], color=colour, linewidth=1)
        ax.plot(t[nz], y[nz], "o", color=colour, markersize=2.2 if len(nz) < 200 else 0)
        ax.axhline(0, color="#8a939c", linewidth=0.6)
        ax.set_ylabel(f"{name} (× input)")
        top = max(1e-6, np.max(np.abs(shown)))
        ax.set_ylim(-0.12 * top if shown.min() >= 0 else -1.1 * top, 1.1 * top)
    axes[-1].set_xlim(-0.02 * span * scale, span * scale)
    axes[-1].set_xlabel("time after the impulse (ms)" if in_ms else "time after the impulse (s)")
    axes[0].set_title(f"{node_type['type']}: impulse response, first {span * scale:g} {'ms' if in_ms else 's'}")
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)


def draw_magnitude(plt, node_type, response, times, span, path):
    window = int(round(span * RATE))
    size = max(16384, 1 << int(np.ceil(np.log2(window))))
    f = np.fft.rfftfreq(size, 1 / RATE)
    period = RATE / sweep_hz(node_type)
    fig, ax = plt.subplots(figsize=(6.4, 3.9), dpi=150, layout="constrained")
    lowest = 0.0
    # The first moment (the impulse response plotted beside) is drawn last, on top.
    for start, colour in reversed(list(zip(times, MOMENT_COLOURS))):
        h = np.fft.rfft(response[start:start + window, 0], size)
        db = 20 * np.log10(np.maximum(np.abs(h), 1e-6))
        ax.semilogx(f[1:], db[1:], color=colour, linewidth=0.9,
                    label=f"{(start % period) / period * 360:.0f}° (at {start / RATE * 1000:.0f} ms)")
        lowest = min(lowest, np.percentile(db[1:], 1))
    ax.set_xlim(20, RATE / 2)
    ax.set_xticks([20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000])
    ax.set_xticklabels(["20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"])
    ax.set_xlabel("frequency (Hz)")
    ax.set_ylabel("magnitude (dB)")
    ax.set_ylim(max(-36, lowest - 3), 18)
    handles, labels = ax.get_legend_handles_labels()
    ax.legend(handles[::-1], labels[::-1], title="point of the sweep (time of the impulse)", fontsize=8,
              title_fontsize=8, loc="upper center", ncol=len(labels), framealpha=0.92)
    ax.set_title(f"{node_type['type']}: magnitude response, left channel, {span * 1000:g} ms window")
    fig.savefig(path, metadata={"Software": None})
    plt.close(fig)


# ---- the page

CSS = """
:root { --ink: #1d2329; --muted: #5b6670; --line: #dfe3e8; --card: #ffffff; --back: #f3f5f7; --accent: #1f5fa8; }
* { box-sizing: border-box; }
body { margin: 0; background: var(--back); color: var(--ink);
  font: 15px/1.45 system-ui, -apple-system, "Segoe UI", "DejaVu Sans", sans-serif; }
main { max-width: 1240px; margin: 0 auto; padding: 20px 24px 40px; }
h1 { font-size: 26px; margin: 0 0 4px; }
h2 { font-size: 21px; margin: 0; }
h3 { font-size: 14px; margin: 0 0 6px; color: var(--muted); text-transform: uppercase; letter-spacing: .04em; }
p { margin: 4px 0 10px; }
a { color: var(--accent); }
code { font-size: 13px; background: #e9edf1; padding: 1px 4px; border-radius: 3px; }
.lead { color: var(--muted); max-width: 1000px; }
nav { margin: 10px 0 16px; display: flex; flex-wrap: wrap; gap: 8px; }
nav a { text-decoration: none; background: var(--card); border: 1px solid var(--line); border-radius: 16px; padding: 3px 12px; }
.top { display: grid; grid-template-columns: minmax(0, 5fr) minmax(0, 6fr); gap: 16px; align-items: start; }
.card { background: var(--card); border: 1px solid var(--line); border-radius: 8px; padding: 14px 16px; }
section.effect { margin-top: 22px; scroll-margin-top: 10px; }
.head { display: flex; align-items: baseline; gap: 14px; flex-wrap: wrap; margin-bottom: 10px; }
.head .type { color: var(--muted); font-size: 13px; }
.grid { display: grid; grid-template-columns: repeat(2, minmax(0, 1fr)); gap: 16px; }
figure { margin: 0; }
figure img { display: block; width: 100%; height: auto; border: 1px solid var(--line); border-radius: 4px; background: #fff; }
figcaption { font-size: 13px; color: var(--muted); margin-top: 6px; }
table { border-collapse: collapse; width: 100%; font-size: 14px; }
th, td { text-align: left; padding: 4px 8px; border-bottom: 1px solid var(--line); vertical-align: top; }
th { font-weight: 600; color: var(--muted); font-size: 13px; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.name { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 13px; white-space: nowrap; }
.players { display: grid; grid-template-columns: auto minmax(0, 1fr); gap: 8px 12px; align-items: center; margin-top: 14px; }
.players span { font-weight: 600; font-size: 14px; }
audio { width: 100%; height: 36px; }
ul.reading { margin: 0; padding-left: 18px; font-size: 13.5px; }
ul.reading li { margin-bottom: 4px; }
ul.presets { margin: 4px 0 0; padding-left: 18px; font-size: 13.5px; }
ul.presets li { margin-bottom: 3px; }
ul.presets .values { color: #5b6570; }
footer { margin-top: 28px; color: var(--muted); font-size: 13px; }
@media (max-width: 900px) { .top, .grid { grid-template-columns: 1fr; } }
"""


def esc(value):
    return html.escape(str(value), quote=True)


def show_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, float):
        return f"{value:g}"
    return str(value)


def parameter_table(node_type):
    """The parameters as an HTML table; the range column only where some parameter has one."""
    parameters = node_type["parameters"]
    ranged = any("min" in p or "max" in p for p in parameters)
    head = "<th>name</th><th>type</th><th class=num>default</th>" + ("<th class=num>range</th>" if ranged else "")
    rows = []
    for p in parameters:
        low, high = (show_value(p[k]) if k in p else None for k in ("min", "max"))
        bounds = f"{low} to {high}" if low and high else f"≥ {low}" if low else f"≤ {high}" if high else ""
        rows.append(f"<tr><td class=name>{esc(p['name'])}</td><td>{esc(p['type'])}</td>"
                    f"<td class=num>{esc(show_value(p['default']))}</td>"
                    + (f"<td class=num>{esc(bounds)}</td>" if ranged else "")
                    + f"<td>{esc(p.get('description', ''))}</td></tr>")
    return (f"<table><thead><tr>{head}<th>meaning</th></tr></thead>\n<tbody>\n"
            + "\n".join(rows) + "\n</tbody></table>")


def preset_list(node_type):
    """The effect's named presets, each with what it sets."""
    presets = node_type.get("presets") or []
    if not presets:
        return ""
    items = "\n".join(
        f"<li><code>{esc(p['name'])}</code>: {esc(p['description'])} <span class=values>("
        + esc(", ".join(f"{k} {show_value(v)}" for k, v in p["values"].items())) + ")</span></li>"
        for p in presets)
    return f"<h3>Presets</h3>\n<ul class=presets>\n{items}\n</ul>"


def read_run(scratch):
    run = {}
    try:
        with open(os.path.join(scratch, "run.tsv"), encoding="utf-8") as f:
            for line in f:
                name, rtf, peak, rms = line.rstrip("\n").split("\t")
                run[name] = (rtf, peak, rms)
    except (OSError, ValueError) as e:
        fail(f"demo lost its own run table ({e!r})")
    return run


PLAYGROUND_LINK = ("<p class=lead><b><a href=\"playground.html\">Open the playground</a></b>: build a chain and "
                   "turn every knob while the music plays, the effects running in your browser.</p>")


def write_playground(worklet_path, music_path, out):
    """OUT/playground.html from the template beside this script, with the worklet's script and
    the music inside it: a page opened from file:// may load no file beside it."""
    template = os.path.join(os.path.dirname(os.path.abspath(__file__)), "orvane-fx-playground.html")
    try:
        with open(template, encoding="utf-8") as f:
            page = f.read()
        with open(worklet_path, "rb") as f:
            worklet = base64.b64encode(f.read()).decode("ascii")
        with open(music_path, "rb") as f:
            music = base64.b64encode(f.read()).decode("ascii")
    except OSError as e:
        fail(f"demo cannot write the playground: {e}; reinstall orvane-fx")
    page = page.replace("@WORKLET@", worklet, 1).replace("@MUSIC@", music, 1)
    partial = os.path.join(out, ".playground.html.partial")
    with open(partial, "w", encoding="utf-8") as f:
        f.write(page)
    os.replace(partial, os.path.join(out, "playground.html"))


def write_page(catalogue_path, scratch, out):
    plt = pyplot()
    types = node_types(catalogue_path)
    run = read_run(scratch)
    summary, sections = [], []
    dry_rtf, dry_peak, dry_rms = run["dry"]
    summary.append(f"<tr><td><a href=\"#dry\">dry input</a></td><td class=num>–</td>"
                   f"<td class=num>{esc(dry_peak)}</td><td class=num>{esc(dry_rms)}</td></tr>")
    for t in types:
        name = t["type"]
        times = probe_times(t)
        response = read_wav(os.path.join(scratch, f"{name}-probe-out.wav")) / IMPULSE
        if response.shape[1] != 2:
            fail(f"demo expected a stereo response from {name}")
        first = response[: (times[1] if len(times) > 1 else len(response))]
        span = span_of(first)
        draw_impulse(plt, t, first, span, os.path.join(out, f"{name}-impulse.png"))
        figures = [(f"{name}-impulse.png", f"Impulse response of {name}",
                    "What a single click " + ("on the left " if one_sided(t) else "") +
                    "becomes, left and right channel, as a multiple of the click; "
                    "the time axis follows the effect's response.")]
        if len(times) > 1:
            draw_magnitude(plt, t, response, times, span, os.path.join(out, f"{name}-magnitude.png"))
            figures.append((f"{name}-magnitude.png", f"Magnitude response of {name}",
                            f"From the node's own impulse response: the first {span * 1000:g} ms after a click, "
                            f"taken at {len(times)} points of the delay's sweep: where it starts (0°), a quarter and three quarters of a period on."))
        figures.append((f"{name}-spectrogram.png", f"Spectrogram of {name}",
                        "The demo signal after the effect: time across, frequency up, level in colour; "
                        "left channel above, right below."))
        rtf, peak, rms = run[name]
        summary.append(f"<tr><td><a href=\"#{esc(name)}\">{esc(t['displayName'])}</a></td>"
                       f"<td class=num>{esc(rtf)}</td><td class=num>{esc(peak)}</td><td class=num>{esc(rms)}</td></tr>")
        figure_html = "\n".join(
            f"<figure><img src=\"{esc(src)}\" alt=\"{esc(alt)}\">"
            f"<figcaption>{esc(caption)}</figcaption></figure>" for src, alt, caption in figures)
        sections.append(f"""
<section class=effect id="{esc(name)}">
  <div class=head><h2>{esc(t['displayName'])}</h2><span class=type>{esc(t.get('name', name))}</span>
    <span>{esc(t['description'])}</span></div>
  <div class=grid>
    <div class=card>
      <h3>Parameters and their defaults (used here)</h3>
      {parameter_table(t)}
      {preset_list(t)}
      <div class=players>
        <span>dry</span><audio controls preload=metadata src="dry.wav"></audio>
        <span>{esc(t['displayName'])}</span><audio controls preload=metadata src="{esc(name)}.wav"></audio>
      </div>
    </div>
{figure_html}
  </div>
</section>""")
    page = f"""<!DOCTYPE html>
<html lang=en>
<head>
<meta charset=utf-8>
<meta name=viewport content="width=device-width, initial-scale=1">
<title>Orvane AudioEffects: demo</title>
<style>{CSS}</style>
</head>
<body>
<main>
<h1>Orvane AudioEffects: hear and see every effect</h1>
<p class=lead>Four seconds of plucked notes and a drum hit (stereo, 48 kHz) run through each effect with its
default parameters by <code>orvane-fx process</code>. Listen to the dry and the processed sound, and see what each
effect does to a single click and to the music.</p>
{PLAYGROUND_LINK if os.path.isfile(os.path.join(out, "playground.html")) else ""}
<nav><a href="#dry">dry input</a>{''.join(f'<a href="#{esc(t["type"])}">{esc(t["displayName"])}</a>' for t in types)}</nav>
<div class=top>
  <div class=card id=run>
    <h3>The run</h3>
    <table><thead><tr><th>effect</th><th class=num>real-time factor</th><th class=num>peak dBFS</th><th class=num>RMS dBFS</th></tr></thead>
    <tbody>
{chr(10).join(summary)}
    </tbody></table>
    <p style="font-size:13px;color:var(--muted);margin-top:8px">Real-time factor: the time of the whole
    <code>orvane-fx process</code> run (reading, processing, writing) over the signal's four seconds, on the machine
    that made this page; below 1 is faster than real time.</p>
    <h3 style="margin-top:16px">Reading the pictures</h3>
    <ul class=reading>
      <li><b>Impulse response</b>: what one click becomes, per channel, as a multiple of the click. Its time span
      follows the effect: the echoes of the delays, the first milliseconds of the swept effects.</li>
      <li><b>Magnitude response</b> (effects with a sweep): how much each frequency passes, from a short stretch of
      the effect's own impulse response, at three points of the sweep; a comb of peaks and notches is the sound
      of a flanger or chorus.</li>
      <li><b>Spectrogram</b>: the music after the effect; time across, frequency up, level in colour.</li>
    </ul>
  </div>
  <section class=card id=dry>
    <h3>Dry input</h3>
    <div class=players style="margin:0 0 10px"><span>dry</span><audio controls preload=metadata src="dry.wav"></audio></div>
    <figure><img src="dry-spectrogram.png" alt="Spectrogram of the dry input">
    <figcaption>The demo signal before any effect: an A major arpeggio from left to right, a chord, then a drum hit.</figcaption></figure>
  </section>
</div>
{''.join(sections)}
<footer>Made by <code>orvane-fx demo</code>: sox synthesises the signal and draws the spectrograms, numpy and
matplotlib draw the responses. Every file is beside this page; it needs no network.</footer>
</main>
</body>
</html>
"""
    with open(os.path.join(out, "index.html"), "w", encoding="utf-8") as f:
        f.write(page)


def main(argv):
    if len(argv) == 4 and argv[1] == "probes":
        make_probes(argv[2], argv[3])
    elif len(argv) == 5 and argv[1] == "page":
        write_page(argv[2], argv[3], argv[4])
    elif len(argv) == 5 and argv[1] == "playground":
        write_playground(argv[2], argv[3], argv[4])
    else:
        fail("orvane-fx-demo-page.py takes: probes CATALOGUE SCRATCH, page CATALOGUE SCRATCH OUT, "
             "or playground WORKLET MUSIC OUT")


if __name__ == "__main__":
    main(sys.argv)
