#include "sweep/rounds/shared_rounds.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "sweep/stats/tally.h"

namespace mtsweep {

namespace {

// A frame on the wire: its result table, then the chain's five counts.
// The table's entries beyond iterat + 3 are 0 and not sent.
int words_per_frame(int32_t iterat) { return iterat + 3 + 5; }

int32_t* pack(const mtsim::FrameCounts& f, int32_t* out) {
  const std::span<const int32_t> table = f.result_table();
  out = std::copy(table.begin(), table.end(), out);
  for (const int32_t v : {f.inftot, f.inf_weight, f.check_weight, f.inferr, f.isaerr}) *out++ = v;
  return out;
}

const int32_t* unpack(const int32_t* in, int32_t iterat, mtsim::FrameCounts& f) {
  f = mtsim::FrameCounts{};
  f.iterat = iterat;
  std::copy_n(in, iterat + 3, f.table.begin());
  in += iterat + 3;
  for (int32_t* v : {&f.inftot, &f.inf_weight, &f.check_weight, &f.inferr, &f.isaerr}) *v = *in++;
  return in;
}

}  // namespace

SharedRounds::SharedRounds(Cluster& cluster, FramePool& pool, const StopRequest& stop)
    : cluster_(cluster), pool_(pool), stop_(stop) {
  const std::vector<int> threads = cluster.gather(pool.threads());
  workers_before_.assign(threads.size() + 1, 0);
  std::partial_sum(threads.begin(), threads.end(), workers_before_.begin() + 1);
  counts_.resize(threads.size());
  displacements_.resize(threads.size());
  // MPI counts words in int.
  const int64_t most_words = int64_t{MAX_ROUND_PER_WORKER} * workers() * words_per_frame(mtsim::MAX_ITERAT) +
                             static_cast<int64_t>(threads.size());
  if (most_words > INT32_MAX) throw std::length_error("too many workers for one round's exchange");
}

Stop SharedRounds::run(const mtsim::FrameConfig& config, int32_t first_kst,
                      std::span<mtsim::FrameCounts> round,
                      const std::function<void(int64_t)>& tick) {
  const auto ranks = static_cast<size_t>(cluster_.size());
  const auto first_of = [&](size_t rank) {
    return static_cast<size_t>(static_cast<int64_t>(round.size()) * workers_before_[rank] /
                               workers());
  };
  const int words = words_per_frame(config.iterat);
  for (size_t r = 0; r < ranks; ++r) {
    counts_[r] = 1 + static_cast<int>(first_of(r + 1) - first_of(r)) * words;
    displacements_[r] = r == 0 ? 0 : displacements_[r - 1] + counts_[r - 1];
  }

  const auto me = static_cast<size_t>(cluster_.rank());
  const std::span<mtsim::FrameCounts> slice =
      round.subspan(first_of(me), first_of(me + 1) - first_of(me));
  if (!slice.empty()) {
    const double scale = static_cast<double>(workers()) / pool_.threads();
    std::function<void(int64_t)> scaled;
    if (tick) scaled = [&](int64_t done) { tick(static_cast<int64_t>(done * scale)); };
    // An unfinished slice shows in the stop word below.
    pool_.run(config, first_kst + static_cast<int32_t>(first_of(me)), slice, stop_, scaled);
  }
  mine_.resize(static_cast<size_t>(counts_[me]));
  mine_[0] = stop_.get().word();
  int32_t* out = mine_.data() + 1;
  for (const mtsim::FrameCounts& f : slice) out = pack(f, out);

  all_.resize(static_cast<size_t>(displacements_.back() + counts_.back()));
  cluster_.gather(mine_, counts_, displacements_, all_);

  for (size_t r = 0; r < ranks; ++r) {
    const Stop stop = Stop::from_word(all_[static_cast<size_t>(displacements_[r])]);
    if (stop.requested()) return stop;
  }
  for (size_t r = 0; r < ranks; ++r) {
    const int32_t* in = all_.data() + displacements_[r] + 1;
    for (size_t i = first_of(r); i < first_of(r + 1); ++i) in = unpack(in, config.iterat, round[i]);
  }
  return Stop{};
}

}  // namespace mtsweep
