#include "asio/DriverRegistration.h"

namespace quoril {

// Scaffolding until plug-in loading is built: registers nothing.
int registerBundledDrivers(Registry&, const std::string&, std::string&) { return 0; }

}  // namespace quoril
