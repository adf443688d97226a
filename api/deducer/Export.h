// DEDUCER_API marks what the shared library exports: the public facade
// (deducer/Engine.h) and nothing else. The library is compiled with hidden
// visibility, so every name without this mark stays inside it.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define DEDUCER_API __attribute__((visibility("default")))
#else
#define DEDUCER_API
#endif
