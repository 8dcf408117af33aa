// The rate-3/4 self-orthogonal convolutional code: its delay tables and the
// indexing of the stream buffers.
//
// Six information streams are sent as they are; check 1 and check 2 are the
// parities of eighteen information bits at the delays below.  Check 2 also
// takes every stream's current bit (delay 0), and stream 5 enters check 1 at
// delay 0 as well.  No two distinct bits share more than one check.
#pragma once

#include <array>
#include <cstdint>

namespace mtsim {

inline constexpr int32_t STREAM_LEN = 550000;  // entries of every stream buffer
inline constexpr int32_t tpos = 20000;         // buffer index of time step 0
inline constexpr int32_t ring_mask = 1048575;  // applied to every encoder index
inline constexpr int32_t CLEARED_LEN = 545000; // entries cleared by the code set-up
inline constexpr int32_t MAX_DELAY = 694;      // memory of the code, in steps

// A frame's length in time steps.  Every kernel REQUIRES ndkdd within
// these limits (the frame API checks a configuration once, config_error);
// with MAX_NDKDD no index passes the buffers, and the vector kernels may
// read a vector's width past the last step.
inline constexpr int32_t MIN_NDKDD = 20000;
inline constexpr int32_t MAX_NDKDD = 520000;
static_assert(tpos + MAX_NDKDD + 64 <= CLEARED_LEN && CLEARED_LEN <= STREAM_LEN);

// What a time step sends: six information bits as they are, two checks.
inline constexpr int NUM_INF = 6;
inline constexpr int NUM_CHECKS = 2;
inline constexpr int SYMBOLS_PER_STEP = NUM_INF + NUM_CHECKS;
inline constexpr double CODE_RATE = static_cast<double>(NUM_INF) / SYMBOLS_PER_STEP;  // 3/4

// taps[k]: columns 0..2 are stream k's delays in check 1, columns 3..4 its
// delays in check 2 besides delay 0; column 5 is unused.
inline constexpr std::array<std::array<int32_t, 6>, 6> taps = {{
    {689, 203, 33, 570, 345, 0},
    {604, 139, 15, 686, 80, 0},
    {694, 212, 22, 538, 161, 0},
    {686, 78, 9, 400, 34, 0},
    {646, 26, 5, 519, 53, 0},
    {458, 174, 0, 583, 97, 0},
}};

// sorted_taps[k]: stream k's check-1 delays ascending; sorted_taps[6 + k]:
// its check-2 delays ascending, 0 included.  Columns 3..5 are unused.
inline constexpr std::array<std::array<int32_t, 6>, 12> sorted_taps = {{
    {33, 203, 689, 0, 0, 0},
    {15, 139, 604, 0, 0, 0},
    {22, 212, 694, 0, 0, 0},
    {9, 78, 686, 0, 0, 0},
    {5, 26, 646, 0, 0, 0},
    {0, 174, 458, 0, 0, 0},
    {0, 345, 570, 0, 0, 0},
    {0, 80, 686, 0, 0, 0},
    {0, 161, 538, 0, 0, 0},
    {0, 34, 400, 0, 0, 0},
    {0, 53, 519, 0, 0, 0},
    {0, 97, 583, 0, 0, 0},
}};

}  // namespace mtsim
