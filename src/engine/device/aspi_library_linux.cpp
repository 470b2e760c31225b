#include "engine/device/aspi_library.h"

namespace device {

// ASPI libraries are Windows components; Linux drives go through SG_IO.
std::shared_ptr<TAspiLayer> LoadAspiLibrary(const std::string&, std::string&) { return nullptr; }

}  // namespace device
