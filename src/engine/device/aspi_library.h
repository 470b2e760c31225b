#pragma once
// Loading an ASPI library at run time as a transport layer.
#include <memory>
#include <string>
#include <vector>

#include "engine/device/transport.h"

namespace device {

inline constexpr const char* kAspiExportSupportInfo = "GetASPI32SupportInfo";
inline constexpr const char* kAspiExportSend = "SendASPI32Command";

// The names tried, in order: the caller's path when not empty, then
// ".\WNASPI32.DLL" and "WNASPI32.DLL", each found the way the system finds
// libraries.
std::vector<std::string> AspiLibrarySearchOrder(const std::string& dllPath);

// The first library of the search order that loads and has both entry
// points, as a layer; null when none does. A library that loads without an
// entry point is let go again and named in `problem`. Linux has no such
// libraries and always answers null.
std::shared_ptr<TAspiLayer> LoadAspiLibrary(const std::string& dllPath, std::string& problem);

}  // namespace device
