#include "engine/iso/boot.h"

#include <cstring>

#include "base/span_io.h"

namespace iso {
namespace {

template <typename Record>
std::vector<std::uint8_t> Bytes(const Record& r) {
  std::vector<std::uint8_t> out;
  out.reserve(sizeof(Record));
  base::ByteWriter(out).Put(r);
  return out;
}

// The sixteen little-endian words of the entry must sum to zero.
std::uint16_t ValidationChecksum(const ValidationEntry& e) {
  const auto bytes = Bytes(e);
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    sum = static_cast<std::uint16_t>(sum + (bytes[i] | bytes[i + 1] << 8));
  return static_cast<std::uint16_t>(0x10000 - sum);
}

}  // namespace

BootMedia BootMediaFor(std::uint32_t imageSectors) {
  switch (imageSectors) {
    case 600:  // 1,228,800 bytes
      return BootMedia::Floppy12;
    case 720:  // 1,474,560 bytes
      return BootMedia::Floppy144;
    case 1440:  // 2,949,120 bytes
      return BootMedia::Floppy288;
    default:
      return BootMedia::HardDisk;
  }
}

std::vector<std::uint8_t> MakeBootRecord(std::uint32_t catalogSector) {
  BootRecordDescriptor d;
  d.Type = 0;
  std::memcpy(d.StandardId.data(), "CD001", 5);
  d.Version = 1;
  const char system[] = "EL TORITO SPECIFICATION";
  std::memcpy(d.BootSystemId.data(), system, sizeof system - 1);  // the rest stays zero
  d.CatalogSector.Set(catalogSector);
  return Bytes(d);
}

std::vector<std::uint8_t> MakeBootCatalog(std::uint32_t imageSector, std::uint32_t imageSectors) {
  BootCatalog c;
  ValidationEntry& v = c.Validation;
  v.HeaderId = 1;
  v.PlatformId = 0;  // 80x86
  std::memcpy(v.IdString.data(), "Kavo", 4);
  v.Key55 = 0x55;
  v.KeyAA = 0xAA;
  v.Checksum.Set(ValidationChecksum(v));  // computed while the field is still zero

  InitialEntry& e = c.Initial;
  e.BootIndicator = 0x88;
  e.MediaType = static_cast<std::uint8_t>(BootMediaFor(imageSectors));
  e.LoadSegment.Set(0);  // 0 means the BIOS default, 7C0h
  e.SystemType = 0;
  e.SectorCount.Set(1);
  e.LoadRba.Set(imageSector);
  return Bytes(c);
}

}  // namespace iso
