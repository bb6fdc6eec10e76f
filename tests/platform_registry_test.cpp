#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform_test_support.h"
#include "tests/test_support.h"

namespace {

constexpr const char* kKey = "SOFTWARE\\Corvistane\\Test";

// A value as a query gives it: its type and raw bytes, or the error number.
struct Read {
  long result;
  uint32_t type;
  std::string bytes;
};

Read query(const char* keyPath, const char* name) {
  Read read{0, 0, ""};
  platform::RegKey key = nullptr;
  read.result = platform::regOpenKey(platform::RegHive::LocalMachine, keyPath,
                                     platform::kKeyQueryValue, &key);
  if (read.result != 0) return read;
  uint8_t buffer[256];
  uint32_t size = sizeof buffer;
  read.result = platform::regQueryValue(key, name, &read.type, buffer, &size);
  if (read.result == 0) read.bytes.assign(reinterpret_cast<char*>(buffer), size);
  platform::regCloseKey(key);
  return read;
}

long setDword(const char* keyPath, const char* name, uint32_t number) {
  platform::RegKey key = nullptr;
  const long created = platform::regCreateKey(platform::RegHive::LocalMachine, keyPath,
                                              platform::kKeyAllAccess, &key);
  if (created != 0) return created;
  const uint8_t data[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
  const long result = platform::regSetValue(key, name, platform::kRegDword, data, 4);
  platform::regCloseKey(key);
  return result;
}

std::string regFile(const std::string& body) {
  return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvistane\\"
         "Test]\r\n" + body;
}

std::string utf16le(const std::u16string& text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(PlatformRegistry, ValuesOfEveryKindReadAsTheirRawBytes) {
  testsupport::ScopedHostDir host;
  host.writeRegistry(regFile(
      "\"Text\"=\"5\"\r\n"
      "\"Escaped\"=\"a\\\\b\\\"c\"\r\n"
      "\"Number\"=dword:0000012c\r\n"
      "\"Blob\"=hex:01,ff\r\n"
      "\"Typed\"=hex(1):35,00\r\n"
      "\"Long\"=hex(b):01,02,03,\\\r\n"
      "  04,05,06,\\\r\n"
      "  07,08\r\n"
      "@=\"default\"\r\n"
      "; a comment\r\n"
      "\"Empty\"=\"\"\r\n"));
  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  };
  const Case cases[] = {
      {"Text", platform::kRegSz, std::string("5\0", 2)},
      {"Escaped", platform::kRegSz, std::string("a\\b\"c\0", 6)},
      {"Number", platform::kRegDword, std::string("\x2c\x01\0\0", 4)},
      {"Blob", platform::kRegBinary, "\x01\xff"},
      {"Typed", platform::kRegSz, std::string("5\0", 2)},
      {"Long", platform::kRegQword, "\x01\x02\x03\x04\x05\x06\x07\x08"},
      {"", platform::kRegSz, std::string("default\0", 8)},
      {"Empty", platform::kRegSz, std::string(1, '\0')},
      // Key paths and value names ignore ASCII letter case.
      {"NUMBER", platform::kRegDword, std::string("\x2c\x01\0\0", 4)},
  };
  for (const Case& c : cases) {
    const Read read = query(kKey, c.name);
    EXPECT_EQ(read.result, 0) << c.name;
    EXPECT_EQ(read.type, c.type) << c.name;
    EXPECT_EQ(read.bytes, c.bytes) << c.name;
  }
  EXPECT_EQ(query("software\\CORVISTANE\\test", "Text").bytes, std::string("5\0", 2));
  EXPECT_EQ(query(kKey, nullptr).bytes, std::string("default\0", 8));
}

TEST(PlatformRegistry, EveryFileEncodingGivesAnsiText) {
  // "é" and "€" are 0xE9 and 0x80 in Windows-1252.
  const std::string expected("caf\xE9 \x80\0", 7);
  const std::string utf8Body =
      "Windows Registry Editor Version 5.00\n\n[HKLM\\SOFTWARE\\Corvistane\\Test]\n"
      "\"Caf\xC3\xA9\"=\"caf\xC3\xA9 \xE2\x82\xAC\"\n";
  const std::string ansiBody =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvistane\\Test]\n\"Caf\xE9\"=\"caf\xE9 \x80\"\n";
  const std::u16string wideBody =
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvistane\\Test]\r\n\"Caf\u00e9\"=\"caf\u00e9 \u20ac\"\r\n";
  const std::string files[] = {utf8Body, "\xEF\xBB\xBF" + utf8Body, ansiBody, utf16le(wideBody)};
  for (const std::string& file : files) {
    testsupport::ScopedHostDir host;
    host.writeRegistry(file);
    const Read read = query(kKey, "Caf\xE9");
    EXPECT_EQ(read.result, 0) << file;
    EXPECT_EQ(read.bytes, expected) << file;
  }
}

TEST(PlatformRegistry, QueryBufferSizes) {
  testsupport::ScopedHostDir host;
  host.writeRegistry(regFile("\"Text\"=\"hello\"\n"));
  platform::RegKey key = nullptr;
  ASSERT_EQ(platform::regOpenKey(platform::RegHive::LocalMachine, kKey, platform::kKeyQueryValue,
                                 &key),
            0);
  uint32_t size = 0;
  EXPECT_EQ(platform::regQueryValue(key, "Text", nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);
  uint8_t small[5];
  size = sizeof small;
  EXPECT_EQ(platform::regQueryValue(key, "Text", nullptr, small, &size), platform::kErrorMoreData);
  EXPECT_EQ(size, 6u);
  uint8_t exact[6];
  size = sizeof exact;
  EXPECT_EQ(platform::regQueryValue(key, "Text", nullptr, exact, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), 6), std::string("hello\0", 6));
  EXPECT_EQ(platform::regQueryValue(key, "Missing", nullptr, exact, &size),
            platform::kErrorFileNotFound);
  platform::regCloseKey(key);
}

TEST(PlatformRegistry, MissingKeysAndFolders) {
  {
    testsupport::ScopedHostDir host;
    host.writeRegistry(regFile("\"Text\"=\"x\"\n"));
    EXPECT_EQ(query("SOFTWARE\\Other", "Text").result, platform::kErrorFileNotFound);
    // A key above a named one exists, as importing the file would create it.
    EXPECT_EQ(query("SOFTWARE\\Corvistane", "Text").result, platform::kErrorFileNotFound);
    platform::RegKey key = nullptr;
    EXPECT_EQ(platform::regOpenKey(platform::RegHive::LocalMachine, "SOFTWARE\\Corvistane",
                                   platform::kKeyQueryValue, &key),
              0);
    platform::regCloseKey(key);
  }
  testsupport::ScopedTempDir dir;
  setenv("CVSPAM_HOST_DIR", dir.file("absent").c_str(), 1);
  EXPECT_EQ(query(kKey, "Text").result, platform::kErrorFileNotFound);
  EXPECT_FALSE(testsupport::fileExists(dir.file("absent")));
  unsetenv("CVSPAM_HOST_DIR");
}

TEST(PlatformRegistry, DamagedFilesReadAsEmptyAndAreReportedOnce) {
  const std::string cases[] = {
      "garbage\n",
      "",  // an empty file is simply empty
      regFile("\"Text\"=\"unterminated\n"),
      regFile("\"Text\"=dword:123456789\n"),
      regFile("\"Text\"=hex:zz\n"),
      regFile("what is this\n"),
      "Windows Registry Editor Version 5.00\n\"Text\"=\"before any key\"\n",
      "Windows Registry Editor Version 5.00\n[HKEY_NOWHERE\\SOFTWARE]\n",
      std::string("\xFF\xFE\x00", 3),
      std::string(100000, '\0'),
  };
  for (const std::string& content : cases) {
    testsupport::ScopedHostDir host;
    host.writeRegistry(content);
    testing::internal::CaptureStderr();
    EXPECT_EQ(query(kKey, "Text").result, platform::kErrorFileNotFound) << content;
    EXPECT_EQ(query(kKey, "Text").result, platform::kErrorFileNotFound) << content;
    const std::string reported = testing::internal::GetCapturedStderr();
    if (content.empty()) {
      EXPECT_EQ(reported, "");
    } else {
      EXPECT_EQ(reported.find("registry.reg line "), 0u) << reported;
      EXPECT_EQ(reported.find('\n'), reported.size() - 1) << "reported more than once";
    }
  }
  testsupport::ScopedHostDir host;
  host.writeRegistry(regFile("\"A\"=\"x\"\nwhat is this\n"));
  testing::internal::CaptureStderr();
  query(kKey, "A");
  EXPECT_NE(testing::internal::GetCapturedStderr().find("registry.reg line 5:"), std::string::npos);
}

TEST(PlatformRegistry, AWriteIntoADamagedFileFailsAndKeepsIt) {
  testsupport::ScopedHostDir host;
  const std::string damaged = regFile("\"A\"=\"x\"\nwhat is this\n");
  host.writeRegistry(damaged);
  testing::internal::CaptureStderr();
  EXPECT_NE(setDword(kKey, "New", 1), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(host.readRegistry(), damaged);
}

TEST(PlatformRegistry, AWriteCreatesTheFolderTheFileAndTheKeyPath) {
  testsupport::ScopedTempDir dir;
  const std::string folder = dir.file("a/b/host");
  setenv("CVSPAM_HOST_DIR", folder.c_str(), 1);
  EXPECT_EQ(setDword("SOFTWARE\\X\\Y\\Z", "Bayesian-Reload", 1), 0);
  const Read read = query("SOFTWARE\\X\\Y\\Z", "Bayesian-Reload");
  EXPECT_EQ(read.result, 0);
  EXPECT_EQ(read.type, platform::kRegDword);
  EXPECT_EQ(read.bytes, std::string("\x01\0\0\0", 4));
  EXPECT_EQ(testsupport::readFile(folder + "/registry.reg"),
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X\\Y\\Z]\n"
            "\"Bayesian-Reload\"=dword:00000001\n\n");
  unsetenv("CVSPAM_HOST_DIR");
}

TEST(PlatformRegistry, AWriteKeepsEveryOtherKeyAndValue) {
  testsupport::ScopedHostDir host;
  const std::string big(100, '\x7f');
  std::string bigHex;
  for (size_t i = 0; i < big.size(); ++i) bigHex += std::string(i ? "," : "") + "7f";
  host.writeRegistry(utf16le(
      u"Windows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n\"User\"=\"\u4e2d\"\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvistane\\Test]\r\n"
      u"\"Path\"=\"C:\\\\Dir \\\"q\\\"\"\r\n\"Number\"=dword:00000007\r\n"
      u"\"Multi\"=hex(7):61,00,00,00\r\n@=\"d\"\r\n\"Bayesian-Save\"=dword:00000000\r\n"));
  chmod((host.path() + "/registry.reg").c_str(), 0640);
  EXPECT_EQ(setDword(kKey, "bayesian-save", 1), 0);
  {
    platform::RegKey key = nullptr;
    ASSERT_EQ(platform::regCreateKey(platform::RegHive::LocalMachine, kKey,
                                     platform::kKeyAllAccess, &key),
              0);
    const std::string text = std::string("line\r\ntwo") + '\0';
    EXPECT_EQ(platform::regSetValue(key, "Text", platform::kRegSz,
                                    reinterpret_cast<const uint8_t*>(text.data()),
                                    static_cast<uint32_t>(text.size())),
              0);
    EXPECT_EQ(platform::regSetValue(key, "Big", platform::kRegBinary,
                                    reinterpret_cast<const uint8_t*>(big.data()),
                                    static_cast<uint32_t>(big.size())),
              0);
    platform::regCloseKey(key);
  }
  const std::string file = host.readRegistry();
  EXPECT_EQ(file.find("Windows Registry Editor Version 5.00\n"), 0u);
  EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Elsewhere]\n\"User\"=\"\xE4\xB8\xAD\"\n"),
            std::string::npos)
      << file;
  EXPECT_NE(file.find("\"Path\"=\"C:\\\\Dir \\\"q\\\"\"\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\"Bayesian-Save\"=dword:00000001\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\"Multi\"=hex(7):61,00,00,00\n"), std::string::npos) << file;
  EXPECT_NE(file.find("\"Text\"=hex(1):6c,69,6e,65,0d,0a,74,77,6f,00\n"), std::string::npos)
      << file;
  struct stat info;
  ASSERT_EQ(stat((host.path() + "/registry.reg").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);

  struct Case {
    const char* name;
    uint32_t type;
    std::string bytes;
  };
  const Case cases[] = {
      {"Path", platform::kRegSz, std::string("C:\\Dir \"q\"\0", 11)},
      {"Number", platform::kRegDword, std::string("\x07\0\0\0", 4)},
      {"Multi", platform::kRegMultiSz, std::string("a\0\0\0", 4)},
      {"", platform::kRegSz, std::string("d\0", 2)},
      {"Bayesian-Save", platform::kRegDword, std::string("\x01\0\0\0", 4)},
      {"Text", platform::kRegSz, std::string("line\r\ntwo\0", 10)},
  };
  for (const Case& c : cases) {
    const Read read = query(kKey, c.name);
    EXPECT_EQ(read.result, 0) << c.name;
    EXPECT_EQ(read.type, c.type) << c.name;
    EXPECT_EQ(read.bytes, c.bytes) << c.name;
  }
  platform::RegKey key = nullptr;
  ASSERT_EQ(platform::regOpenKey(platform::RegHive::LocalMachine, kKey, platform::kKeyQueryValue,
                                 &key),
            0);
  uint8_t buffer[200];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(platform::regQueryValue(key, "Big", nullptr, buffer, &size), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), big);
  // A key opened only for reading cannot be written through.
  EXPECT_EQ(platform::regSetValue(key, "Big", platform::kRegBinary, buffer, 1),
            platform::kErrorAccessDenied);
  platform::regCloseKey(key);
}

TEST(PlatformRegistry, ConcurrentWritersFromSeveralProcessesLoseNothing) {
  testsupport::ScopedHostDir host;
  host.writeRegistry(regFile("\"Kept\"=\"yes\"\n"));
  const int processes = 4;
  const int writes = 20;
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      int failures = 0;
      for (int w = 0; w < writes; ++w) {
        const std::string name = "P" + std::to_string(p) + "W" + std::to_string(w);
        if (setDword(kKey, name.c_str(), static_cast<uint32_t>(p * 1000 + w)) != 0) ++failures;
      }
      _exit(failures);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < processes; ++p) {
    for (int w = 0; w < writes; ++w) {
      const std::string name = "P" + std::to_string(p) + "W" + std::to_string(w);
      const Read read = query(kKey, name.c_str());
      ASSERT_EQ(read.result, 0) << name;
      EXPECT_EQ(static_cast<unsigned char>(read.bytes[0]), static_cast<unsigned char>(p * 1000 + w));
    }
  }
  EXPECT_EQ(query(kKey, "Kept").bytes, std::string("yes\0", 4));
  // No temporary file is left behind.
  platform::FindData data;
  platform::FindHandle search = platform::findFirstFile((host.path() + "/*.*").c_str(), &data);
  std::vector<std::string> names;
  do names.emplace_back(data.fileName);
  while (platform::findNextFile(search, &data));
  platform::findClose(search);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "registry.reg", "registry.reg.lock"}));
}

TEST(PlatformRegistry, AFolderThatCannotBeWrittenRefusesWithAccessDenied) {
  testsupport::ScopedTempDir dir;
  platformtest::openToEveryone(dir.path());
  const std::string folder = dir.file("host");
  testsupport::makeDir(folder);
  const std::string content = regFile("\"A\"=\"x\"\n");
  testsupport::writeFile(folder + "/registry.reg", content);
  chmod(folder.c_str(), 0555);
  setenv("CVSPAM_HOST_DIR", folder.c_str(), 1);
  const int result = platformtest::runUnprivileged([] {
    if (query(kKey, "A").result != 0) return 1;  // reading still works
    platform::RegKey key = nullptr;
    if (platform::regCreateKey(platform::RegHive::LocalMachine, kKey, platform::kKeyAllAccess,
                               &key) != platform::kErrorAccessDenied) {
      return 2;
    }
    return key == nullptr ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
  // A missing folder that cannot be made.
  setenv("CVSPAM_HOST_DIR", (folder + "/inner").c_str(), 1);
  EXPECT_EQ(platformtest::runUnprivileged([] {
              return static_cast<int>(setDword(kKey, "A", 1));
            }),
            5);
  unsetenv("CVSPAM_HOST_DIR");
  EXPECT_EQ(testsupport::readFile(folder + "/registry.reg"), content);
  EXPECT_FALSE(testsupport::fileExists(folder + "/inner"));
}

}  // namespace
