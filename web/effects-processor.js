// The effects as an AudioWorkletProcessor, 'orvane-effects': one chain, run by the WebAssembly
// module (its factory, OrvaneEffectsModule, comes before this in the same script) one render
// quantum at a time. Requests come through the port and each is answered with the chain's
// state (docs/web.md). Chains are made and changed in the message handler; process() only
// copies and calls the module, and allocates nothing.
const engine = {};
OrvaneEffectsModule(engine);  // compiled synchronously: ready once the call returns
const catalogue = JSON.parse(engine.UTF8ToString(engine._orvane_catalogue()));
const tables = new Map(catalogue.effects.map((effect) => [effect.type, effect]));
const noInput = [];

// A float's shortest decimal, as the native front ends write it: 0.7, not 0.699999988079071.
function shortest(float) {
  for (let digits = 1; digits < 9; ++digits) {
    const decimal = Number(float.toPrecision(digits));
    if (Math.fround(decimal) === float) return decimal;
  }
  return float;
}

// Calls fn with text as a C string; answers fn's result.
function withText(text, fn) {
  const size = engine.lengthBytesUTF8(text) + 1;
  const at = engine._malloc(size);
  engine.stringToUTF8(text, at, size);
  try {
    return fn(at);
  } finally {
    engine._free(at);
  }
}

class Chain {
  constructor(effects, channels) {
    if (!Array.isArray(effects)) throw new Error('a chain is a list of effects: [{type, preset, values}, ...]');
    this.types = effects.map((effect) => String(effect && effect.type));
    const unknown = this.types.find((type) => !tables.has(type));
    if (unknown !== undefined)
      throw new Error(`no effect is named '${unknown}'; the effects are ${[...tables.keys()].join(', ')}`);
    this.pointer = withText(this.types.join(' '), (types) =>
      engine._orvane_chain_create(types, channels, sampleRate));
    if (!this.pointer) throw new Error(engine.UTF8ToString(engine._orvane_error()));
    try {
      effects.forEach(({preset, values = {}}, index) => {
        if (preset !== undefined) this.preset(index, preset);
        for (const [name, value] of Object.entries(values)) this.set(index, name, value);
      });
    } catch (error) {
      this.free();
      throw error;
    }
  }

  check(answer) {
    if (!answer) throw new Error(engine.UTF8ToString(engine._orvane_error()));
  }

  parameters(index) {
    if (!(Number.isInteger(index) && index >= 0 && index < this.types.length))
      throw new Error(`the chain has no effect ${index}; it has ${this.types.length}`);
    return tables.get(this.types[index]).parameters;
  }

  set(index, name, value) {
    const parameters = this.parameters(index);
    const parameter = parameters.findIndex((p) => p.name === name);
    if (parameter < 0) {
      const known = parameters.map((p) => p.name).join(', ');
      throw new Error(`${this.types[index]} has no parameter '${name}'; its parameters are ${known}`);
    }
    // A switch takes a boolean (or 0 or 1), the others a number; anything else is refused as NaN.
    const taken = typeof value === 'number' || (typeof value === 'boolean' && parameters[parameter].kind === 'boolean');
    this.check(engine._orvane_chain_set(this.pointer, index, parameter, taken ? Number(value) : NaN));
  }

  preset(index, name) {
    this.parameters(index);
    this.check(withText(String(name), (text) => engine._orvane_chain_preset(this.pointer, index, text)));
  }

  // [{type, values: {name: value}}], as a 'chain' request takes it.
  state() {
    return this.types.map((type, index) => ({
      type,
      values: Object.fromEntries(this.parameters(index).map((p, parameter) => {
        const number = engine._orvane_chain_get(this.pointer, index, parameter);
        return [p.name, p.kind === 'boolean' ? number !== 0 : p.kind === 'float' ? shortest(number) : number];
      })),
    }));
  }

  free() {
    engine._orvane_chain_free(this.pointer);
  }
}

class EffectsProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const {channels = 2, chain = []} = options.processorOptions || {};
    this.channels = channels;
    let error = null;
    try {
      this.chain = new Chain(chain, channels);
    } catch (e) {
      error = e.message;
      this.chain = new Chain([], channels);  // the input passes as it is
    }
    this.views();
    this.port.onmessage = (event) => this.port.postMessage(this.answer(event.data || {}));
    if (error) this.port.postMessage({type: 'state', id: null, channels, chain: this.chain.state(), error});
  }

  // Views of the chain's quantum, one per channel: made again after anything that may have
  // grown the module's memory, so that process() makes none.
  views() {
    const first = engine._orvane_chain_samples(this.chain.pointer) / 4;
    this.rows = Array.from({length: this.channels}, (_, c) =>
      engine.HEAPF32.subarray(first + c * catalogue.quantum, first + (c + 1) * catalogue.quantum));
  }

  answer(request) {
    let error = null;
    try {
      switch (request.type) {
        case 'describe':
          return {type: 'catalogue', id: request.id, catalogue};
        case 'state':
          break;
        case 'set':
          this.chain.set(request.effect, request.parameter, request.value);
          break;
        case 'preset':
          this.chain.preset(request.effect, request.name);
          break;
        case 'chain': {
          const next = new Chain(request.effects, this.channels);
          this.chain.free();
          this.chain = next;
          break;
        }
        default:
          error = `unknown request '${request.type}'; the requests are describe, state, set, preset and chain`;
      }
    } catch (e) {
      error = e.message;
    } finally {
      this.views();
    }
    return {type: 'state', id: request.id, channels: this.channels, chain: this.chain.state(), error};
  }

  process(inputs, outputs) {
    const input = inputs[0] || noInput, output = outputs[0];
    for (let c = 0; c < this.channels; ++c) {
      if (c < input.length) this.rows[c].set(input[c]);
      else this.rows[c].fill(0);  // no input connected, or fewer channels: silence
    }
    engine._orvane_chain_process(this.chain.pointer);
    for (let c = 0; c < output.length && c < this.channels; ++c) output[c].set(this.rows[c]);
    return true;
  }
}

registerProcessor('orvane-effects', EffectsProcessor);
