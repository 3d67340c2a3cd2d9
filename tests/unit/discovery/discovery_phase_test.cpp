// The discovery tick's way out when the update server cannot be reached.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "../app/form_fixture.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "resources/texts.h"

TEST(DiscoveryPhase, ASecondCopyThatCannotConnectDoesNotFetchItselfAgain) {
  FormFixture f({"Quennvoldar2", "Produkt.cfg"});
  const std::string install = f.temp.Path() + "install" + kPathDelim;
  const std::string secondCopy = std::string(kSecondCopyName) + kExeSuffix;
  f.temp.Write("install/" + secondCopy, "the running second copy");
  ASSERT_TRUE(SetReadOnly(install + secondCopy));
  f.temp.Write("Produkt.cfg", "Mutex\r\nFenster\r\n" + install + "main\r\nProdukt\r\n");
  f.form->State().ExePath = install + secondCopy;
  f.form->Ftp().Configure("127.0.0.1", 1);  // nothing listens there
  f.ui->answers = {true, true};             // past the administrator and internet checks

  f.form->OnTimer(1);

  EXPECT_EQ(f.form->State().Status, TStatus::sError);
  EXPECT_EQ(f.ui->informations, std::vector<std::string>{kMsgNoConnection});
  EXPECT_FALSE(f.form->State().StartUpdater2S);
  EXPECT_TRUE(f.ui->closed);
  // Its own program file was never touched, let alone fetched anew.
  EXPECT_EQ(f.temp.Read("install/" + secondCopy), "the running second copy");
  const auto permissions = std::filesystem::status(install + secondCopy).permissions();
  EXPECT_EQ(permissions & std::filesystem::perms::owner_write, std::filesystem::perms::none);
}

TEST(DiscoveryPhase, AnUnexpectedExceptionEndsTheRunAsFailedWithItsOutcome) {
  FormFixture f({"Quennvoldar", "Produkt.cfg"});
  const std::string install = f.temp.Path() + "install" + kPathDelim;
  f.temp.Write("Produkt.cfg", "Mutex\r\nFenster\r\n" + install + "main\r\nProdukt\r\n");
  f.ui->answers = {true, true};  // past the administrator and internet checks
  // Something unforeseen throws the first time the window answers (at the
  // connecting status line).
  f.ui->onNextProcessMessages = [] { throw std::runtime_error("unexpected"); };

  f.form->OnTimer(1);

  EXPECT_EQ(f.form->State().Status, TStatus::sError);
  EXPECT_TRUE(f.ui->closed);
  ASSERT_FALSE(f.ui->questions.empty());
  EXPECT_EQ(f.ui->questions.back(),
            OutcomeMessage(TStatus::sError, "Produkt") + "\r\n" + kQuestionStartProgram);
}
