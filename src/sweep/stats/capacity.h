// Where the channel's 16-level capacity C16 equals the code rate: below
// that Es/N0 no code of rate 3/4 can reach a vanishing error rate over this
// quantized channel.  Found from the channel estimates of the library.
#pragma once

namespace mtsweep {

// The AN (Es/N0 in dB) at which C16 equals the code's rate, to about
// 1e-6 dB; found on the first call and kept.
double an_at_code_rate();

}  // namespace mtsweep
