#include "run/diagnostic_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "platform/file_system.h"
#include "platform/whole_file.h"

namespace {

std::vector<std::string> RunFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const DirEntry& entry : ListDirectory(folder)) names.push_back(entry.name);
  return names;
}

std::string OnlyLog(const std::string& folder) {
  const std::vector<std::string> names = RunFiles(folder);
  EXPECT_EQ(names.size(), 1u);
  return names.empty() ? "" : ReadWholeFile(folder + names[0]).value_or("");
}

}  // namespace

TEST(DiagnosticLog, LinesBeforeTheFolderIsKnownAreWrittenOnceItIsOneLineEach) {
  TempFolder temp;
  const std::string folder = DiagnosticLogFolderOf(temp.Path() + "Produkt");
  {
    DiagnosticLog log;  // read once closed: Windows lets nobody read it while it is written
    log.Write("start", "Quennvoldar Produkt.cfg");
    ASSERT_TRUE(log.Open(folder));
    log.Write("failure", "Erste Zeile!\r\nZweite Zeile.");
  }

  const std::string text = OnlyLog(folder);
  EXPECT_NE(text.find("Z start: Quennvoldar Produkt.cfg\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Z failure: Erste Zeile! / Zweite Zeile.\n"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(DiagnosticLog, KeepsTheNewestRunsAndBoundsEach) {
  TempFolder temp;
  const std::string folder = DiagnosticLogFolderOf(temp.Path() + "Produkt");
  for (int run = 0; run < DiagnosticLog::kKeptRuns + 3; ++run) {
    DiagnosticLog log;
    ASSERT_TRUE(log.Open(folder));
    log.Write("run", std::to_string(run));
  }
  EXPECT_EQ(RunFiles(folder).size(), static_cast<std::size_t>(DiagnosticLog::kKeptRuns));

  TempFolder other;
  const std::string bounded = DiagnosticLogFolderOf(other.Path() + "Produkt");
  {
    DiagnosticLog log;
    ASSERT_TRUE(log.Open(bounded));
    const std::string detail(1000, 'x');
    for (int line = 0; line < 2000; ++line) log.Write("file", detail);
  }
  const std::string text = OnlyLog(bounded);
  EXPECT_LE(static_cast<std::int64_t>(text.size()), DiagnosticLog::kRunSizeLimit + 100);
  EXPECT_NE(text.find("log cut"), std::string::npos);
}
