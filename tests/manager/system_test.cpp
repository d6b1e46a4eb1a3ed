#include "manager/platform/system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "manager_env.h"
#include "support/test_env.h"

namespace {

class SystemTest : public managertest::ManagerTest {};

TEST_F(SystemTest, RemovableMediaByFolderOrByTheFlagOfTheBlockDevice) {
  // A fake sysfs: 8:17 is a partition of the removable disk 8:16, 8:1 of a fixed one.
  const auto sys = base / "sys";
  std::filesystem::create_directories(sys / "block" / "sdb" / "sdb1");
  std::filesystem::create_directories(sys / "block" / "sda" / "sda1");
  testenv::WriteFile(sys / "block" / "sdb" / "removable", "1\n");
  testenv::WriteFile(sys / "block" / "sda" / "removable", "0\n");
  std::filesystem::create_directories(sys / "dev" / "block");
  std::filesystem::create_directory_symlink(sys / "block" / "sdb" / "sdb1", sys / "dev" / "block" / "8:17");
  std::filesystem::create_directory_symlink(sys / "block" / "sda" / "sda1", sys / "dev" / "block" / "8:1");
  const std::string mounts =
      "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
      "40 22 8:17 / /mnt/my\\040stick rw,relatime shared:2 - vfat /dev/sdb1 rw\n"
      "41 22 0:50 / /mnt/my rw - tmpfs tmpfs rw\n"
      "broken line\n";
  EXPECT_TRUE(tessary::IsOnRemovableMedia("/media/user/STICK/tessary", mounts, sys));
  EXPECT_TRUE(tessary::IsOnRemovableMedia("/run/media/user/x/tessary", mounts, sys));
  EXPECT_FALSE(tessary::IsOnRemovableMedia("/media", mounts, sys));
  EXPECT_TRUE(tessary::IsOnRemovableMedia("/mnt/my stick/stack/tessary", mounts, sys));
  EXPECT_FALSE(tessary::IsOnRemovableMedia("/mnt/my/stack/tessary", mounts, sys));  // tmpfs, no device
  EXPECT_FALSE(tessary::IsOnRemovableMedia("/mnt/my sticker/tessary", mounts, sys));
  EXPECT_FALSE(tessary::IsOnRemovableMedia("/usr/bin/tessary", mounts, sys));
  EXPECT_FALSE(tessary::IsOnRemovableMedia("/usr/bin/tessary", "", sys));
}

TEST_F(SystemTest, AdministratorIsTheEffectiveRootAndTheLocaleGivesTheLanguage) {
  EXPECT_EQ(tessary::IsAdmin(), ::geteuid() == 0);
  EXPECT_TRUE(tessary::IsWindowsNT());
  setEnv("LANG", "fr_CA.UTF-8");
  EXPECT_EQ(tessary::UserLanguageCode(), "fr");
  setEnv("LC_MESSAGES", "de_DE@euro");
  EXPECT_EQ(tessary::UserLanguageCode(), "de");
  setEnv("LC_ALL", "C");
  EXPECT_EQ(tessary::UserLanguageCode(), "en");
  EXPECT_FALSE(tessary::UserName().empty());
}

}  // namespace
