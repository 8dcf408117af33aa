// The fast kernels against the reference ones, bit for bit, on data made
// by the real phases: every received buffer, register ring, count and
// generator state must come out the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "sim/random/rng_bits.h"
#include "sim/source/source.h"
#include "sim/channel/transmit.h"
#include "sim/code/encoder.h"
#include "sim/decoder/decoder_fast.h"
#include "tests/support/prepared_run.h"

namespace mtsim {
namespace {

using test_support::PreparedRun;
using test_support::RunParams;

std::string describe(const RunParams& p) {
  char text[160];
  std::snprintf(text, sizeof text, "kst=%d infind=%d ndkdd=%d iterat=%d AN=%.1f npacketll=%d",
                p.kst, p.infind, p.ndkdd, p.iterat, p.AN, p.npacketll);
  return text;
}

bool same_stream(const Stream& a, const Stream& b) {
  return std::memcmp(a.data(), b.data(), sizeof(Stream)) == 0;
}

bool same_ring(const Ring& a, const Ring& b) {
  return std::memcmp(a.data(), b.data(), sizeof(Ring)) == 0;  // entries 32,768 up included
}

// --- The generators read as bit sequences. ---

TEST(RngBitsTest, FollowsEveryCallOfBothGenerators) {
  for (int32_t kst : {0, 1, -1, 12345, -987654321, 2147483647}) {
    Rng a, b;
    seed_generators(a, b, kst);
    for (Rng* gen : {&a, &b}) {
      Rng ref = *gen;
      RngBits bits(*gen);
      const int64_t call_bits = 21 * ref.cycles;
      for (int64_t c = 1; c <= 40000; ++c) {
        ref.advance();
        bits.reserve(c * call_bits + RngBits::kMaxAhead);  // the farthest look-ahead allowed
        ASSERT_EQ(bits.bits10(c * call_bits), ref.a & 1023u) << "kst " << kst << " call " << c;
      }
      Rng end = ref;
      bits.state_at(40000 * call_bits, end);
      EXPECT_EQ(end.a, ref.a);
      EXPECT_EQ(end.b, ref.b);
      EXPECT_EQ(end.cycles, ref.cycles);
    }
  }
}

// --- Information source. ---

TEST(FastSourceTest, SameBitsCountsPatternAndGeneratorInEveryMode) {
  const InfPattern pattern = make_inf_pattern();
  for (int32_t infind : {-1, 0, 1, 2, 3, 7}) {
    for (int32_t ndkdd : {20000, 20001, 33333}) {
      auto s_ref = std::make_unique<Streams>();
      auto s_fast = std::make_unique<Streams>();
      Rng a, b_ref, b_fast;
      seed_generators(a, b_ref, 0);
      seed_generators(a, b_fast, 0);
      // A pattern already under way, as a second source call would find it.
      SourceState ref{5, 12, 3};
      SourceState fast = ref;
      generate_bits_reference(*s_ref, b_ref, pattern, infind, ndkdd, ref);
      generate_bits_fast(*s_fast, b_fast, pattern, infind, ndkdd, fast);
      const std::string what = "infind " + std::to_string(infind) + " ndkdd " + std::to_string(ndkdd);
      EXPECT_EQ(fast.inftot, ref.inftot) << what;
      EXPECT_EQ(fast.inf_weight, ref.inf_weight) << what;
      EXPECT_EQ(fast.pattern_pos, ref.pattern_pos) << what;
      EXPECT_EQ(b_fast.a, b_ref.a) << what;
      EXPECT_EQ(b_fast.b, b_ref.b) << what;
      for (int32_t k = 0; k < NUM_INF; ++k) EXPECT_TRUE(same_stream(s_fast->inf[k], s_ref->inf[k])) << what;
    }
  }
}

// --- Encoder. ---

TEST(FastEncoderTest, SameChecksAndWeightAsReference) {
  // Step counts that end a vector early, late and exactly.
  for (int32_t ndkdd : {20000, 20001, 20031, 33333}) {
    for (int32_t infind : {1, 2, 3}) {
      RunParams p;
      p.ndkdd = ndkdd;
      p.infind = infind;
      PreparedRun ref(p);
      ref.prepare();
      Streams& s = ref.run().frame.streams;
      auto fast = std::make_unique<Streams>(s);
      const int32_t w_ref = encode_reference(s, ndkdd);
      const int32_t w_fast = encode_fast(*fast, ndkdd);
      EXPECT_EQ(w_fast, w_ref) << describe(p);
      EXPECT_TRUE(same_stream(fast->chk1, s.chk1)) << describe(p);
      EXPECT_TRUE(same_stream(fast->chk2, s.chk2)) << describe(p);
    }
  }
}

// --- Channel. ---

TEST(FastChannelTest, SameReceivedBuffersCountsAndGeneratorAsReference) {
  const RunParams cases[] = {
      {0, 3, 20000, 8, 3.0, 0},       {-1, 3, 20001, 8, 2.0, 0},
      {123456789, 2, 33333, 8, 4.0, 0}, {-2000000000, 3, 20000, 8, 5.0, 0},
      {7, 1, 20031, 8, 25.0, 0},
  };
  for (const RunParams& p : cases) {
    PreparedRun ref(p);
    ref.prepare();
    mtsim::Run& run = ref.run();
    // The channel again from its start, both ways, on copies of the streams.
    auto s_ref = std::make_unique<Streams>(run.frame.streams);
    auto s_fast = std::make_unique<Streams>(run.frame.streams);
    Rng a_ref, a_fast, unused;
    seed_generators(a_ref, unused, p.kst);
    seed_generators(a_fast, unused, p.kst);
    const ChannelErrors e_ref = transmit_reference(*s_ref, a_ref, run.frame.swap_table, run.estimates.table, p.ndkdd);
    const ChannelErrors e_fast = transmit_fast(*s_fast, a_fast, run.frame.swap_table, run.estimates.table, p.ndkdd);
    EXPECT_EQ(e_fast.inferr, e_ref.inferr) << describe(p);
    EXPECT_EQ(e_fast.isaerr, e_ref.isaerr) << describe(p);
    EXPECT_EQ(a_fast.a, a_ref.a) << describe(p);
    EXPECT_EQ(a_fast.b, a_ref.b) << describe(p);
    EXPECT_EQ(std::memcmp(s_fast.get(), s_ref.get(), sizeof(Streams)), 0) << describe(p);
  }
}

TEST(FastChannelTest, NoStepsLeavesAnUnmaskedSeedAlone) {
  PreparedRun ref(RunParams{});
  ref.prepare();
  mtsim::Run& run = ref.run();
  Rng a{0xFFFFFFF0u, 7799, RNG_A_CYCLES};
  const ChannelErrors e = transmit_fast(run.frame.streams, a, run.frame.swap_table, run.estimates.table, 0);
  EXPECT_EQ(e.inferr + e.isaerr, 0);
  EXPECT_EQ(a.a, 0xFFFFFFF0u);
  EXPECT_EQ(a.b, 7799u);
}

// --- Decoder. ---

// Decodes the prepared run both ways and compares everything the decoder
// writes.
void expect_same_decoding(const RunParams& p) {
  PreparedRun prepared(p);
  prepared.prepare();
  mtsim::Run& run = prepared.run();
  auto fast = std::make_unique<DecoderState>(run.frame.decoder);
  decode_reference(run.frame.decoder, run.frame.streams, p.ndkdd, p.iterat);
  decode_fast(*fast, run.frame.streams, p.ndkdd, p.iterat);
  const DecoderState& ref = run.frame.decoder;
  const std::string what = describe(p);
  EXPECT_EQ(fast->counts, ref.counts) << what;
  EXPECT_EQ(fast->dec_pos, ref.dec_pos) << what;
  EXPECT_EQ(fast->rcv_pos, ref.rcv_pos) << what;
  for (int32_t k = 0; k < NUM_INF; ++k) {
    EXPECT_TRUE(same_ring(fast->dec[k], ref.dec[k])) << what << " dec " << k;
    EXPECT_TRUE(same_ring(fast->dif[k], ref.dif[k])) << what << " dif " << k;
    EXPECT_TRUE(same_ring(fast->sum[k], ref.sum[k])) << what << " sum " << k;
  }
  EXPECT_TRUE(same_ring(fast->syn1, ref.syn1)) << what;
  EXPECT_TRUE(same_ring(fast->syn2, ref.syn2)) << what;
}

TEST(FastDecoderTest, SameAsReferenceOverRandomRuns) {
  std::mt19937 gen(20261206);
  const double levels[] = {2.0, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};
  for (int32_t i = 0; i < 12; ++i) {
    RunParams p;
    p.kst = static_cast<int32_t>(gen());
    p.infind = 1 + static_cast<int32_t>(gen() % 3);
    p.ndkdd = 20000 + static_cast<int32_t>(gen() % 20000);
    p.iterat = 3 + static_cast<int32_t>(gen() % 13);
    p.AN = levels[gen() % 7];
    p.npacketll = static_cast<int32_t>(gen() % 201);
    expect_same_decoding(p);
  }
}

TEST(FastDecoderTest, SameAsReferenceAtTheEdges) {
  // The shortest run; a run that wraps the rings several times with the
  // most iterations, a long error packet and many flips; the default run.
  expect_same_decoding({0, 3, 20000, 3, 3.0, 0});
  expect_same_decoding({0, 3, 20000, 15, 2.0, 200});
  expect_same_decoding({-5, 3, 110000, 15, 2.0, 200});
  expect_same_decoding({0, 3, 520000, 8, 3.0, 0});
}

TEST(FastDecoderTest, DecodingInTwoCallsMatchesOneReferenceCall) {
  // The second call starts mid-run, from a state that is not freshly
  // prepared.
  RunParams p;
  p.ndkdd = 50000;
  p.AN = 2.5;
  PreparedRun prepared(p);
  prepared.prepare();
  mtsim::Run& run = prepared.run();
  auto fast = std::make_unique<DecoderState>(run.frame.decoder);
  decode_reference(run.frame.decoder, run.frame.streams, 50000, 8);
  decode_fast(*fast, run.frame.streams, 30000, 8);
  decode_fast(*fast, run.frame.streams, 20000, 8);
  EXPECT_EQ(fast->counts, run.frame.decoder.counts);
  for (int32_t k = 0; k < NUM_INF; ++k) EXPECT_TRUE(same_ring(fast->sum[k], run.frame.decoder.sum[k]));
}

// --- The whole program both ways. ---

// The results file of a whole run, without the lines that carry times.
std::string results_without_times(Kernels kernels, const char* params) {
  char* text = nullptr;
  size_t size = 0;
  std::FILE* results = open_memstream(&text, &size);
  std::FILE* in = fmemopen(const_cast<char*>(params), std::strlen(params), "r");
  std::FILE* devnull = std::fopen("/dev/null", "w");
  {
    auto run = Run::create(in, std::make_unique<ReportWriter>(devnull, results, devnull));
    run->kernels = kernels;
    run->execute();
  }  // the writer closes the results stream
  std::fclose(in);
  std::fclose(devnull);
  std::string out;
  for (const char* line = text; *line != '\0';) {
    const char* end = std::strchr(line, '\n');
    const std::string one(line, end != nullptr ? end + 1 : line + std::strlen(line));
    if (one.find(" ms") == std::string::npos && one.find("speed") == std::string::npos &&
        one.find("start time") == std::string::npos) {
      out += one;
    }
    line += one.size();
  }
  std::free(text);
  return out;
}

TEST(FastKernelsTest, WholeRunReportsTheSameResults) {
  const char* params = "code=1 kst=42 infind=3 ndkdd=60000 iterat=10 AN=2.5 npacketll=120 lim88=0";
  const std::string ref = results_without_times(Kernels::kReference, params);
  EXPECT_NE(ref.find("packet length=120"), std::string::npos);
  EXPECT_EQ(results_without_times(Kernels::kFast, params), ref);
}

}  // namespace
}  // namespace mtsim
