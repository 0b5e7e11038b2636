#include "Extension.h"

namespace orvane {

Extension::Extension() : OrvaneObject("extension") {}

Extension::~Extension() = default;

Result<void> Extension::initialize(const OVAnyMap&) { return Result<void>::success(); }

Result<void> Extension::deinitialize() { return Result<void>::success(); }

}  // namespace orvane
