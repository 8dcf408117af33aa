// Frames: the configuration, the Simulator that runs one frame at a time,
// and frames(), many frames on worker threads.
#include <pybind11/numpy.h>
#include <pybind11/operators.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "bindings.h"
#include "sim/frame/frame.h"
#include "sweep/rounds/frame_pool.h"

namespace mtsim_python {

namespace {

using mtsim::FrameConfig;
using mtsim::FrameCounts;

FrameConfig make_config(double an, int64_t iterat, int64_t ndkdd, int64_t npacketll, int64_t infind) {
  const FrameConfig c{int32_argument("infind", infind), int32_argument("ndkdd", ndkdd),
                      int32_argument("iterat", iterat), an, int32_argument("npacketll", npacketll)};
  check_config(c);
  return c;
}

std::string config_repr(const FrameConfig& c) {
  return "FrameConfig(an=" + py::repr(py::float_(c.AN)).cast<std::string>() +
         ", iterat=" + std::to_string(c.iterat) + ", ndkdd=" + std::to_string(c.ndkdd) +
         ", npacketll=" + std::to_string(c.npacketll) + ", infind=" + std::to_string(c.infind) + ")";
}

py::array_t<int64_t> table_array(const FrameCounts& counts) {
  const auto table = counts.result_table();
  py::array_t<int64_t> a(static_cast<py::ssize_t>(table.size()));
  std::copy(table.begin(), table.end(), a.mutable_data());
  return a;
}

// Python threads may share a simulator, and run() lets go of the GIL:
// frames of one simulator take turns.
class SharedSimulator {
 public:
  explicit SharedSimulator(const FrameConfig& config) : simulator_(config) {}

  FrameCounts run(int64_t kst) {
    const int32_t seed = int32_argument("kst", kst);
    FrameCounts counts;
    {
      py::gil_scoped_release released;
      const std::lock_guard lock(busy_);
      counts = simulator_.run(seed);
    }
    // A Ctrl-C during the frame has only been noted by Python's handler.
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    return counts;
  }

  const FrameConfig& config() const { return simulator_.config(); }

 private:
  std::mutex busy_;
  mtsim::Simulator simulator_;
};

py::array_t<int64_t> run_frames(const FrameConfig& config, const std::vector<int64_t>& seeds,
                                std::optional<int64_t> threads) {
  std::vector<int32_t> kst;
  kst.reserve(seeds.size());
  for (const int64_t seed : seeds) kst.push_back(int32_argument("seeds", seed));
  const int workers = thread_count(threads);
  std::vector<FrameCounts> counts(kst.size());
  if (!kst.empty()) {
    mtsweep::StopRequest stop;
    PythonChecks checks(stop);
    {
      py::gil_scoped_release released;
      // No more workers than frames: each one builds a 29 MB simulator.
      mtsweep::FramePool pool(
          static_cast<int>(std::min<size_t>(static_cast<size_t>(workers), kst.size())));
      pool.run(config, kst, counts, stop, [&checks](int64_t) { checks.check(); });
    }
    checks.finish();
  }
  const auto columns = static_cast<size_t>(config.iterat + 3);
  py::array_t<int64_t> rows(
      {static_cast<py::ssize_t>(kst.size()), static_cast<py::ssize_t>(columns)});
  int64_t* out = rows.mutable_data();
  for (const FrameCounts& c : counts) out = std::copy_n(c.table.begin(), columns, out);
  return rows;
}

}  // namespace

void bind_frames(py::module_& m) {
  const FrameConfig d;
  py::class_<FrameConfig>(m, "FrameConfig", R"(The settings of a frame, checked as the simulator checks them.

an         Es/N0 in dB: 2.0 ... 5.0, or 25.0 for a practically noiseless channel.
iterat     decoder iterations, 3 ... 15.
ndkdd      time steps of six information bits, 20000 ... 520000.
npacketll  error packet length in bits, at most 200 (below 8: no packet).
infind     source: 3 random, 2 fixed pattern, 1 ones, 0 (or below) zeros.

These are the values mtsim runs after it reads a parameter file (its AN,
iterat, ndkdd, npacketll and infind).  A value out of range raises
ValueError naming the setting.)")
      .def(py::init(&make_config), py::arg("an") = d.AN, py::arg("iterat") = d.iterat,
           py::arg("ndkdd") = d.ndkdd, py::arg("npacketll") = d.npacketll,
           py::arg("infind") = d.infind)
      .def_property_readonly("an", [](const FrameConfig& c) { return c.AN; })
      .def_readonly("iterat", &FrameConfig::iterat)
      .def_readonly("ndkdd", &FrameConfig::ndkdd)
      .def_readonly("npacketll", &FrameConfig::npacketll)
      .def_readonly("infind", &FrameConfig::infind)
      .def(py::self == py::self)
      .def("__hash__",
           [](const FrameConfig& c) {
             return py::hash(py::make_tuple(c.AN, c.iterat, c.ndkdd, c.npacketll, c.infind));
           })
      .def("__repr__", &config_repr);

  py::class_<FrameCounts>(m, "FrameCounts", R"(What one frame counted.

table         the result table that mtsim prints after "packet length", iterat + 3
              numbers (int64): [0] information bits decoded, [1] information and
              [2] check bits wrong at the decoder input, [3 + j] information bits
              still wrong after iteration j.
inftot        information bits sent.
inf_weight    1 bits among them.
check_weight  1 bits among the check bits.
inferr        information symbols the channel inverted (the error packet aside).
isaerr        check symbols the channel inverted.)")
      .def_property_readonly("table", &table_array)
      .def_readonly("inftot", &FrameCounts::inftot)
      .def_readonly("inf_weight", &FrameCounts::inf_weight)
      .def_readonly("check_weight", &FrameCounts::check_weight)
      .def_readonly("inferr", &FrameCounts::inferr)
      .def_readonly("isaerr", &FrameCounts::isaerr)
      .def("__repr__", [](const FrameCounts& c) {
        return "FrameCounts(table=" + py::repr(table_array(c).attr("tolist")()).cast<std::string>() +
               ", inferr=" + std::to_string(c.inferr) + ", isaerr=" + std::to_string(c.isaerr) + ")";
      });

  py::class_<SharedSimulator>(m, "Simulator", R"(Runs frames of one configuration.

The simulator allocates its buffers (about 29 MB) once and reuses them for
every frame: build one and call run() for each seed.)")
      .def(py::init<const FrameConfig&>(), py::arg("config"))
      .def("run", &SharedSimulator::run, py::arg("kst"),
           R"(The frame with noise seed kst (a 32-bit integer): its FrameCounts, the
numbers mtsim prints for a parameter file with the same settings and kst.
Runs without the GIL; threads that share a simulator take turns.)")
      .def_property_readonly("config", &SharedSimulator::config);

  m.def("frames", &run_frames, py::arg("config"), py::arg("seeds"), py::arg("threads") = py::none(),
        R"(Runs one frame per seed on worker threads.

Returns an int64 array of shape (len(seeds), config.iterat + 3): row i is
the result table of the frame with kst = seeds[i], the same for any number
of threads.  seeds is any sequence of 32-bit integers, in any order.
threads: 1 ... 1024, by default the cores this process may run on.  Each
call builds its workers' simulators (29 MB each, about a frame's time):
hand it many seeds at once.  Runs without the GIL; Ctrl-C raises KeyboardInterrupt within a frame's time.)");
}

}  // namespace mtsim_python
