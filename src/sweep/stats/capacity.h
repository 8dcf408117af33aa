// Where the channel's 16-level capacity C16 equals the code rate: below
// that Es/N0 no code of rate 3/4 can reach a vanishing error rate over this
// quantized channel.  Found from the channel estimates of the library.
#pragma once

namespace mtsweep {

// The AN (Es/N0 in dB) at which C16 = rate, to about 1e-6 dB.
// REQUIRES: C16 at AN -3.0 below `rate` and at AN 5.0 above it (true for
// rates 0.49 ... 0.97).
double an_at_capacity(double rate);

}  // namespace mtsweep
