#pragma once

// The library is built with hidden symbols; these mark what a host may link against.
#if defined(_WIN32)
#define ORVANE_AUDIOEFFECTS_API __declspec(dllexport)
#define ORVANE_AUDIOEFFECTS_HIDDEN
#else
#define ORVANE_AUDIOEFFECTS_API __attribute__((visibility("default")))
#define ORVANE_AUDIOEFFECTS_HIDDEN __attribute__((visibility("hidden")))
#endif
