#include "run/diagnostic_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/retry.h"
#include "run/run_folders.h"

namespace {

constexpr const char* kFilePrefix = "run-";
constexpr const char* kFileSuffix = ".log";

std::string TimeStamp() {
  using namespace std::chrono;
  const auto now = time_point_cast<milliseconds>(system_clock::now());
  const auto days = floor<std::chrono::days>(now);
  const year_month_day date{days};
  const hh_mm_ss time{now - days};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

// One line whatever the detail holds: line breaks become " / ".
std::string OneLine(std::string text) {
  std::string line;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find_first_of("\r\n", start), text.size());
    if (end > start) line += (line.empty() ? "" : " / ") + text.substr(start, end - start);
    start = end + 1;
  }
  return line;
}

bool IsRunFile(const std::string& name) {
  return name.rfind(kFilePrefix, 0) == 0 && name.size() > 8 &&
         name.compare(name.size() - 4, 4, kFileSuffix) == 0;
}

// The names sort by their time stamp: the oldest go first.
void KeepNewest(const std::string& folder, std::size_t kept) {
  std::vector<std::string> runs;
  for (const DirEntry& entry : ListDirectory(folder)) {
    if (!entry.isDirectory && IsRunFile(entry.name)) runs.push_back(entry.name);
  }
  std::sort(runs.begin(), runs.end());
  for (std::size_t i = 0; i + kept < runs.size(); ++i) DeleteFileWithRetries(folder + runs[i]);
}

}  // namespace

DiagnosticLog::~DiagnosticLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void DiagnosticLog::Write(const std::string& event, const std::string& detail) {
  const std::string line = TimeStamp() + " " + event + ": " + OneLine(detail) + "\n";
  if (file_ != nullptr) {
    Append(line);
  } else if (!opened_) {
    waiting_.push_back(line);
  }
}

bool DiagnosticLog::Open(const std::string& folder) {
  if (opened_) return IsOpen();
  opened_ = true;
  std::vector<std::string> waiting;
  waiting.swap(waiting_);
  if (PrepareRunFolder(folder)) return false;
  // Room for this run's file among the kept ones.
  KeepNewest(folder, kKeptRuns - 1);
  std::string stamp = TimeStamp();
  std::replace(stamp.begin(), stamp.end(), ':', '-');
  // Two runs within one millisecond each get a file of their own.
  for (int second = 0; file_ == nullptr && second < 100; ++second) {
    std::string name = folder + kFilePrefix + stamp;
    if (second > 0) name.append(1, '-').append(std::to_string(second));
    file_ = OpenFile(name + kFileSuffix, FileOpenMode::CreateNew);
  }
  if (file_ == nullptr) return false;
  for (const std::string& line : waiting) Append(line);
  return true;
}

void DiagnosticLog::Append(const std::string& line) {
  constexpr const char* kCut = "log cut: this run wrote more than the limit\n";
  if (written_ > kRunSizeLimit) return;
  const bool fits = written_ + static_cast<std::int64_t>(line.size()) <= kRunSizeLimit;
  const std::string& text = fits ? line : std::string(kCut);
  // Every line reaches the file at once: a killed run keeps what it logged.
  if (std::fwrite(text.data(), 1, text.size(), file_) == text.size()) std::fflush(file_);
  written_ = fits ? written_ + static_cast<std::int64_t>(line.size()) : kRunSizeLimit + 1;
}

std::string DiagnosticLogFolderOf(const std::string& downloadFolder) {
  return FolderBeside(downloadFolder, ".log");
}
