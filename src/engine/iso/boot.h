#pragma once
// El Torito: the boot record volume descriptor and the boot catalog, whose
// single entry points at a floppy or hard-disk image copied after it.
#include <array>
#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "engine/iso/records.h"

namespace iso {

// El Torito 2.0: boot record volume descriptor.
struct BootRecordDescriptor {
  std::uint8_t Type = 0;
  std::array<std::uint8_t, 5> StandardId{};
  std::uint8_t Version = 0;
  std::array<std::uint8_t, 32> BootSystemId{};
  std::array<std::uint8_t, 32> BootId{};
  base::Le32 CatalogSector;
  std::array<std::uint8_t, 1973> Unused75{};
};
static_assert(sizeof(BootRecordDescriptor) == kSectorSize);

// El Torito 2.1: validation entry, the catalog's first 32 bytes.
struct ValidationEntry {
  std::uint8_t HeaderId = 0;
  std::uint8_t PlatformId = 0;
  std::array<std::uint8_t, 2> Reserved{};
  std::array<std::uint8_t, 24> IdString{};
  base::Le16 Checksum;
  std::uint8_t Key55 = 0;
  std::uint8_t KeyAA = 0;
};
static_assert(sizeof(ValidationEntry) == 32);

// El Torito 2.2: initial/default entry.
struct InitialEntry {
  std::uint8_t BootIndicator = 0;
  std::uint8_t MediaType = 0;
  base::Le16 LoadSegment;
  std::uint8_t SystemType = 0;
  std::uint8_t Unused5 = 0;
  base::Le16 SectorCount;
  base::Le32 LoadRba;
  std::array<std::uint8_t, 20> Unused12{};
};
static_assert(sizeof(InitialEntry) == 32);

struct BootCatalog {
  ValidationEntry Validation;
  InitialEntry Initial;
  std::array<std::uint8_t, kSectorSize - 64> Unused64{};
};
static_assert(sizeof(BootCatalog) == kSectorSize);

// El Torito 2.2, boot media type.
enum class BootMedia : std::uint8_t { Floppy12 = 1, Floppy144 = 2, Floppy288 = 3, HardDisk = 4 };

// Images of exactly a floppy's sector count are emulated as that floppy;
// anything else as a hard disk.
BootMedia BootMediaFor(std::uint32_t imageSectors);

std::vector<std::uint8_t> MakeBootRecord(std::uint32_t catalogSector);
std::vector<std::uint8_t> MakeBootCatalog(std::uint32_t imageSector, std::uint32_t imageSectors);

}  // namespace iso
