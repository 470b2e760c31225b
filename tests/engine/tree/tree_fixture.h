#pragma once
// A burner with its messages captured and a scratch folder for source files.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/kavo_burner.h"
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

  std::string Src(const std::string& relative) const { return Dir.Str() + "/" + relative; }

  engine::TKavoBurner Burner;
  testsupport::TempDir Dir;
  std::vector<Message> Messages;
};

}  // namespace treetest
