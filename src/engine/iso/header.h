#pragma once
// The header stream: system area, volume descriptors, path tables and
// directory records of one session, as bytes in sector order.
#include <cstdint>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/iso/compilation_tables.h"
#include "engine/iso/layout.h"
#include "platform/time_zone.h"

namespace iso {

struct VolumeIdentifiers {
  std::string System;
  std::string Volume;
  std::string VolumeSet;
  std::string Publisher;
  std::string Preparer;
  std::string Application;
  std::string CopyrightFile;
  std::string AbstractFile;
  std::string BibliographicFile;
  TDateTime JolietCreation = 0;
  TDateTime JolietModification = 0;
};

struct HeaderInput {
  const CompilationTables* Tables = nullptr;
  const SessionLayout* Layout = nullptr;
  VolumeIdentifiers Ids;
  std::int8_t TimeZoneOffset = 0;  // 15-minute steps east of UTC, for "." and ".." (now)
  // The current time, read once for the "." and ".." records and read twice
  // for the primary descriptor's creation and modification dates.
  platform::CivilTime Now;
  platform::CivilTime NowAgain;
  // Boot record and catalog sectors, present when the layout is bootable.
  std::vector<std::uint8_t> BootRecord;
  std::vector<std::uint8_t> BootCatalog;
};

struct HeaderStream {
  std::vector<std::uint8_t> Bytes;
  // System area and descriptors, kept for media overwritten in place.
  std::vector<std::uint8_t> DescriptorCopy;
};

base::Result<HeaderStream> BuildHeaderStream(const HeaderInput& in);

// ECMA-119 9.1.5: seven-byte recording date; zeros when the date cannot be
// expressed (years before 1900 or after 2155).
std::array<std::uint8_t, 7> RecordDate(TDateTime value, std::int8_t tzOffset);
// ECMA-119 8.4.26.1: 16 digits and an offset byte.
std::array<std::uint8_t, 17> DescriptorDate(const platform::CivilTime& t);

}  // namespace iso
