#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "../support/instant_clock.h"
#include "base/strings.h"
#include "install_fixture.h"
#include "platform/process.h"
#include "platform/window_messages.h"
#include "resources/texts.h"

namespace {

// The main program as the updater sees it: its mutex and its window, which
// records the messages and, unless it refuses, ends on the close request.
class MainProgram {
 public:
  MainProgram(const InstallFixture& f, bool refuseClose, bool withWindow = true)
      : mutex(NamedMutex::Create(f.mutexName)) {
    EXPECT_TRUE(mutex.Valid());
    if (!withWindow) return;
    window = std::make_unique<MessageWindow>("Produkt - " + f.windowTitle,
                                             [this, refuseClose](unsigned message) {
                                               received.push_back(message);
                                               if (message == WM_CLOSEREQUEST && !refuseClose) {
                                                 mutex.Close();
                                               }
                                             });
  }

  NamedMutex mutex;
  std::unique_ptr<MessageWindow> window;
  std::vector<unsigned> received;
};

bool Announced(const ScriptedFrontEnd& ui, const std::string& text) {
  return std::find(ui.statusTexts.begin(), ui.statusTexts.end(), text) != ui.statusTexts.end();
}

// How long the steps paused in all, as the test clock saw it; the window
// answered between every two slices.
int PausedMs() {
  const std::vector<int>& sleeps = TestClock().sleeps;
  EXPECT_LE(*std::max_element(sleeps.begin(), sleeps.end()), kAnsweringSliceMs);
  return std::accumulate(sleeps.begin(), sleeps.end(), 0);
}

}  // namespace

TEST(CloseMainProgram, NotRunningNeedsNoQuestion) {
  InstallFixture f;
  TestClock().sleeps.clear();
  EXPECT_TRUE(install::CloseMainProgram(f.form->State(), *f.form));
  EXPECT_TRUE(f.ui->questions.empty());
  EXPECT_TRUE(TestClock().sleeps.empty()) << "nothing to settle when no main program runs";
  f.form->State().CancelS = true;
  EXPECT_FALSE(install::CloseMainProgram(f.form->State(), *f.form));
}

TEST(CloseMainProgram, ARefusalSendsNothingAndLeavesCancelAlone) {
  InstallFixture f;
  MainProgram program(f, false);
  f.form->SetTrayMode(true);
  EXPECT_FALSE(install::CloseMainProgram(f.form->State(), *f.form));
  EXPECT_FALSE(f.form->State().CancelS);
  EXPECT_FALSE(f.ui->TrayIconVisible());  // the window came back for the question
  ASSERT_EQ(f.ui->questions.size(), 1u);
  EXPECT_EQ(f.ui->questions[0], "\"" + f.mutexName +
                                    "\" muss beendet werden, um die Aktualisierung fortsetzen "
                                    "zu können!\r\nSoll das programm geschlossen werden?");
  EXPECT_TRUE(program.received.empty());
}

TEST(CloseMainProgram, WithoutItsWindowTheRunGoesOn) {
  InstallFixture f;
  MainProgram program(f, false, false);
  f.ui->answers = {true};
  EXPECT_TRUE(install::CloseMainProgram(f.form->State(), *f.form));
  EXPECT_TRUE(MutexExists(f.mutexName));
  EXPECT_FALSE(Announced(*f.ui, kTextClosingMainProgram));
}

TEST(CloseMainProgram, AsksTheProgramToCloseAndWaitsForItsMutex) {
  InstallFixture f;
  MainProgram program(f, false);
  f.ui->answers = {true};
  TestClock().sleeps.clear();
  EXPECT_TRUE(install::CloseMainProgram(f.form->State(), *f.form));
  EXPECT_EQ(program.received, (std::vector<unsigned>{WM_SHOWREQUEST, WM_CLOSEREQUEST}));
  EXPECT_FALSE(MutexExists(f.mutexName));
  EXPECT_TRUE(Announced(*f.ui, kTextClosingMainProgram));
  EXPECT_GE(PausedMs(), 4 * 750) << "before all, after each message, after the wait";
}

TEST(CloseMainProgram, CancelEndsTheWaitForAProgramThatStays) {
  InstallFixture f;
  MainProgram program(f, true);
  f.ui->answers = {true};
  // The announcement passes first; the cancel arrives inside the wait.
  f.ui->onNextProcessMessages = [&f] {
    f.ui->onNextProcessMessages = [&f] { f.form->Button1Click(); };
  };
  EXPECT_FALSE(install::CloseMainProgram(f.form->State(), *f.form));
  EXPECT_EQ(program.received, (std::vector<unsigned>{WM_SHOWREQUEST, WM_CLOSEREQUEST}));
  EXPECT_TRUE(MutexExists(f.mutexName));
}
