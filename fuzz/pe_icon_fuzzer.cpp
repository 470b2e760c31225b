// libFuzzer target: arbitrary bytes as a Windows executable whose first
// icon group is looked for, then rebuilt as an .ico file.
#include <cstddef>
#include <cstdint>
#include <span>

#include "appcore/pe_icon.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto group = appcore::FirstIconGroup(std::span<const std::uint8_t>(data, size));
  if (group.Status == appcore::PeIconStatus::Ok) {
    appcore::ClosestIcon(group.Images, 32);
    const auto ico = appcore::BuildIcoFile(group.Images);
    if (ico.size() < 6) __builtin_trap();
  }
  return 0;
}
