#pragma once

// Marks a function whose loops the compiler vectorises, to be built also for
// the wider vector units of later x86-64 machines (AVX2 with FMA, AVX-512);
// the loader picks the widest the CPU has, once, when the program starts.
// The default build targets the first x86-64 machines, whose 4-wide vectors
// leave most of a current CPU unused.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define LOOM_WIDEST_VECTORS __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define LOOM_WIDEST_VECTORS
#endif
