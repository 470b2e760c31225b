#pragma once
// The lines of the disc-information list: one per track of the disc, with
// its start and size, and a last line for the free space.
#include <string>
#include <vector>

#include "engine/iso/disc_source.h"

namespace engine {

std::vector<std::string> SessionListLines(iso::DiscSource& disc);

// Header of the list, in the same fixed-pitch columns.
inline constexpr const char* kSessionListHeader = " Number     Start     Size";

}  // namespace engine
