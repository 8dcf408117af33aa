// Which instruction sets the fast kernels may use on this processor.
//
// The fast kernels are compiled with function-level target attributes, so
// the rest of the program runs on any x86-64; each kernel asks here once per
// call and falls back to its reference version when the answer is no.
#pragma once

namespace mtsim {

// The target attribute of every AVX-512 kernel function.
#define MTSIM_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,bmi,bmi2,popcnt")))

// AVX-512 with the byte permutes, 16-bit compress and double shifts of VBMI
// and VBMI2 (Ice Lake and Zen 4 on).
#define MTSIM_AVX512_VBMI2 \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")))

inline bool cpu_has_avx512bw() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("popcnt");
}

inline bool cpu_has_avx512vbmi2() {
  return cpu_has_avx512bw() && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vbmi2");
}

}  // namespace mtsim
