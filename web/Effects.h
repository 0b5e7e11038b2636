#pragma once

// The C interface of the effects' WebAssembly module (web/Effects.cpp documents each call): what
// effects-processor.js calls, and what any other host of the module may.
#include <cstdint>

extern "C" {
struct OrvaneChain;
const char* orvane_catalogue();
const char* orvane_error();
OrvaneChain* orvane_chain_create(const char* types, std::uint32_t channels, std::uint32_t sampleRate);
int orvane_chain_set(OrvaneChain* chain, std::uint32_t effect, std::uint32_t parameter, double value);
double orvane_chain_get(const OrvaneChain* chain, std::uint32_t effect, std::uint32_t parameter);
int orvane_chain_preset(OrvaneChain* chain, std::uint32_t effect, const char* name);
float* orvane_chain_samples(OrvaneChain* chain);
void orvane_chain_process(OrvaneChain* chain);
void orvane_chain_free(OrvaneChain* chain);
}
