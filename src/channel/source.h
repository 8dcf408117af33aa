// The information source: six streams of bits, pseudo-random or one of
// three fixed contents chosen by infind.
#pragma once

#include <array>
#include <cstdint>

namespace mtsim {

// The fixed 29-bit pattern of source mode 2, bits numbered 1 ... 29
// (entry 0 unused).
std::array<int16_t, 30> make_inf_pattern();

}  // namespace mtsim
