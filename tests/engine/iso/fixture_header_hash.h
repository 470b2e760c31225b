#pragma once
// A fixed tree whose header stream was fingerprinted before Rock Ridge
// existed: with it off, the bytes must stay the same.
#include <cstdint>
#include <string>

#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "engine/iso/naming.h"

namespace isotest {

inline std::uint64_t FixtureHeaderHash(bool joliet) {
  iso::CompilationTables t;
  t.Reset(1000, 100);
  auto dir = [&](iso::TDEntry* parent, const std::string& name, std::uint32_t attributes) {
    iso::TFEntry* e = t.NewEntry(*parent, name);
    iso::TDEntry* d = t.NewDir(*e, *parent, iso::UpperKey(iso::JoinKey(parent->PathKey, name)));
    e->IsoName = d->IsoName = iso::ShortNameRule(name);
    d->LongName = name;
    e->Attributes = attributes;
    e->DateTime = 36925.5;
    return d;
  };
  auto file = [&](iso::TDEntry* parent, const std::string& name, std::int64_t size, std::uint32_t attributes) {
    iso::TFEntry* e = t.NewEntry(*parent, name);
    e->IsoName = iso::UpperKey(name);
    e->RecordedSize = e->SourceSize = size;
    e->Attributes = attributes;
    e->DateTime = 36925.0 + static_cast<double>(size % 1000) / 1000.0;
    e->TimeZoneOffset = 4;
    e->SourcePath = "/nowhere/" + name;
    return e;
  };
  iso::TDEntry* docs = dir(t.Root(), "Documents", 0x10);
  iso::TDEntry* hidden = dir(docs, ".config", 0x12);
  iso::TDEntry* deep = hidden;
  for (int i = 0; i < 10; ++i) deep = dir(deep, "level" + std::to_string(i), 0x10);
  file(deep, "bottom.txt", 5, 0x20);
  for (int i = 0; i < 150; ++i)
    file(docs, "report number " + std::to_string(i) + " with a longer name.txt", 1000 + i * 777, i % 3 == 0 ? 0x22 : 0x20);
  file(t.Root(), "README.", 0, 0x20);
  file(t.Root(), "Grüße aus Köln.txt", 4096, 0x21);
  file(t.Root(), std::string(105, 'n') + ".bin", 1, 0x20);
  file(t.Root(), "huge.img", 4294967296ll + 3, 0x20);
  iso::LayoutOptions options;
  options.Joliet = joliet;
  iso::SessionLayout layout = iso::ComputeLayout(t, options);
  iso::HeaderInput in;
  in.Tables = &t;
  in.Layout = &layout;
  in.TimeZoneOffset = 4;
  in.Now = platform::CivilTime{2024, 3, 5, 14, 7, 9, 754};
  in.NowAgain = platform::CivilTime{2024, 3, 5, 14, 7, 10, 0};
  auto built = iso::BuildHeaderStream(in);
  if (!built) return 0;
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (std::uint8_t b : built.Value().Bytes) h = (h ^ b) * 1099511628211ull;
  return h ^ built.Value().Bytes.size();
}

}  // namespace isotest
