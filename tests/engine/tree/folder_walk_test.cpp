// Folders listed ahead of the walk: every listing the walk takes is the one
// it would have made itself, and adding a tree raises the same events in the
// same order as a plain depth-first walk (subfolders first, then files).
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/folder_prefetch.h"
#include "tree_fixture.h"

namespace {

using treetest::FolderAdd;
using treetest::Strings;

const std::string kSep(1, platform::kPathSeparator);

void MakeTree(testsupport::TempDir& dir) {
  for (int a = 0; a < 4; ++a)
    for (int b = 0; b < 3; ++b) {
      const std::string folder = "src/d" + std::to_string(a) + "/e" + std::to_string(b);
      for (int f = 0; f < 3; ++f) dir.Write(folder + "/x" + std::to_string(f) + ".txt", "x");
      dir.MakeDir(folder + "/empty");
      if (b == 1) dir.Write(folder + "/deep/deeper/z.dat", "zz");
    }
  dir.Write("src/top.txt", "t");
}

Strings NamesOf(const std::vector<platform::FindData>& items) {
  Strings names;
  for (const auto& i : items) names.push_back(i.Name + ((i.Attributes & platform::kAttrDirectory) ? "/" : ""));
  return names;
}

class Prefetch : public treetest::TreeTest {
 protected:
  // A depth-first walk through the prefetch that passes over every third
  // folder; each listing is checked against one made on the spot.
  void Walk(engine::FolderPrefetch& ahead, const std::string& folder, int& seen) {
    const auto items = ahead.Take(folder);
    EXPECT_EQ(NamesOf(items), NamesOf(engine::ListFolder(folder, false))) << folder;
    std::vector<std::string> subs;
    for (const auto& i : items)
      if ((i.Attributes & platform::kAttrDirectory) != 0) subs.push_back(folder + i.Name + kSep);
    // The prefetch gets ahead of the walk by a listing at least before it
    // goes on; the listings must not depend on how far it got.
    const std::size_t listed = ahead.ListedAhead();
    if (ahead.Request(subs) > 0) {
      EXPECT_TRUE(ahead.WaitListedAhead(listed + 1, std::chrono::seconds(20)));
    }
    for (const auto& s : subs) {
      if (++seen % 3 == 0) {
        ahead.Drop(s);
        continue;
      }
      Walk(ahead, s, seen);
    }
  }
};

TEST_F(Prefetch, ListingsMatchThoseMadeOnTheSpotWithAnyBound) {
  MakeTree(Dir);
  for (const std::size_t bound : {std::size_t{1}, std::size_t{3}, std::size_t{1000}}) {
    engine::FolderPrefetch ahead(false, 4, bound);
    int seen = 0;
    Walk(ahead, Src("src") + kSep, seen);
    EXPECT_GT(seen, 15);
    EXPECT_GT(ahead.ListedAhead(), 0u) << "bound " << bound;
  }
  // Without workers everything is listed by the walk itself.
  engine::FolderPrefetch none(false, 0, 1000);
  int seen = 0;
  Walk(none, Src("src") + kSep, seen);
  EXPECT_EQ(none.ListedAhead(), 0u);
}

// The events of adding a tree against a plain walk over the same listings,
// with a handler that passes over some folders.
TEST_F(FolderAdd, EventsComeInTheOrderOfAPlainDepthFirstWalk) {
  MakeTree(Dir);
  Strings events;
  Burner.OnAddDir = [&](engine::TKavoBurner&, std::string& longName, std::string&, bool& skip) {
    events.push_back("dir " + longName);
    skip = longName == "e2";
  };
  Burner.OnAddFile = [&](engine::TKavoBurner&, const std::string& source, std::string&, std::string&,
                         iso::TDateTime&, std::uint32_t, std::int64_t, bool&) { events.push_back("file " + source); };
  ASSERT_EQ(AddSrc("\\"), 1);

  Strings expected;
  const std::function<void(const std::string&)> plain = [&](const std::string& folder) {
    const auto items = engine::ListFolder(folder, false);
    for (const auto& i : items) {
      if ((i.Attributes & platform::kAttrDirectory) == 0) continue;
      expected.push_back("dir " + i.Name);
      if (i.Name != "e2") plain(folder + i.Name + kSep);
    }
    for (const auto& i : items)
      if ((i.Attributes & platform::kAttrDirectory) == 0) expected.push_back("file " + folder + i.Name);
  };
  plain(Src("src") + kSep);
  EXPECT_EQ(events, expected);
  EXPECT_EQ(Entry("\\d0", "e2"), nullptr);
  EXPECT_NE(Entry("\\d3\\e1\\deep\\deeper", "z.dat"), nullptr);
  EXPECT_EQ(Entry("\\d0\\e0", "empty"), nullptr) << "empty folders stay out";

  // The same add again into another folder: the same events, the same tree.
  Burner.MakeCompilationDir("\\", "Again");
  const Strings first = events;
  events.clear();
  ASSERT_EQ(AddSrc("\\Again"), 1);
  EXPECT_EQ(events, first);
  EXPECT_EQ(SortedNames("\\Again\\d1\\e1"), SortedNames("\\d1\\e1"));
}

}  // namespace
