#include "sim/decoder/decoder.h"

#include <cassert>

namespace mtsim {

namespace {

inline int32_t at(int32_t index) { return index & DEC_MASK; }

inline int16_t add16(int16_t x, int32_t v) { return static_cast<int16_t>(x + v); }

}  // namespace

void flip(DecoderState& d, int32_t k, int32_t p) {
  d.dec[k][p] = static_cast<int16_t>(1 - d.dec[k][p]);
  d.dif[k][p] = static_cast<int16_t>(-d.dif[k][p]);
  d.sum[k][p] = add16(d.sum[k][p], d.dif[k][p]);

  // Negate all six cells first: every value propagated below is a new one.
  const auto& tk = taps[k];
  for (int32_t cell : {p, p + tk[4], p + tk[3]}) {
    int16_t& c = d.syn2[at(cell)];
    c = static_cast<int16_t>(-c);
  }
  for (int32_t cell : {p + tk[2], p + tk[1], p + tk[0]}) {
    int16_t& c = d.syn1[at(cell)];
    c = static_cast<int16_t>(-c);
  }

  for (int32_t kk = 0; kk < 3; ++kk) {
    const int32_t q = at(p + sorted_taps[6 + k][kk]);
    const int32_t v2 = d.syn2[q];
    for (int32_t s = 0; s < NUM_INF; ++s) {
      d.sum[s][q] = add16(d.sum[s][q], v2);
      d.sum[s][at(q - taps[s][4])] = add16(d.sum[s][at(q - taps[s][4])], v2);
      d.sum[s][at(q - taps[s][3])] = add16(d.sum[s][at(q - taps[s][3])], v2);
    }
    const int32_t u = at(p + sorted_taps[k][kk]);
    const int32_t v1 = d.syn1[u];
    for (int32_t s = 0; s < NUM_INF; ++s) {
      for (int32_t n = 0; n < 3; ++n) {
        int16_t& cell = d.sum[s][at(u - taps[s][n])];
        cell = add16(cell, v1);
      }
    }
  }
}

void threshold_decision(DecoderState& d, int32_t k, int32_t p, int32_t j) {
  const int32_t metric = d.sum[k][p] + dif_gain[j] * d.dif[k][p];
  if (metric > thr[j]) flip(d, k, p);
}

void decode_step(DecoderState& d, const Streams& s, int32_t iterat) {
  d.dec_pos = at(d.dec_pos + 1);
  d.rcv_pos = d.rcv_pos + 1;
  const int32_t t = d.dec_pos;
  const int32_t r = d.rcv_pos;

  for (int32_t k = 0; k < NUM_INF; ++k) d.dec[k][t] = s.rinf[k][r];

  d.counts[0] += NUM_INF;
  for (int32_t k = 0; k < NUM_INF; ++k) {
    d.counts[1] += s.rinf[k][r] != s.inf[k][r] ? 1 : 0;
  }
  d.counts[2] += (s.rchk2[r] != s.chk2[r] ? 1 : 0) + (s.rchk1[r] != s.chk1[r] ? 1 : 0);

  // The dec entries read here are at most 694 steps old and not yet decided,
  // so both syndromes are those of the received word.
  int32_t s2 = s.rchk2[r];
  int32_t s1 = s.rchk1[r];
  for (int32_t k = 0; k < NUM_INF; ++k) {
    s2 += d.dec[k][t] + d.dec[k][at(t - taps[k][3])] + d.dec[k][at(t - taps[k][4])];
    s1 += d.dec[k][at(t - taps[k][0])] + d.dec[k][at(t - taps[k][1])] + d.dec[k][at(t - taps[k][2])];
  }
  d.syn2[t] = static_cast<int16_t>((s2 & 1) != 0 ? s.relchk2[r] : -s.relchk2[r]);
  d.syn1[t] = static_cast<int16_t>((s1 & 1) != 0 ? s.relchk1[r] : -s.relchk1[r]);

  for (int32_t k = 0; k < NUM_INF; ++k) d.dif[k][t] = static_cast<int16_t>(-2 * s.relinf[k][r]);

  // Check 2 before check 1: taps[5][2] is 0, so check 1 adds to sum[5][t],
  // which the assignment here creates.
  const int32_t v2 = d.syn2[t];
  for (int32_t k = 0; k < NUM_INF; ++k) {
    d.sum[k][t] = static_cast<int16_t>(-s.relinf[k][r] + v2);
    int16_t& c4 = d.sum[k][at(t - taps[k][4])];
    c4 = add16(c4, v2);
    int16_t& c3 = d.sum[k][at(t - taps[k][3])];
    c3 = add16(c3, v2);
  }
  d.syn2[t] = static_cast<int16_t>(2 * v2);
  const int32_t v1 = d.syn1[t];
  for (int32_t k = 0; k < NUM_INF; ++k) {
    for (int32_t n = 0; n < 3; ++n) {
      int16_t& c = d.sum[k][at(t - taps[k][n])];
      c = add16(c, v1);
    }
  }
  d.syn1[t] = static_cast<int16_t>(2 * v1);

  for (int32_t j = 0; j < iterat; ++j) {
    const int32_t back = decision_delay(j);
    const int32_t p = at(t - back);
    const int32_t sp = r - back;
    for (int32_t k = NUM_INF - 1; k >= 0; --k) {
      threshold_decision(d, k, p, j);
      d.counts[3 + j] += d.dec[k][p] != s.inf[k][sp] ? 1 : 0;
    }
  }
}

void decode_reference(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat) {
  assert(ndkdd <= MAX_NDKDD && iterat >= MIN_ITERAT && iterat <= MAX_ITERAT);
  for (int32_t i = 0; i < ndkdd; ++i) decode_step(d, s, iterat);
}

}  // namespace mtsim
