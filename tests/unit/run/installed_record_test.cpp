#include "run/installed_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "../support/temp_folder.h"
#include "base/date_time.h"
#include "platform/file_info.h"
#include "platform/replacing_write.h"

namespace {

const std::string kSha256(64, 'a');
const TDateTime kInstalled = EncodeDateTime({2026, 5, 6, 7, 8, 10, 0});

}  // namespace

// An entry stands for the file's bytes only while the file has the size and
// date it was recorded with, as a real look at it shows them.
TEST(InstalledRecord, AnEntryIsTrustedOnlyWhileSizeAndDateAreUnchanged) {
  struct Case {
    std::string what;
    std::string content;            // written after recording; "" keeps it
    std::optional<TDateTime> date;  // set after recording
    bool removed;
    bool trusted;
  };
  const std::vector<Case> cases = {
      {"unchanged", "", std::nullopt, false, true},
      {"written again, same size, date kept", "NEU", kInstalled, false, true},
      {"same size, other date", "", kInstalled + 2.0 / 86400, false, false},
      {"other size, same date", "alt!", kInstalled, false, false},
      {"rewritten in place", "NEU", std::nullopt, false, false},
      {"gone", "", std::nullopt, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    const std::string file = temp.Path() + "a.txt";
    temp.Write("a.txt", "alt");
    ASSERT_TRUE(SetFileDateByName(file, kInstalled));
    InstalledRecord record;
    RecordFile(record, "Daten/a.txt", GetFileFacts(file), kSha256);
    // The record goes through its file, as from one run to the next.
    ASSERT_TRUE(WriteFileReplacing(temp.Path() + "record", InstalledRecordText(record)));
    record = ReadInstalledRecord(temp.Path() + "record");

    if (!c.content.empty()) temp.Write("a.txt", c.content);
    if (c.date) {
      ASSERT_TRUE(SetFileDateByName(file, *c.date));
    }
    if (c.removed) std::filesystem::remove(file);
    const std::string* trusted = TrustedSha256(record, "Daten/a.txt", GetFileFacts(file));
    EXPECT_EQ(trusted != nullptr ? *trusted : "untrusted", c.trusted ? kSha256 : "untrusted");
    EXPECT_EQ(TrustedSha256(record, "Daten/b.txt", GetFileFacts(file)), nullptr);
  }
}

TEST(InstalledRecord, LinesThatDoNotReadVouchForNothing) {
  TempFolder temp;
  const std::string good = "12 20260506070810000 " + kSha256 + " Daten/mit Leerzeichen.txt\n";
  temp.Write("record", good + "zwölf 20260506070810000 " + kSha256 +
                           " Daten/b.txt\n"  // size
                           "12 20260506070810000 " +
                           kSha256.substr(1) +
                           " Daten/c.txt\n"  // hash
                           "12 20260506070810000 " +
                           kSha256 +
                           " \n"  // no path
                           "12 20260506070810000\n");
  const InstalledRecord record = ReadInstalledRecord(temp.Path() + "record");
  ASSERT_EQ(record.size(), 1u);
  EXPECT_EQ(InstalledRecordText(record), good);
  EXPECT_TRUE(ReadInstalledRecord(temp.Path() + "missing").empty());
}
