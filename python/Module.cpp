// The effects as Python classes over numpy arrays. Everything a call is given is checked
// before any sample is processed; samples are processed by the offline renderer with the GIL
// released. Each part of the binding lives in src/.

#include "src/Binding.h"

PYBIND11_MODULE(_native, module) {
    using namespace orvane::python;
    module.doc() = "The Orvane audio effects over numpy arrays.";
    module.attr("__version__") = ORVANE_VERSION;
    bindEffects(module);
    bindCatalogue(module);
    bindBatches(module);
}
