#pragma once
// Virtual recorders in the drive table: one per disc file named in
// ZANTIC_VDISC (":"-separated), or one whose disc lives in the per-user data
// folder, made a blank DVD+R the first time.
#include <memory>
#include <string>
#include <vector>

#include "vdrive/drive.h"

namespace vdrive {

inline constexpr const char* kProviderName = "vdrive";

// $XDG_DATA_HOME/zantic/vdisc.zvd, else ~/.local/share/zantic/vdisc.zvd; empty without a home.
std::string DefaultDiscPath();
// The disc files the recorders use, in order.
std::vector<std::string> ConfiguredDiscs();
// The one recorder of this process for a disc file.
std::shared_ptr<TVirtualRecorder> RecorderFor(const std::string& discPath);
// Called once at program start; real drives stay listed first.
void RegisterVirtualRecorders();
void UnregisterVirtualRecorders();

}  // namespace vdrive
