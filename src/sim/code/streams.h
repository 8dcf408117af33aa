// The 24 stream buffers through which the phases hand over a run.
//
// Time step t of a run lives at entry tpos + t of every buffer; the entries
// below tpos are the code's prehistory and read as 0.
#pragma once

#include <array>
#include <cstdint>

#include "sim/code/code_tables.h"

namespace mtsim {

// Each buffer starts on a cache line (its size rounds up to whole lines),
// and so does entry tpos: the 32 entries of a vector from tpos + 32 g on
// fill exactly one line, which the channel writes with streaming stores.
struct alignas(64) Stream : std::array<int16_t, STREAM_LEN> {};
static_assert(tpos % 32 == 0 && sizeof(Stream) % 64 == 0);

struct Streams {
  // Sent bits, 0 or 1.
  alignas(64) std::array<Stream, NUM_INF> inf;
  alignas(64) Stream chk1;
  alignas(64) Stream chk2;
  // Received hard decisions, 0 or 1.
  alignas(64) std::array<Stream, NUM_INF> rinf;
  alignas(64) Stream rchk1;
  alignas(64) Stream rchk2;
  // Reliabilities of the received symbols, odd, 1 ... 15.
  alignas(64) std::array<Stream, NUM_INF> relinf;
  alignas(64) Stream relchk1;
  alignas(64) Stream relchk2;

  // Entry by entry; the alignment padding is not compared.
  bool operator==(const Streams&) const = default;
};

}  // namespace mtsim
