#pragma once
// Virtual recorders in the drive table: one per disc file named in
// ZANTIC_VDISC (separated by ":" on Linux, ";" on Windows), or one whose
// disc lives in the per-user data folder, made a blank DVD+R the first time.
#include <memory>
#include <string>
#include <vector>

#include "engine/device/passthrough_drive.h"
#include "vdrive/drive.h"

namespace vdrive {

inline constexpr const char* kProviderName = "vdrive";

// zantic/vdisc.zvd in the per-user data folder (platform::UserDataFolder);
// empty without one.
std::string DefaultDiscPath();
// The disc files the recorders use, in order.
std::vector<std::string> ConfiguredDiscs();
// The one recorder of this process for a disc file.
std::shared_ptr<TVirtualRecorder> RecorderFor(const std::string& discPath);
// The built-in layer's handle on a recorder (unaddressed, named by its disc file).
std::unique_ptr<device::TPassThroughDrive> MakePassThroughDrive(std::shared_ptr<TVirtualRecorder> recorder);
// Called once at program start; real drives stay listed first.
void RegisterVirtualRecorders();
// One recorder for `discPath` alone, whatever ZANTIC_VDISC says: the drive a
// command names by its disc file. Any character may be in the path.
void RegisterVirtualRecorderFor(const std::string& discPath);
void UnregisterVirtualRecorders();

}  // namespace vdrive
