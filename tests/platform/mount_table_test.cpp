// The mount table as the kernel writes it.
#include "platform/mount_table.h"

#include <gtest/gtest.h>

namespace {

TEST(MountInfo, LinesFieldsAndEscapes) {
  const auto lines = platform::ParseMountInfo(
      "36 35 98:0 /mnt1 /mnt/parent rw,noatime master:1 - ext3 /dev/root rw,errors=continue\n"
      "41 1 11:0 / /media/user/MY\\040DISC ro,nosuid shared:9 shared:10 - iso9660 /dev/sr0 ro,uid=1000\n"
      "42 1 0:50 / /back\\134slash rw - tmpfs none rw\n"
      "garbage line\n"
      "43 1 11:x / /bad rw - iso9660 /dev/sr1 ro\n"
      "44 1 11:1 / /nodash rw iso9660 /dev/sr1 ro\n"
      "45 1 11:2 / /short rw - iso9660\n"
      "\n");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Major, 98u);
  EXPECT_EQ(lines[0].Root, "/mnt1");
  EXPECT_EQ(lines[0].FsType, "ext3");
  EXPECT_EQ(lines[1].MountPoint, "/media/user/MY DISC");
  EXPECT_EQ(lines[1].Source, "/dev/sr0");
  EXPECT_EQ(lines[1].Minor, 0u);
  EXPECT_EQ(lines[2].MountPoint, "/back\\slash");
  // An escape cut short by the end of the field stays as written.
  EXPECT_EQ(platform::ParseMountInfo("1 1 1:1 / /a\\04 rw - t s o\n").at(0).MountPoint, "/a\\04");
}


}  // namespace
