// The discovery tick's way out when the update server cannot be reached.
#include <gtest/gtest.h>

#include <filesystem>
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
  f.form->ExePath = install + secondCopy;
  f.form->Ftp1.Configure("127.0.0.1", 1);  // nothing listens there
  f.ui->answers = {true, true};            // past the administrator and internet checks

  f.form->Timer1Timer();

  EXPECT_EQ(f.form->Status, TStatus::sError);
  EXPECT_EQ(f.ui->informations, std::vector<std::string>{kMsgNoConnection});
  EXPECT_FALSE(f.form->StartUpdater2S);
  EXPECT_TRUE(f.ui->closed);
  // Its own program file was never touched, let alone fetched anew.
  EXPECT_EQ(f.temp.Read("install/" + secondCopy), "the running second copy");
  const auto permissions = std::filesystem::status(install + secondCopy).permissions();
  EXPECT_EQ(permissions & std::filesystem::perms::owner_write, std::filesystem::perms::none);
}
