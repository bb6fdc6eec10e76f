// Shared fixtures of the tests: temporary folders, files, the host folder
// and running the built tool.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_procedures.h"
#include "host/filter_settings.h"

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes away.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string file(const std::string& name) const;

 private:
  std::string path_;
};

// Points the platform layer's host folder (registry.reg, events.log) at a
// fresh temporary folder for the life of the object, and restores the
// previous setting afterwards.
class ScopedHostDir {
 public:
  ScopedHostDir();
  ~ScopedHostDir();
  const std::string& path() const { return dir_.path(); }
  // Writes registry.reg with the given content (exact bytes).
  void writeRegistry(const std::string& content) const;
  std::string readRegistry() const;
  std::string readEvents() const;

 private:
  ScopedTempDir dir_;
  std::string previous_;
  bool hadPrevious_;
};

// A registry file holding the filter agent's key with the given value lines
// (for example "\"Bayesian Training Mode\"=dword:00000001").
std::string filterKeyRegistry(const std::vector<std::string>& valueLines);

// Sets a DWORD value (for example "Bayesian Training Mode") under the filter
// agent's key for the tool runs made with hostDir. On POSIX it goes into
// hostDir's registry.reg; on Windows into the registry itself, whose
// filter agent key starts empty for every new host folder the tests use.
void setFilterSetting(const std::string& hostDir, const std::string& name, uint32_t value);

// Reads a DWORD value under the filter agent's key as the tool runs made
// with hostDir left it. False when there is none.
bool readFilterSetting(const std::string& hostDir, const std::string& name, uint32_t* value);

// True where the tests own the machine-wide state of the tool runs: always
// on POSIX (the host folder); on Windows only under Wine or when
// CVSPAM_TEST_REGISTRY is 1, since the filter agent's key of the registry is
// emptied between tests. Tests that set or read filter settings skip
// otherwise.
bool ownsToolRegistry();

void writeFile(const std::string& path, const std::string& content);
// The whole file; on Windows, where the tool writes text files with CR LF
// line ends, every CR LF reads as LF, so that expected texts are the same
// on every platform.
std::string readFile(const std::string& path);
// A saved XML document as readFile gives it, without the line end that the
// Windows XML component writes after the document element, so that it
// compares equal to what the POSIX stand-in writes.
std::string readXmlFile(const std::string& path);
bool fileExists(const std::string& path);
void makeDir(const std::string& path);

// The whole standard output of the built cvspamcmd run with args, with the
// host folder set to hostDir (on Windows: with the registry as the filter
// settings given for hostDir left it). Line ends are LF on every platform.
std::string runTool(const std::vector<std::string>& args, const std::string& hostDir);

// Replaces the figure of every "Time Taken: N milliseconds" line with X,
// since timings vary from run to run.
std::string maskTimes(std::string text);

// The banner every run prints first.
std::string banner();

// Empties the process-wide dictionary whatever state a test left it in:
// frees its texts and index and clears the table.
void resetProcessDictionary();

// Adds a row to the process-wide dictionary as a dictionary file's loader
// does; returns what addLoadedEntry returned.
int addDictionaryRow(const char* token, int hamCount, int spamCount);

// The source folder of the project, for fixtures and the sample corpus.
std::string sourceDir();

// A fixture for tests of scoring against the process-wide dictionary: each
// test starts with a fresh dictionary, and the filter settings and the
// loaded flag it changes are put back afterwards. Fixtures that derive from
// it call its SetUp and TearDown first and last.
class ScoringFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Adds a dictionary row; the test fails when it cannot.
  void addRow(const char* token, int32_t hamCount, int32_t spamCount);

 private:
  FilterSettings savedSettings_{};
  int savedLoaded_ = 0;
};

}  // namespace testsupport
