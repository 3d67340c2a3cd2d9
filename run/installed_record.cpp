#include "run/installed_record.h"

#include <algorithm>
#include <charconv>

#include "base/date_time.h"
#include "platform/whole_file.h"

namespace {

constexpr std::size_t kSha256HexLength = 64;

bool ReadLine(const std::string& line, std::string& path, RecordedFile& file) {
  const std::size_t sizeEnd = line.find(' ');
  const std::size_t dateEnd = line.find(' ', sizeEnd + 1);
  const std::size_t hashEnd = line.find(' ', dateEnd + 1);
  if (sizeEnd == std::string::npos || dateEnd == std::string::npos ||
      hashEnd == std::string::npos || hashEnd - dateEnd - 1 != kSha256HexLength ||
      hashEnd + 1 == line.size()) {
    return false;
  }
  const auto [stop, error] = std::from_chars(line.data(), line.data() + sizeEnd, file.size);
  if (error != std::errc() || stop != line.data() + sizeEnd) return false;
  file.date = line.substr(sizeEnd + 1, dateEnd - sizeEnd - 1);
  file.sha256 = line.substr(dateEnd + 1, kSha256HexLength);
  path = line.substr(hashEnd + 1);
  return true;
}

}  // namespace

InstalledRecord ReadInstalledRecord(const std::string& path) {
  InstalledRecord record;
  const std::string text = ReadWholeFile(path).value_or("");
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    std::string filePath;
    RecordedFile file;
    if (ReadLine(text.substr(start, end - start), filePath, file)) record[filePath] = file;
    start = end + 1;
  }
  return record;
}

std::string InstalledRecordText(const InstalledRecord& record) {
  std::string text;
  for (const auto& [path, file] : record) {
    text += std::to_string(file.size) + " " + file.date + " " + file.sha256 + " " + path + "\n";
  }
  return text;
}

const std::string* TrustedSha256(const InstalledRecord& record, const std::string& path,
                                 const FileFacts& now) {
  const auto found = record.find(path);
  if (found == record.end() || !now.isFile || now.size != found->second.size ||
      FormatDateToMillisecond(now.date) != found->second.date) {
    return nullptr;
  }
  return &found->second.sha256;
}

void RecordFile(InstalledRecord& record, const std::string& path, const FileFacts& facts,
                const std::string& sha256) {
  record[path] = {facts.size, FormatDateToMillisecond(facts.date), sha256};
}
