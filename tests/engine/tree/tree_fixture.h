#pragma once
// A burner with its messages captured and a scratch folder for source files.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/kavo_burner.h"
#include "platform/file_find.h"
#include "support/temp_dir.h"

namespace treetest {

struct Message {
  std::string Text;
  std::uint8_t Kind = 0;
};

class TreeTest : public ::testing::Test {
 protected:
  TreeTest() {
    Burner.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& text, std::uint8_t kind) {
      Messages.push_back({text, kind});
    };
  }

  // Long names of a directory's entries in list order.
  static std::vector<std::string> Names(const iso::TDEntry* dir) {
    std::vector<std::string> names;
    for (const iso::TFEntry* e = dir->FirstChild; e != nullptr; e = e->Next) names.push_back(e->LongName);
    return names;
  }

  const iso::TFEntry* Entry(const std::string& dirPath, const std::string& longName) const {
    const iso::TDEntry* dir = Burner.FindCompilationDir(dirPath);
    return dir == nullptr ? nullptr : Burner.Tables().FindEntry(*dir, longName);
  }

  // A path below the scratch folder in the system's own spelling, as the
  // engine builds source paths.
  std::string Src(std::string relative) const {
    std::replace(relative.begin(), relative.end(), '/', platform::kPathSeparator);
    return Dir.Str() + platform::kPathSeparator + relative;
  }

  engine::TKavoBurner Burner;
  testsupport::TempDir Dir;
  std::vector<Message> Messages;
};

using Strings = std::vector<std::string>;

constexpr std::uint32_t kAllAttributes = 63;

class FolderAdd : public TreeTest {
 protected:
  std::uint8_t AddSrc(const std::string& dest, std::uint32_t mask = kAllAttributes, const std::string& fileMask = "*.*",
                      bool recurse = true, bool archiveOnly = false) {
    return Burner.AddFolderToCompilation(dest, Src("src"), archiveOnly, false, recurse, mask, fileMask);
  }
  // Listing order is the file system's, so compare names as sets.
  static Strings Sorted(Strings v) {
    std::sort(v.begin(), v.end());
    return v;
  }
  Strings SortedNames(const std::string& path) const {
    const iso::TDEntry* d = Burner.FindCompilationDir(path);
    return d == nullptr ? Strings{"<missing>"} : Sorted(Names(d));
  }
};

class MeasureSize : public TreeTest {};

}  // namespace treetest
