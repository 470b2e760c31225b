#pragma once
// The source of a disc copy: the disc in another drive, as the platform
// mounts it (a real drive's mount point), or read sector by sector through
// the engine (a virtual recorder). Nothing is staged on disk; the files go
// straight from the source disc into the destination's compilation.
// OpenDiscCopySource reads the disc: call it off the window's thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/cancel_token.h"
#include "base/result.h"

namespace engine {
class TKavoBurner;
}

namespace appcore {

struct DiscCopySource {
  std::string Label;        // the volume label of the source disc
  std::string Error;        // empty when the disc can be copied; else the message for the person
  std::string DisplayPath;  // where the files come from: a mount point, or the drive's location
  std::uint64_t TotalBytes = 0;  // of all files on the source
  // Adds the source's files to the root of `destination`'s compilation
  // (after its reset). Reads the disc again: call it off the window's thread.
  // Empty when Error is set.
  std::function<base::Status(engine::TKavoBurner& destination)> AddToCompilation;
};

// `sourceDescription`: a line of the burner's drive list. `burner` is the
// program's burner (its transport lists the drives); its selection is left
// alone. A cancel makes the result an error.
DiscCopySource OpenDiscCopySource(engine::TKavoBurner& burner, const std::string& sourceDescription,
                                  const base::CancelToken* cancel);

}  // namespace appcore
