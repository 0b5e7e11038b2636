// Runs in the test's file:// page, called by effects_in_browser.py through WebDriver. With the
// worklet script and signals (planar float32), all base64, keeps them; with a case, renders one
// signal through the effects worklet in an OfflineAudioContext at 48 kHz, after sending the
// case's requests through the port, and answers the port's replies and the rendered samples.
const done = arguments[arguments.length - 1];
const [what] = arguments;
const bytes = (floats) => new Uint8Array(floats.buffer, floats.byteOffset, floats.byteLength);
const encode = (floats) => {
  let text = '';
  for (let i = 0; i < floats.byteLength; i += 0x8000)
    text += String.fromCharCode.apply(null, bytes(floats).subarray(i, i + 0x8000));
  return btoa(text);
};
const decode = (text) => new Float32Array(Uint8Array.from(atob(text), (c) => c.charCodeAt(0)).buffer);

async function render({signal, chain, requests}) {
  const {channels, samples} = window.signals[signal];
  const frames = samples.length / channels;
  const context = new OfflineAudioContext(channels, frames, 48000);
  await context.audioWorklet.addModule(window.worklet);
  const buffer = context.createBuffer(channels, frames, 48000);
  for (let c = 0; c < channels; ++c) buffer.copyToChannel(samples.subarray(c * frames, (c + 1) * frames), c);
  const node = new AudioWorkletNode(context, 'orvane-effects', {
    outputChannelCount: [channels], channelCount: channels, channelCountMode: 'explicit',
    processorOptions: {channels, chain}});
  const replies = [];
  for (const request of requests)
    replies.push(await new Promise((resolve) => {
      node.port.onmessage = (event) => resolve(event.data);
      node.port.postMessage(request);
    }));
  const player = new AudioBufferSourceNode(context, {buffer});
  player.connect(node).connect(context.destination);
  player.start();
  const started = performance.now();
  const rendered = await context.startRendering();
  const milliseconds = performance.now() - started;
  const out = new Float32Array(channels * frames);
  for (let c = 0; c < channels; ++c) rendered.copyFromChannel(out.subarray(c * frames, (c + 1) * frames), c);
  return {replies, milliseconds, samples: encode(out)};
}

(async () => {
  if (what.worklet !== undefined) {
    // Inline: a file:// page may fetch no file, and Chromium refuses its blob: URLs as worklets.
    window.worklet = 'data:text/javascript;base64,' + what.worklet;
    window.signals = Object.fromEntries(Object.entries(what.signals).map(
      ([name, {channels, samples}]) => [name, {channels, samples: decode(samples)}]));
    return {loaded: Object.keys(window.signals)};
  }
  return render(what);
})().then(done, (error) => done({error: String(error && error.stack || error)}));
