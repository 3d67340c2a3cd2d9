// Finding windows by title, their stacking order and messages to windows of
// the own process; the same between processes is in tests/integration.
#include "platform/window_messages.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifndef _WIN32
#include "platform/posix/message_window_posix.h"
#endif

namespace {

// Every title holds a random token, so windows of other programs or test
// runs never match.
const std::string& Token() {
  static const std::string token = "qvtest" + std::to_string(std::random_device{}());
  return token;
}

void Ignore(unsigned) {}

// ---- Finding by title ----

struct TitleCase {
  std::string title;
  std::string text;
  bool found;
};

class TitleEnd : public testing::TestWithParam<TitleCase> {};

TEST_P(TitleEnd, MatchesWhenTheFirstOccurrenceEndsTheTitle) {
  const TitleCase& c = GetParam();
  MessageWindow window(c.title, Ignore);
  EXPECT_EQ(FindWindowByTitleEnd(c.text), c.found ? window.Handle() : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TitleEnd,
    testing::Values(TitleCase{"Produkt - " + Token() + " V1.44", Token() + " V1.44", true},
                    TitleCase{Token(), Token(), true},
                    TitleCase{"Größe " + Token() + " Ä", Token() + " Ä", true},
                    // the first occurrence is in the middle, the second ends it
                    TitleCase{Token() + " A " + Token() + " A", Token() + " A", false},
                    TitleCase{"x " + Token() + " A ", Token() + " A", false},
                    TitleCase{"x " + Token() + " A", Token() + " a", false},
                    TitleCase{"x " + Token() + " A", "", false}));

TEST(FindWindowByTitleEnd, OnlyTheFirst260CharactersOfATitleCount) {
  const std::string title = Token() + std::string(400, 'y') + "ENDE";
  MessageWindow window(title, Ignore);
  EXPECT_EQ(FindWindowByTitleEnd("yENDE"), 0u);
  EXPECT_EQ(FindWindowByTitleEnd(Token() + std::string(260 - Token().size(), 'y')),
            window.Handle());
}

TEST(FindWindowByTitleEnd, ClosedAndRetitledWindowsAreFoundByTheirCurrentTitle) {
  WindowHandle closed;
  {
    MessageWindow window("Alt " + Token(), Ignore);
    closed = window.Handle();
    EXPECT_EQ(FindWindowByTitleEnd("Alt " + Token()), closed);
  }
  EXPECT_EQ(FindWindowByTitleEnd("Alt " + Token()), 0u);

  MessageWindow window("Vorher " + Token(), Ignore);
  window.SetTitle("Nachher " + Token());
  EXPECT_EQ(FindWindowByTitleEnd("Vorher " + Token()), 0u);
  EXPECT_EQ(FindWindowByTitleEnd("Nachher " + Token()), window.Handle());
}

// ---- Stacking order ----

TEST(FindWindowByTitleEnd, TakesTheTopmostOfSeveralMatches) {
  MessageWindow first("1 - " + Token(), Ignore);
  MessageWindow second("2 - " + Token(), Ignore);
  EXPECT_EQ(FindWindowByTitleEnd(Token()), second.Handle()) << "the newest window is on top";

  first.BringToTop();
  EXPECT_EQ(FindWindowByTitleEnd(Token()), first.Handle());

  second.BringToTop();
  EXPECT_EQ(FindWindowByTitleEnd(Token()), second.Handle());

  second.SetTitle("2 - " + Token() + " umbenannt");
  EXPECT_EQ(FindWindowByTitleEnd(Token()), first.Handle());
}

#ifndef _WIN32
// Windows only reports a raise that made the window the foreground one,
// which a hidden test window never becomes; POSIX tells the owner instead.
TEST(ForceWindowToFront, OwnWindowComesOnTopAndItsOwnerIsTold) {
  MessageWindow first("1 - " + Token(), Ignore);
  MessageWindow second("2 - " + Token(), Ignore);
  int told = 0;
  SetRaisedCallback(first.Handle(), [&told] { ++told; });
  EXPECT_TRUE(ForceWindowToFront(first.Handle()));
  EXPECT_EQ(FindWindowByTitleEnd(Token()), first.Handle());
  EXPECT_EQ(told, 1);
}
#endif

// ---- Messages to own windows ----

TEST(SendWindowMessage, OwnWindowHandlesTheMessageBeforeTheCallReturns) {
  std::vector<unsigned> received;
  MessageWindow window("Empfänger " + Token(), [&](unsigned message) {
    received.push_back(message);
    // A handler that sends on to its own window must not deadlock.
    if (message == WM_SHOWREQUEST)
      SendWindowMessage(FindWindowByTitleEnd("Empfänger " + Token()), WM_CLOSEREQUEST);
  });
  SendWindowMessage(window.Handle(), WM_SHOWREQUEST);
  EXPECT_EQ(received, (std::vector<unsigned>{WM_SHOWREQUEST, WM_CLOSEREQUEST}));
  SendWindowMessage(window.Handle(), WM_CLOSEREQUEST);
  EXPECT_EQ(received.back(), WM_CLOSEREQUEST);
  window.ProcessMessages(0);
  EXPECT_EQ(received.size(), 3u) << "a sent message was delivered a second time";
}

TEST(SendWindowMessage, ClosedOrUnknownWindowsAreIgnored) {
  WindowHandle closed;
  {
    MessageWindow window("Weg " + Token(), [](unsigned) { FAIL() << "closed window handled it"; });
    closed = window.Handle();
  }
  SendWindowMessage(closed, WM_CLOSEREQUEST);
  SendWindowMessage(0, WM_CLOSEREQUEST);
  EXPECT_FALSE(ForceWindowToFront(closed));
  EXPECT_FALSE(ForceWindowToFront(0));
}

}  // namespace
