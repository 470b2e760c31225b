#pragma once
// What a source named on a command line, or dropped on the window, becomes
// in the compilation: a folder a folder of its own name with everything in
// it, a file an entry of the root.
#include <string>

#include "engine/kavo_burner.h"

namespace appcore {

enum class SourceAdded {
  Added,        // entries refused inside a folder were reported one by one
  NotFound,     // no file or folder of that name
  FolderRefused,  // the folder's name cannot be a directory here (reported)
};

SourceAdded AddSource(engine::TKavoBurner& burner, const std::string& source);

// The name a folder source gets on the disc: its own last component; empty
// for a file-system root.
std::string SourceFolderName(const std::string& source);

}  // namespace appcore
