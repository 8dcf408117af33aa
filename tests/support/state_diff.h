// The first difference between two frames' buffers or decoder registers,
// named as a reader would look it up: "rinf[3][20417]: 1, not 0".
#pragma once

#include <string>

#include "sim/code/streams.h"
#include "sim/decoder/decoder.h"

namespace testing_support {

// Empty when equal.
std::string first_difference(const mtsim::Streams& got, const mtsim::Streams& want);
std::string first_difference(const mtsim::DecoderState& got, const mtsim::DecoderState& want);

}  // namespace testing_support
