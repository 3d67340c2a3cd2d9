// Named mutexes, program starts and the own path within one process; the
// behaviour between processes is covered by tests/integration.
#include "platform/process.h"

#include <cctype>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace {

// Mutexes live in one namespace per user: a random part keeps test runs
// from meeting each other or a real program.
std::string UniqueName(const std::string& prefix) {
  static const std::string run = std::to_string(std::random_device{}());
  static int serial = 0;
  return prefix + " qvtest-" + run + "-" + std::to_string(++serial);
}

// ---- Named mutex ----

class NamedMutexNames : public testing::TestWithParam<const char*> {};

TEST_P(NamedMutexNames, HeldUntilClosedAndOnlyUnderItsExactName) {
  const std::string name = UniqueName(GetParam());
  NamedMutex mutex = NamedMutex::Create(name);
  ASSERT_TRUE(mutex.Valid());
  EXPECT_FALSE(mutex.AlreadyExisted());
  EXPECT_TRUE(MutexExists(name));

  NamedMutex second = NamedMutex::Create(name);
  EXPECT_TRUE(second.Valid());
  EXPECT_TRUE(second.AlreadyExisted());
  second.Close();
  EXPECT_TRUE(MutexExists(name)) << "closing the second handle released the first";

  mutex.Close();
  EXPECT_FALSE(MutexExists(name));
  EXPECT_FALSE(NamedMutex::Create(name).AlreadyExisted());
}

INSTANTIATE_TEST_SUITE_P(Names, NamedMutexNames,
                         testing::Values("Produkt V1.43", "ordner/mit/schrägstrich", "Größe", ".",
                                         "..", "%41 encoded-looking", "tab\there"));

TEST(NamedMutex, NamesDifferingInCaseAreDifferentMutexes) {
  const std::string name = UniqueName("CaseName");
  NamedMutex upper = NamedMutex::Create(name);
  ASSERT_TRUE(upper.Valid());
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_FALSE(MutexExists(lower));
  NamedMutex other = NamedMutex::Create(lower);
  EXPECT_TRUE(other.Valid());
  EXPECT_FALSE(other.AlreadyExisted());
}

// Sixty umlauts fit a Windows name but not an encoded file name.
TEST(NamedMutex, LongNamesWorkAndStayApart) {
  std::string umlauts;
  for (int i = 0; i < 60; ++i) umlauts += "ä";
  const std::string common = UniqueName(umlauts);
  NamedMutex first = NamedMutex::Create(common + "a");
  ASSERT_TRUE(first.Valid());
  EXPECT_TRUE(MutexExists(common + "a"));
  EXPECT_FALSE(MutexExists(common + "b"));
  EXPECT_FALSE(NamedMutex::Create(common + "b").AlreadyExisted());
}

TEST(NamedMutex, MovedMutexStaysHeldByItsNewOwner) {
  const std::string name = UniqueName("Moved");
  NamedMutex target;
  EXPECT_FALSE(target.Valid());
  {
    NamedMutex source = NamedMutex::Create(name);
    target = std::move(source);
  }
  EXPECT_TRUE(target.Valid());
  EXPECT_TRUE(MutexExists(name));
  target = NamedMutex();
  EXPECT_FALSE(MutexExists(name));
}

TEST(NamedMutex, CheckingLeavesNothingHeld) {
  const std::string name = UniqueName("Checked");
  EXPECT_FALSE(MutexExists(name));
  EXPECT_FALSE(MutexExists(""));
  NamedMutex mutex = NamedMutex::Create(name);
  EXPECT_TRUE(mutex.Valid());
  EXPECT_FALSE(mutex.AlreadyExisted());
}

// ---- Programs and paths ----

TEST(StartProgram, MissingProgramIsNotStarted) {
  const auto missing = std::filesystem::temp_directory_path() / UniqueName("kein-programm");
  EXPECT_FALSE(StartProgram(missing.string(), ""));
}

TEST(GetExecutablePath, NamesTheRunningTestProgram) {
  const std::filesystem::path path = GetExecutablePath();
  EXPECT_TRUE(path.is_absolute());
  EXPECT_TRUE(std::filesystem::is_regular_file(path));
  EXPECT_EQ(path.stem().string(), "qv_tests");
}

}  // namespace
