#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/temp_folder.h"

// A move within one file system takes a free name only; where it cannot
// move, the file stays where it was.
TEST(MoveFileWithin, TakesAFreeNameAndNothingElse) {
  struct Case {
    std::string what;
    std::string target;
    bool moved;
  };
  const std::vector<Case> cases = {
      {"a free name in another folder", "Ziel/neu.txt", true},
      {"a file's name", "Ziel/belegt.txt", false},
      {"a folder's name", "Ziel/Ordner", false},
      {"in a folder that does not exist", "Fehlt/neu.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder temp;
    temp.Write("Quelle/datei.txt", "bewegt");
    temp.Write("Ziel/belegt.txt", "bleibt");
    temp.Write("Ziel/Ordner/drin.txt", "bleibt");
    EXPECT_EQ(MoveFileWithin(temp.Path() + "Quelle/datei.txt", temp.Path() + c.target), c.moved);
    EXPECT_EQ(temp.Exists("Quelle/datei.txt"), !c.moved);
    if (c.moved) {
      EXPECT_EQ(temp.Read(c.target), "bewegt");
    }
    EXPECT_EQ(temp.Read("Ziel/belegt.txt"), "bleibt");
    EXPECT_EQ(temp.Read("Ziel/Ordner/drin.txt"), "bleibt");
  }
  TempFolder temp;
  EXPECT_FALSE(MoveFileWithin(temp.Path() + "fehlt.txt", temp.Path() + "neu.txt"));
}
