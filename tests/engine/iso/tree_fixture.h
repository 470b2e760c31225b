#pragma once
// Builds compilation tables by hand, with exact ISO names and sizes and no
// files on disk, for the layout and header tests.
#include <cstdint>
#include <string>

#include "engine/iso/compilation_tables.h"
#include "engine/iso/naming.h"

namespace isotest {

inline constexpr std::uint32_t kDirAttr = 0x10;
inline constexpr std::uint32_t kHiddenAttr = 0x02;

struct Tree {
  iso::CompilationTables Tables;

  iso::TDEntry* Root() { return Tables.Root(); }

  iso::TDEntry* Dir(iso::TDEntry* parent, const std::string& longName, const std::string& isoName,
                    std::uint32_t attributes = kDirAttr) {
    iso::TFEntry* e = Tables.NewEntry(*parent, longName);
    iso::TDEntry* d = Tables.NewDir(*e, *parent, iso::UpperKey(iso::JoinKey(parent->PathKey, longName)));
    e->IsoName = d->IsoName = isoName;
    d->LongName = longName;
    e->Attributes = attributes;
    return d;
  }

  iso::TFEntry* File(iso::TDEntry* parent, const std::string& longName, const std::string& isoName,
                     std::int64_t size, std::uint32_t attributes = 0x20, iso::TDateTime date = 0) {
    iso::TFEntry* e = Tables.NewEntry(*parent, longName);
    e->IsoName = isoName;
    e->RecordedSize = e->SourceSize = size;
    e->Attributes = attributes;
    e->DateTime = date;
    e->SourcePath = "/nowhere/" + longName;
    return e;
  }
};

}  // namespace isotest
