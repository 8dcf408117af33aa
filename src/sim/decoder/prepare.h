// The decoder preparation: the registers' starting state and the error
// packet laid over the received hard bits.
#pragma once

#include <cstdint>

#include "sim/random/rng.h"
#include "sim/code/streams.h"
#include "sim/decoder/decoder.h"

namespace mtsim {

inline constexpr int32_t PACKET_START = 2000;  // first packet step, from time step 0
inline constexpr int16_t PRESTART_SUM = -199;  // keeps every pre-start metric <= -109

// counts zeroed, scalars set, pre-start sums at -199, pre-start decisions and
// differences 0 (so that a DecoderState used before starts afresh).
void prepare_registers(DecoderState& d);

// npacketll / 8 steps from PACKET_START on, in the stream order rinf[5] ...
// rinf[0], rchk2, rchk1, get bit 0 of rngB's a after one call each.  No
// packet, and no rngB call, for npacketll < 8.
void write_error_packet(Streams& s, Rng& rngB, int32_t npacketll);

}  // namespace mtsim
