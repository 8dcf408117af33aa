// The channel's capacity, rate and error-probability estimates.
#include <pybind11/stl.h>

#include "bindings.h"
#include "sim/channel/estimates.h"
#include "sim/frame/frame.h"

namespace mtsim_python {

namespace {

mtsim::ChannelEstimates estimates_at(double an) {
  // The AN a frame may run at, refused in the frame's own words.
  mtsim::FrameConfig config;
  config.AN = an;
  check_config(config);
  return mtsim::channel_estimates(an);
}

}  // namespace

void bind_estimates(py::module_& m) {
  using mtsim::ChannelEstimates;
  py::class_<ChannelEstimates>(m, "ChannelEstimates", R"(The channel estimates that mtsim prints for an AN.

p8, p16      hard-decision error probability of the 8- and 16-level pass
             (mtsim prints 1e6 p8 // 1000 as "new mpch", 1e6 p16 as "MPCH test")
C8, C16      capacity in bits per channel symbol with 8 and 16 levels
R8, R16      cutoff rates R0 with 8 and 16 levels
C2_8, R1_8   capacity and cutoff rate of hard decisions, from the 8-level pass
C2_16, R1_16 the same from the 16-level pass
scan         the eleven trials of the 16-level quantizer's step: (the error
             probability printed as "your noice level", the R16 printed after it))")
      .def_readonly("p8", &ChannelEstimates::p8)
      .def_readonly("C8", &ChannelEstimates::C8)
      .def_readonly("R8", &ChannelEstimates::R8)
      .def_property_readonly("C2_8", [](const ChannelEstimates& e) { return e.hard8.C2; })
      .def_property_readonly("R1_8", [](const ChannelEstimates& e) { return e.hard8.R1; })
      .def_readonly("p16", &ChannelEstimates::p16)
      .def_readonly("C16", &ChannelEstimates::C16)
      .def_readonly("R16", &ChannelEstimates::R16)
      .def_property_readonly("C2_16", [](const ChannelEstimates& e) { return e.hard16.C2; })
      .def_property_readonly("R1_16", [](const ChannelEstimates& e) { return e.hard16.R1; })
      .def_property_readonly("scan",
                             [](const ChannelEstimates& e) {
                               py::list trials;
                               for (const mtsim::ScanTrial& t : e.scan) {
                                 trials.append(py::make_tuple(t.p_before, t.R16));
                               }
                               return trials;
                             })
      .def("__repr__", [](const ChannelEstimates& e) {
        return py::str("ChannelEstimates(p8={}, C8={}, R8={}, p16={}, C16={}, R16={})")
            .format(e.p8, e.C8, e.R8, e.p16, e.C16, e.R16)
            .cast<std::string>();
      });

  m.def("channel_estimates", &estimates_at, py::arg("an"),
        R"(The capacities, cutoff rates and error probabilities of the quantized
Gaussian channel at Es/N0 = an dB (2.0 ... 5.0, or 25.0), as mtsim prints
them before a frame.)");
}

}  // namespace mtsim_python
