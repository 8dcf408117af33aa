#include "support/state_diff.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

namespace testing_support {

namespace {

using Named = std::pair<std::string, std::span<const int16_t>>;

std::string first_of(const std::vector<Named>& got, const std::vector<Named>& want) {
  for (size_t b = 0; b < got.size(); ++b) {
    const auto& [name, g] = got[b];
    const auto w = want[b].second;
    const auto [at, _] = std::mismatch(g.begin(), g.end(), w.begin());
    if (at == g.end()) continue;
    const auto i = at - g.begin();
    return name + "[" + std::to_string(i) + "]: " + std::to_string(*at) + ", not " +
           std::to_string(w[static_cast<size_t>(i)]);
  }
  return "";
}

template <class Array>
void add(std::vector<Named>& v, const std::string& name, const Array& a) {
  v.emplace_back(name, std::span<const int16_t>(a.data(), a.size()));
}

std::vector<Named> buffers(const mtsim::Streams& s) {
  std::vector<Named> v;
  for (int k = 0; k < mtsim::NUM_INF; ++k) {
    add(v, "inf[" + std::to_string(k) + "]", s.inf[k]);
    add(v, "rinf[" + std::to_string(k) + "]", s.rinf[k]);
    add(v, "relinf[" + std::to_string(k) + "]", s.relinf[k]);
  }
  add(v, "chk1", s.chk1);
  add(v, "chk2", s.chk2);
  add(v, "rchk1", s.rchk1);
  add(v, "rchk2", s.rchk2);
  add(v, "relchk1", s.relchk1);
  add(v, "relchk2", s.relchk2);
  return v;
}

std::vector<Named> registers(const mtsim::DecoderState& d) {
  std::vector<Named> v;
  for (int k = 0; k < mtsim::NUM_INF; ++k) {
    add(v, "dec[" + std::to_string(k) + "]", d.dec[k]);
    add(v, "dif[" + std::to_string(k) + "]", d.dif[k]);
    add(v, "sum[" + std::to_string(k) + "]", d.sum[k]);
  }
  add(v, "syn1", d.syn1);
  add(v, "syn2", d.syn2);
  return v;
}

}  // namespace

std::string first_difference(const mtsim::Streams& got, const mtsim::Streams& want) {
  return first_of(buffers(got), buffers(want));
}

std::string first_difference(const mtsim::DecoderState& got, const mtsim::DecoderState& want) {
  for (size_t i = 0; i < got.counts.size(); ++i) {
    if (got.counts[i] != want.counts[i]) {
      return "counts[" + std::to_string(i) + "]: " + std::to_string(got.counts[i]) + ", not " +
             std::to_string(want.counts[i]);
    }
  }
  if (got.rcv_pos != want.rcv_pos) {
    return "rcv_pos: " + std::to_string(got.rcv_pos) + ", not " + std::to_string(want.rcv_pos);
  }
  if (got.dec_pos != want.dec_pos) {
    return "dec_pos: " + std::to_string(got.dec_pos) + ", not " + std::to_string(want.dec_pos);
  }
  return first_of(registers(got), registers(want));
}

}  // namespace testing_support
