// What the vector kernels share: which instruction sets this processor
// has, the target attribute of each kernel family, how a kernel reports the
// path it took, and the small vector helpers every kernel file needs.
//
// The fast kernels are compiled with function-level target attributes, so
// the rest of the program runs on any x86-64; each kernel asks here once per
// call and falls back to its reference version when the answer is no.  A
// helper below carries the smallest attribute set, so that it inlines into
// every kernel, whose set is a superset.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace mtsim {

// AVX-512 with byte and word lanes: the decoder, encoder, source and the
// generator blocks.
#define MTSIM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,bmi,bmi2,popcnt")))

// Besides, the byte permutes, 16-bit compress and double shifts of VBMI and
// VBMI2, and the GF(2) affine transform of GFNI (Ice Lake and Zen 4 on).
#define MTSIM_AVX512_GFNI                                                                   \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,gfni,bmi,bmi2," \
                        "popcnt")))

inline bool cpu_has_avx512bw() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

inline bool cpu_has_avx512gfni() {
  return cpu_has_avx512bw() && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("gfni");
}

// Which implementation a fast kernel ran: its vector path, or the scalar
// reference it falls back to (no such processor, or inputs the vector path
// does not take).  Kernels report it through an optional out-parameter, so
// that tests can say which path they compared and notice a vector path
// that silently stopped being taken.
enum class KernelPath { kVector, kScalar };

inline const char* path_name(KernelPath p) { return p == KernelPath::kVector ? "vector" : "scalar"; }

inline void report_path(KernelPath* out, KernelPath p) {
  if (out != nullptr) *out = p;
}

MTSIM_AVX512 inline __m512i load(const void* p) { return _mm512_loadu_si512(p); }

// A mask of the first n lanes (all of them from 32 or 64 on, none below 1).
MTSIM_AVX512 inline __mmask32 first_lanes(int32_t n) {
  if (n <= 0) return 0;
  return n >= 32 ? ~__mmask32{0} : static_cast<__mmask32>((1u << n) - 1);
}
MTSIM_AVX512 inline __mmask64 first_bytes(int32_t n) {
  if (n <= 0) return 0;
  return n >= 64 ? ~__mmask64{0} : static_cast<__mmask64>((uint64_t{1} << n) - 1);
}

}  // namespace mtsim
