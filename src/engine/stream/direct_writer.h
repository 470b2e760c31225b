#pragma once
// The direct .iso writer: header, boot image, padding and every file, on the
// caller's thread, into a temporary file that replaces the target only when
// the image is complete.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/iso/compilation_tables.h"
#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "engine/stream/read_ahead.h"

namespace stream {

struct DirectWriteInput {
  const iso::CompilationTables* Tables = nullptr;
  const iso::SessionLayout* Layout = nullptr;
  const iso::HeaderStream* Header = nullptr;
  std::string BootImagePath;  // read when the layout is bootable
  std::string OutputPath;
  std::function<void(const std::string& message, std::uint8_t kind)> Message;
  std::function<void(std::uint64_t done, std::uint64_t total)> Progress;
  std::function<bool()> Cancelled;
  // The files ahead are asked for in parallel (unset: the default window).
  std::optional<ReadAheadLimits> ReadAheadWindow;
};

struct DirectWriteResult {
  std::string Error;                      // empty: the image is complete and every file was read whole
  std::vector<std::string> DamagedFiles;  // sources that delivered fewer bytes than recorded
  bool ImageKept = false;                 // the target file holds the new image
};

DirectWriteResult WriteImageDirect(const DirectWriteInput& in);

// Removes "<target>.part-xxxxxxxx" files that a killed writer left: those no
// running writer holds locked. The writers lock theirs while they write.
void RemoveStalePartFiles(const std::string& target);

}  // namespace stream
