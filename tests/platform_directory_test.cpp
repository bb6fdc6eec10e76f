#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tests/platform_test_support.h"
#include "tests/test_support.h"

namespace {

using Listing = std::vector<std::pair<std::string, uint32_t>>;

Listing listFolder(const std::string& folder,
                   platform::FindDetail detail = platform::FindDetail::Full) {
  Listing listing;
  platform::FindData data;
  platform::FindHandle search = platform::findFirstFile((folder + "/*.*").c_str(), &data, detail);
  if (search == nullptr) return listing;
  do listing.emplace_back(data.fileName, data.attributes);
  while (platform::findNextFile(search, &data));
  EXPECT_EQ(platform::getLastError(), platform::kErrorNoMoreFiles);
  platform::findClose(search);
  return listing;
}

TEST(PlatformDirectory, ListsDotsFirstThenNamesInNtfsOrder) {
  testsupport::ScopedTempDir dir;
  for (const char* name : {"b", "B", "a.txt", "_x", "Zed", "zeta", "A", "[", "~", "\xE9"}) {
    testsupport::writeFile(dir.file(name), "x");
  }
  std::vector<std::string> names;
  for (const auto& entry : listFolder(dir.path())) names.push_back(entry.first);
  // Upper-case folding puts letters before '[' and '_' (0x5B, 0x5F) and
  // after digits; "A" and "a.txt" fold to "A" and "A.TXT".
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "A", "a.txt", "B", "b", "Zed", "zeta",
                                             "[", "_x", "~", "\xE9"}));
}

TEST(PlatformDirectory, AttributesFollowTypePermissionAndLinks) {
  testsupport::ScopedTempDir dir;
  testsupport::writeFile(dir.file("file"), "x");
  testsupport::writeFile(dir.file("locked"), "x");
  chmod(dir.file("locked").c_str(), 0444);
  testsupport::makeDir(dir.file("sub"));
  testsupport::makeDir(dir.file("rosub"));
  chmod(dir.file("rosub").c_str(), 0555);
  ASSERT_EQ(symlink("sub", dir.file("linkdir").c_str()), 0);
  ASSERT_EQ(symlink("nowhere", dir.file("dangling").c_str()), 0);
  const Listing full{{".", 0x10},     {"..", 0x10},     {"dangling", 0x20}, {"file", 0x20},
                     {"linkdir", 0x10}, {"locked", 0x21}, {"rosub", 0x11},    {"sub", 0x10}};
  EXPECT_EQ(listFolder(dir.path()), full);
  // The lighter search may leave out a file's read-only bit, and only that:
  // folders, links to folders and read-only folders read as they do in full.
  Listing light = listFolder(dir.path(), platform::FindDetail::FolderOrFile);
  ASSERT_EQ(light.size(), full.size());
  EXPECT_TRUE(light[5].second == 0x20 || light[5].second == 0x21) << light[5].second;
  light[5].second = 0x21;
  EXPECT_EQ(light, full);
}

TEST(PlatformDirectory, FolderThatCannotBeSearchedFails) {
  testsupport::ScopedTempDir dir;
  testsupport::writeFile(dir.file("file"), "x");
  struct Case {
    std::string folder;
    uint32_t error;
  };
  const Case cases[] = {{dir.file("missing"), platform::kErrorPathNotFound},
                        {dir.file("file"), platform::kErrorPathNotFound}};
  for (const Case& c : cases) {
    platform::FindData data;
    platform::setLastError(0);
    EXPECT_EQ(platform::findFirstFile((c.folder + "/*.*").c_str(), &data), nullptr);
    EXPECT_EQ(platform::getLastError(), c.error) << c.folder;
  }
}

TEST(PlatformDirectory, FolderThatCannotBeReadIsAccessDenied) {
  testsupport::ScopedTempDir dir;
  platformtest::openToEveryone(dir.path());
  testsupport::makeDir(dir.file("closed"));
  chmod(dir.file("closed").c_str(), 0);
  const std::string pattern = dir.file("closed") + "/*.*";
  EXPECT_EQ(platformtest::runUnprivileged([&] {
              platform::FindData data;
              if (platform::findFirstFile(pattern.c_str(), &data) != nullptr) return 100;
              return static_cast<int>(platform::getLastError());
            }),
            5);
}

TEST(PlatformDirectory, EmptyFolderStillYieldsTheDots) {
  testsupport::ScopedTempDir dir;
  EXPECT_EQ(listFolder(dir.path()), (Listing{{".", 0x10}, {"..", 0x10}}));
}

}  // namespace
