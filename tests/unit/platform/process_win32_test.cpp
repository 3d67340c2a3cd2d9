// Windows process port: the mutex test leaves no mutex behind, programs
// start through the shell with their parameters and working folder, and the
// own path and arguments come from the system.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "../support/temp_folder.h"
#include "base/strings.h"
#include "platform/file_system.h"
#include "platform/locale.h"
#include "platform/paths.h"

namespace {

// ---- Mutexes ----

TEST(ProcessWin32, MutexExistsCreatesNothingThatOutlivesTheQuestion) {
  const std::string name = "Produkt qvwin32-" + std::to_string(std::random_device{}());
  EXPECT_FALSE(MutexExists(name));
  EXPECT_FALSE(MutexExists(name)) << "the first question left a mutex behind";
  NamedMutex holder = NamedMutex::Create(name);
  ASSERT_TRUE(holder.Valid());
  EXPECT_FALSE(holder.AlreadyExisted());
  EXPECT_TRUE(MutexExists(name));
  EXPECT_TRUE(MutexExists(name)) << "asking must not release the holder's mutex";
  EXPECT_FALSE(MutexExists(""));
}

// ---- Programs ----

TEST(ProcessWin32, StartProgramPassesTheParameters) {
  const TempFolder temp;
  const std::string report = temp.Path() + "started.txt";
  ASSERT_TRUE(StartProgram("cmd.exe", "/c echo gestartet> \"" + report + "\""));
  // Bounded wait for the started program; it runs on its own.
  for (int tries = 0;
       tries < 400 && temp.Read("started.txt").find("gestartet\r\n") == std::string::npos;
       ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_EQ(temp.Read("started.txt"), "gestartet\r\n");

  EXPECT_FALSE(StartProgram(temp.Path() + "missing.exe", ""));
  EXPECT_FALSE(StartProgram("", ""));
  const std::string cut = "cmd.exe" + std::string(1, '\0') + "x";
  EXPECT_FALSE(StartProgram(cut, "/c exit"));
}

// ---- Own path and arguments ----

TEST(ProcessWin32, OwnPathAndFirstArgumentNameThisProgram) {
  const std::string path = GetExecutablePath();
  EXPECT_TRUE(SameText(ExtractFileName(path), "qv_tests.exe")) << path;
  EXPECT_TRUE(FileExists(path));

  const std::vector<std::string> arguments = GetCommandLineArguments(0, nullptr);
  ASSERT_FALSE(arguments.empty());
  EXPECT_TRUE(SameText(ExtractFileName(arguments[0]), "qv_tests.exe")) << arguments[0];
}

}  // namespace
