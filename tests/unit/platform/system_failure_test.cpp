#include "platform/system_failure.h"

#include <gtest/gtest.h>

#include "../support/temp_folder.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace {

// The system's failure of opening `path` for reading.
Failure FailureOfOpening(const std::string& path) {
  std::FILE* file = OpenFile(path, FileOpenMode::Read);
  EXPECT_EQ(file, nullptr) << path;
  if (file != nullptr) std::fclose(file);
  return LastSystemFailure("open", path);
}

}  // namespace

TEST(SystemFailure, RealFailuresOfEachKindTheTestCanMake) {
  TempFolder temp;
  struct Case {
    std::string path;
    FailureKind kind;
  };
  const Case cases[] = {
      {temp.Path() + "fehlt.txt", FailureKind::NotFound},
      {temp.Path() + "fehlt" + kPathDelim + "a.txt", FailureKind::NotFound},
  };
  for (const Case& c : cases) {
    const Failure failure = FailureOfOpening(c.path);
    EXPECT_EQ(failure.kind, c.kind) << DescribeFailure(failure);
    EXPECT_EQ(failure.codeOf, FailureCode::System);
    EXPECT_NE(failure.code, 0);
    EXPECT_EQ(failure.place, c.path);
    EXPECT_FALSE(failure.detail.empty());
  }
}

TEST(SystemFailure, CleaningUpKeepsTheFailuresCode) {
  TempFolder temp;
  temp.Write("da.txt", "x");
  const long missing = FailureOfOpening(temp.Path() + "fehlt.txt").code;
  {
    const SystemErrorKept kept;
    // A clean-up that fails otherwise: a folder below a file.
    EXPECT_FALSE(ForceDirectories(temp.Path() + "da.txt" + kPathDelim + "b"));
    EXPECT_NE(LastSystemFailure("make folder", "").code, missing);
  }
  EXPECT_EQ(LastSystemFailure("open", "").code, missing);
}
