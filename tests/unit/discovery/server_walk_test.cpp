// The server walk against the real test update server, started on free
// loopback ports for each test.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "../app/form_fixture.h"
#include "../support/test_update_server.h"
#include "platform/paths.h"
#include "resources/texts.h"

namespace {

class ServerWalkTest : public ::testing::Test {
 protected:
  ServerWalkTest() : f({"/opt/q/Quennvoldar", "Produkt.cfg"}) {
    f.form->State().InstallOrdner = f.temp.Path() + "install" + kPathDelim;
    f.form->State().DownloadOrdner = f.temp.Path() + "download" + kPathDelim;
    f.form->State().UpdaterOrdner[1] = "/Quennvoldar/";
    f.form->State().ServerOrdner[1] = "/Produkt/";
  }

  std::string Tree() const { return f.temp.Path() + "server/"; }

  void Serve(const std::string& options = "") {
    ASSERT_TRUE(server_.Start(Tree(), options));
    f.form->Ftp().Configure("127.0.0.1", server_.FtpPort());
    ASSERT_TRUE(f.form->Ftp().Connect());
  }

  std::string Log() const { return server_.Log(); }

  FormFixture f;

 private:
  TestUpdateServer server_{f.temp.Path() + "server-run"};
};

}  // namespace

TEST_F(ServerWalkTest, CancelDuringAListingAbortsItWithoutTheSearchError) {
  f.temp.Write("server/Quennvoldar/a.txt", "a");
  f.temp.Write("server/Produkt/b.txt", "b");
  Serve();
  // The first pending-events call is the status line; the next one comes
  // from the FTP client while it lists the updater's folder.
  f.ui->onNextProcessMessages = [this] {
    f.ui->onNextProcessMessages = [this] { f.form->Button1Click(); };
  };
  const NextStep next =
      discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());

  EXPECT_TRUE(f.form->State().CancelS);
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_EQ(next, NextStep::Close);
  EXPECT_TRUE(f.form->State().DownloadFiles.empty());
  EXPECT_EQ(Log().find("\"/Produkt\""), std::string::npos) << "the product folder is not entered";
}

TEST_F(ServerWalkTest, LinksSkippedAndAnEmptyProductFolderStillStartsTheDownload) {
  f.temp.Write("server/Quennvoldar/a.txt", "a");
  std::filesystem::create_symlink("a.txt", Tree() + "Quennvoldar/link.txt");
  std::filesystem::create_directories(Tree() + "Produkt");
  Serve("--no-mlsd");  // LIST shows links as links; MLSD follows them
  const NextStep next =
      discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());

  ASSERT_EQ(f.form->State().DownloadFiles.size(), 1u);
  EXPECT_EQ(f.form->State().DownloadFiles[0].Name, "a.txt");
  EXPECT_EQ(next, NextStep::Download);
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_EQ(f.ui->statusTexts.back(), kTextBuildingList);
}

TEST_F(ServerWalkTest, FailedListingShowsTheSearchError) {
  f.temp.Write("server/Quennvoldar/a.txt", "a");
  Serve();  // no product folder
  const NextStep next =
      discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());

  EXPECT_EQ(f.form->State().Status, TStatus::sError);
  EXPECT_TRUE(f.form->State().CancelS);
  ASSERT_EQ(f.ui->informations.size(), 1u);
  EXPECT_EQ(f.ui->informations[0], kMsgWalkFailed);
  EXPECT_EQ(next, NextStep::Close);
}

TEST_F(ServerWalkTest, WhatTheServerNoLongerOffersLeavesTheDownloadFolder) {
  f.temp.Write("server/Quennvoldar/a.txt", "a");
  f.temp.Write("server/Produkt/b.txt", "b");
  f.temp.Write("download/b.txt", "b");  // complete, waits to be installed
  const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
  std::filesystem::last_write_time(Tree() + "Produkt/b.txt", when);
  std::filesystem::last_write_time(f.temp.Path() + "download/b.txt", when);
  f.temp.Write("download/weg.zip", "withdrawn and damaged");
  f.temp.Write("download/Unter/entpackt.txt", "from an archive");
  Serve();
  const NextStep next =
      discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());

  EXPECT_EQ(next, NextStep::Download);
  EXPECT_TRUE(f.temp.Exists("download/b.txt"));
  EXPECT_FALSE(f.temp.Exists("download/weg.zip"));
  EXPECT_FALSE(f.temp.Exists("download/Unter/entpackt.txt"));
  ASSERT_EQ(f.form->State().DownloadFiles.size(), 1u);
  EXPECT_EQ(f.form->State().DownloadFiles[0].Name, "a.txt");
}
