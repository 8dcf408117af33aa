// The compiled core of the Python package mtsim (mtsim/__init__.py holds
// the Python layer over it).
#include "bindings.h"

PYBIND11_MODULE(_core, m) {
  m.doc() = "The simulator library and the sweep engine, compiled (use the package mtsim).";
  m.attr("__version__") = MTSIM_VERSION;
  mtsim_python::bind_frames(m);
  mtsim_python::bind_sweep(m);
  mtsim_python::bind_estimates(m);
}
