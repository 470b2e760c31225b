// Finding a drive's mount point in the mount table (a fake table stands
// for the system's; /dev/null for a drive's node).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/mount_table.h"
#include "support/temp_dir.h"

namespace {
class DriveMount : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetMountTableForTesting(""); }
  void Table(const std::string& text) {
    std::ofstream(Dir.Str() + "/mountinfo") << text;
    platform::SetMountTableForTesting(Dir.Str() + "/mountinfo");
  }
  testsupport::TempDir Dir;
};

TEST_F(DriveMount, OnlyDeviceNodesAreSystemDrives) {
  Table("");
  EXPECT_FALSE(platform::FindDriveMount("", 0).SystemDrive);
  EXPECT_FALSE(platform::FindDriveMount(Dir.Str() + "/absent", 0).SystemDrive);
  std::ofstream(Dir.Str() + "/disc.zvd") << "x";
  EXPECT_FALSE(platform::FindDriveMount(Dir.Str() + "/disc.zvd", 0).SystemDrive);
  const auto null = platform::FindDriveMount("/dev/null", 0);
  EXPECT_TRUE(null.SystemDrive);
  EXPECT_FALSE(null.MountPoint);
}

TEST_F(DriveMount, MatchesTheNodeThroughLinksButNotBindMounts) {
  const std::string link = Dir.Str() + "/cdrom";
  std::filesystem::create_symlink("/dev/null", link);
  // The table names the drive by a link; the drive list by its node.
  Table("50 1 99:1 /sub /elsewhere ro - iso9660 " + link + " ro\n" +
        "51 1 99:1 / /media/disc ro - iso9660 " + link + " ro\n");
  EXPECT_EQ(platform::FindDriveMount("/dev/null", 0).MountPoint.value_or(""), "/media/disc");
  // And the other way round.
  Table("51 1 99:1 / /media/other ro - iso9660 /dev/null ro\n");
  EXPECT_EQ(platform::FindDriveMount(link, 0).MountPoint.value_or(""), "/media/other");
  // Only a bind mount of one folder: not the disc.
  Table("50 1 99:1 /sub /elsewhere ro - iso9660 /dev/null ro\n");
  EXPECT_FALSE(platform::FindDriveMount("/dev/null", 0).MountPoint);
  // An unreadable table is an empty one.
  platform::SetMountTableForTesting(Dir.Str() + "/missing");
  EXPECT_FALSE(platform::FindDriveMount("/dev/null", 0).MountPoint);
}
}  // namespace
