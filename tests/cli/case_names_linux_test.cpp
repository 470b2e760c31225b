// Names a Linux folder can hold side by side that differ only in case: both
// files reach the image, under their own Joliet names and ISO 9660 names
// made unique, as our reader and isoinfo read them back.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <memory>
#include <string>

#include "cli/build_iso.h"
#include "cli/options.h"
#include "engine/kavo_burner.h"
#include "support/iso_reader.h"
#include "support/temp_dir.h"

namespace {

namespace isoread = testsupport::isoread;

// Paths of one tree (version suffix dropped) to the file's bytes.
std::map<std::string, std::string> Files(const isoread::Image& img, bool joliet) {
  std::map<std::string, std::string> files;
  for (const auto& d : img.Descriptors()) {
    if (d.Type != (joliet ? 2 : 1)) continue;
    for (const auto& e : img.Tree(d.Root, joliet)) {
      if (e.Record.IsDirectory()) continue;
      std::string path = e.Path;
      if (const auto cut = path.rfind(";1"); cut != std::string::npos && cut + 2 == path.size()) path.resize(cut);
      const auto bytes = img.At(e.Record.Extent, e.Record.DataLength);
      files.emplace(path, std::string(bytes.begin(), bytes.end()));
    }
  }
  return files;
}

std::string Peer(const std::string& command) {
  std::string text;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return text;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, pipe.get())) text.append(buf, n);
  return text;
}

TEST(CaseNames, NamesThatDifferOnlyInCaseAllReachTheImage) {
  testsupport::TempDir dir;
  dir.Write("d/Same.txt", "upper");
  dir.Write("d/same.txt", "lower");
  dir.Write("d/SAME.TXT", "shout");
  dir.Write("d/same_1.txt", "a name like the made-up one");
  for (const bool joliet : {true, false}) {
    const std::string out = dir.Str() + (joliet ? "/j.iso" : "/plain.iso");
    std::vector<std::string> args{"-o", out, dir.Str() + "/d"};
    if (!joliet) args.insert(args.begin(), "--no-joliet");
    std::string error;
    auto options = cli::ParseBuildIso(args, error);
    ASSERT_TRUE(options) << error;
    engine::TKavoBurner burner;
    std::FILE* o = std::tmpfile();
    std::FILE* e = std::tmpfile();
    ASSERT_EQ(cli::RunBuildIso(burner, *options, o, e), cli::kExitOk);
    std::fclose(o);
    std::fclose(e);

    const auto img = isoread::Image::FromFile(out);
    if (joliet) {
      const auto names = Files(img, true);
      EXPECT_EQ(names.size(), 4u);
      EXPECT_EQ(names.at("d/Same.txt"), "upper");
      EXPECT_EQ(names.at("d/same.txt"), "lower");
      EXPECT_EQ(names.at("d/SAME.TXT"), "shout");
    }
    // The ISO 9660 tree: four distinct names, each holding one of the four files.
    const auto iso = Files(img, false);
    ASSERT_EQ(iso.size(), 4u);
    std::multiset<std::string> contents;
    for (const auto& [name, content] : iso) contents.insert(content);
    EXPECT_EQ(contents, (std::multiset<std::string>{"upper", "lower", "shout", "a name like the made-up one"}));

    const std::string listing = Peer("isoinfo -f -i '" + out + "' 2>/dev/null");
    if (listing.empty()) continue;  // no isoinfo here
    for (const auto& [name, content] : iso)
      EXPECT_NE(listing.find("/" + name + ";1"), std::string::npos) << name << "\n" << listing;
    if (joliet) {
      const std::string jolietListing = Peer("isoinfo -J -f -i '" + out + "' 2>/dev/null");
      for (const char* name : {"/d/Same.txt", "/d/same.txt", "/d/SAME.TXT"})
        EXPECT_NE(jolietListing.find(name), std::string::npos) << name << "\n" << jolietListing;
    }
  }
}

}  // namespace
