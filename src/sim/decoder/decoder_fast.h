// The fast multithreshold decoder: the same registers, counts and decisions
// as decode_reference, bit for bit, from block-wise vector work.
//
// Steps are taken in blocks of 1,024: the entries of a whole block (hard
// bits, syndromes, difference registers) are formed with AVX-512 from the
// linear stream buffers, then each iteration's decisions over the block are
// one 8-bit vector compare per 64 positions, with metrics formed from the
// halved syndrome cells; only positions where some metric exceeds its threshold
// are decided one bit at a time.  The sum registers are rebuilt exactly at
// the end.  Why all this gives the reference's results is argued in
// decoder_fast.cpp.  Without AVX-512, or on a state not freshly prepared,
// it runs the reference.
#pragma once

#include <cstdint>

#include "sim/code/streams.h"
#include "sim/decoder/decoder.h"
#include "sim/simd.h"

namespace mtsim {

// ndkdd decoding steps with the same effect on `d` (registers, dec_pos,
// rcv_pos, counts) as decode_reference; `path` tells which ran.
// REQUIRES: d as prepare_registers leaves it (pre-start sums -199);
// received and sent bits 0 or 1 and reliabilities 1 ... MAX_RELIABILITY,
// as the channel and the error packet make them; as decode_reference.
void decode_fast(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat,
                 KernelPath* path = nullptr);

}  // namespace mtsim
