#pragma once
// Small Windows executables for tests of the icon reader: DOS and PE
// headers, one ".rsrc" section, and an RT_GROUP_ICON naming RT_ICON
// resources. Built byte by byte from the PE/COFF layout, not with the
// reader's own structures.
#include <cstdint>
#include <vector>

namespace testsupport {

struct PeIconRecipe {
  std::uint16_t Id = 1;
  std::uint8_t Width = 32;   // 0 means 256
  std::uint8_t Height = 32;
  std::uint16_t BitCount = 32;
  std::vector<std::uint8_t> Data;  // the RT_ICON bytes (a DIB or a PNG)
};

struct PeRecipe {
  bool Pe32Plus = false;
  bool WithResources = true;
  bool WithGroup = true;
  std::vector<PeIconRecipe> Icons;
  // Group entries that name icons never stored.
  std::vector<std::uint16_t> MissingIds;
};

struct PeImage {
  std::vector<std::uint8_t> Bytes;
  std::size_t ResourceOffset = 0;  // file offset of the resource section, for tests that damage it
  std::size_t GroupDataOffset = 0;  // file offset of the GRPICONDIR
};

PeImage BuildPe(const PeRecipe& recipe);

// A 32-bit DIB as an icon resource holds it: BITMAPINFOHEADER with twice the
// height, BGRA rows bottom-up, then the AND mask (all visible).
std::vector<std::uint8_t> IconDib(std::uint32_t size, std::uint32_t bgra);

}  // namespace testsupport
