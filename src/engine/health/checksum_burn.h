#pragma once
// The checksum file a burn adds to the root of the new session: SHA-256 of
// every file of the compilation. Files imported from an earlier session
// keep the lines of that session's checksum file.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/result.h"

namespace engine {
class TKavoBurner;
}

namespace health {

// The checksum file on the local disk while the burn reads it; removed
// with its folder when destroyed.
class ChecksumAttachment {
 public:
  explicit ChecksumAttachment(std::string folder) : FFolder(std::move(folder)) {}
  ~ChecksumAttachment();
  ChecksumAttachment(const ChecksumAttachment&) = delete;
  ChecksumAttachment& operator=(const ChecksumAttachment&) = delete;
  std::size_t Hashed = 0;   // files hashed from their sources
  std::size_t Carried = 0;  // lines kept from the earlier session
  std::size_t Unlisted = 0;  // imported files the earlier session listed no checksum for

 private:
  std::string FFolder;
};

struct ChecksumCallbacks {
  std::function<bool()> Cancelled;
  std::function<void(std::uint64_t doneBytes, std::uint64_t totalBytes)> Progress;
};

// Imports the earlier session first when the burner is set to (and then
// clears SessionToImport, so the burn does not import it again over the
// new checksum file). Fails when a source file already has the checksum
// file's name, when a source cannot be read, or when cancelled.
base::Result<std::unique_ptr<ChecksumAttachment>> AttachChecksumFile(engine::TKavoBurner& burner,
                                                                     const ChecksumCallbacks& callbacks);

// A burn without checksums over an earlier session: the earlier checksum
// file would describe files this session replaces, and a later check would
// call them damaged. It is written again with the lines of the imported
// files it lists, and left out when none is left; new files are unlisted.
// Imports the earlier session first as AttachChecksumFile does. Gives no
// attachment when there is no checksum file to keep.
base::Result<std::unique_ptr<ChecksumAttachment>> KeepChecksumFileCurrent(engine::TKavoBurner& burner);

}  // namespace health
