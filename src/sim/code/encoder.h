// The encoder: the two check bits of every time step from the six
// information streams, as integer sums of 0/1 values whose bit 0 is the
// parity.  A direct reference and a vector version with the same output.
#pragma once

#include <cstdint>

#include "sim/code/streams.h"
#include "sim/simd.h"

namespace mtsim {

// Fills chk1 and chk2 at tpos ... tpos + ndkdd - 1 and returns the number of
// 1 bits among them.  Does nothing for ndkdd <= 0.
// REQUIRES: ndkdd <= MAX_NDKDD; inf[] holds 0/1 values, 0 below tpos.
int32_t encode_reference(Streams& s, int32_t ndkdd);

// The same checks and weight, 32 steps per AVX-512 instruction (the steps
// are independent); the reference without AVX-512.  `path` tells which ran.
// REQUIRES: as encode_reference.
int32_t encode_fast(Streams& s, int32_t ndkdd, KernelPath* path = nullptr);

}  // namespace mtsim
