// Checksum files as written by a burn, and crafted ones read from a disc.
#include <gtest/gtest.h>

#include "engine/health/checksum_file.h"
#include "platform/sha256.h"

namespace {

const std::string kHex(64, 'a');

TEST(ChecksumFile, TheSystemSha256MatchesKnownDigests) {
  platform::Sha256 hash;
  ASSERT_TRUE(hash.Ok());
  EXPECT_EQ(platform::HexDigest(hash.Finish()), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  hash.Update("ab", 2);
  hash.Update("c", 1);
  EXPECT_EQ(platform::HexDigest(hash.Finish()), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(hash.Ok());
}

TEST(ChecksumFile, LinesRoundTripIncludingEscapedNames) {
  std::string text = health::ChecksumLine(kHex, "docs/read me.txt") + health::ChecksumLine(kHex, "a\\b\nc") +
                     std::string(64, 'B') + " *bin/x.bin\r\n";
  EXPECT_EQ(health::ChecksumLine(kHex, "a\\b\nc"), "\\" + kHex + "  a\\\\b\\nc\n");
  const auto list = health::ParseChecksumFile(text);
  EXPECT_TRUE(list.SetAside.empty());
  EXPECT_EQ(list.Order, (std::vector<std::string>{"docs/read me.txt", "a\\b\nc", "bin/x.bin"}));
  EXPECT_EQ(list.ByPath.at("bin/x.bin"), std::string(64, 'b'));
  // Every path up to the longest is written so that it reads back, even
  // when escaping doubles it; a longer one is set aside.
  for (const std::string& path : {std::string(8000, '\\'), std::string(health::kMaxChecksumPath, '\\'),
                                  std::string(health::kMaxChecksumPath - 1, 'x') + "\r"}) {
    const auto back = health::ParseChecksumFile(health::ChecksumLine(kHex, path));
    EXPECT_EQ(back.Order, std::vector<std::string>{path}) << back.SetAside.size();
  }
  const auto longer = health::ParseChecksumFile(kHex + "  " + std::string(health::kMaxChecksumPath + 1, 'x') + "\n");
  EXPECT_TRUE(longer.Order.empty());
  EXPECT_EQ(longer.SetAside.size(), 1u);
  EXPECT_EQ(health::PeerPath("dir.d/README."), "dir.d/README");
  EXPECT_EQ(health::PeerPath("a.txt"), "a.txt");
}

TEST(ChecksumFile, CraftedLinesAreSetAsideNeverFollowed) {
  std::string text;
  for (const char* path : {"../etc/passwd", "/etc/passwd", "a/../../b", "C:/x", "c:x", "./", "//", ""})
    text += kHex + "  " + path + "\n";
  text += kHex + "  " + std::string(20000, 'x') + "\n";  // huge line
  text += "zz" + kHex.substr(2) + "  a\n";                // not hex
  text += kHex + " a\n";                                  // one space
  text += "\\" + kHex + "  bad\\escape\n";
  text += kHex + "  dup\n" + kHex + "  ./dup\n";
  text += std::string("\0\0\0", 3) + "\n";
  const auto list = health::ParseChecksumFile(text);
  EXPECT_EQ(list.Order, (std::vector<std::string>{"dup"}));
  EXPECT_EQ(list.SetAside.size(), 14u);
  for (const auto& path : list.Order) EXPECT_EQ(path.find(".."), std::string::npos);
  EXPECT_EQ(health::NormalizeDiscPath("./a//b/./c"), "a/b/c");
  EXPECT_EQ(health::NormalizeDiscPath("a/.."), "");
}

TEST(ChecksumFile, AHundredThousandLinesParseQuickly) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += health::ChecksumLine(kHex, "d" + std::to_string(i % 100) + "/f" + std::to_string(i));
  const auto list = health::ParseChecksumFile(text);
  EXPECT_EQ(list.ByPath.size(), 100000u);
  EXPECT_TRUE(list.SetAside.empty());
}

}  // namespace
