// The server walk against the real test update server, started on free
// loopback ports for each test.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

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
  // A server of its own for the next walk in the same test.
  void StopServer() { server_.Stop(); }

  std::string Tree() const { return f.temp.Path() + "server/"; }

  void Serve(const std::string& options = "") {
    ASSERT_TRUE(server_.Start(Tree(), options));
    f.form->Ftp().Configure("127.0.0.1", server_.FtpPort());
    ASSERT_TRUE(f.form->Ftp().Connect());
  }

  std::string Log() const { return server_.Log(); }

  // The FTP events of one kind, each as its connection and its argument.
  std::vector<std::pair<std::string, std::string>> Events(const std::string& pattern) const {
    const std::string log = Log();
    const std::regex event("\"conn\": (\\d+), " + pattern);
    std::vector<std::pair<std::string, std::string>> found;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), event);
         it != std::sregex_iterator(); ++it) {
      found.emplace_back((*it)[1], it->size() > 2 ? (*it)[2].str() : "");
    }
    return found;
  }
  std::vector<std::pair<std::string, std::string>> Listings() const {
    return Events("\"cmd\": \"(?:MLSD|LIST)\", \"arg\": \"([^\"]*)\"");
  }
  std::size_t EventCount(const std::string& name) const {
    return Events("\"event\": \"" + name + "\"").size();
  }

  // Ten folders below the product's, some with more below, so that the
  // walk has several folders to list at once.
  void WriteWideTree() {
    f.temp.Write("server/Quennvoldar/a.txt", "a");
    f.temp.Write("server/Produkt/oben.txt", "top");
    for (int group = 0; group < 10; ++group) {
      const std::string folder = "server/Produkt/Gruppe " + std::to_string(group) + "/";
      f.temp.Write(folder + "g.txt", std::string(group + 1, 'g'));
      for (int part = 0; part < group % 3; ++part) {
        f.temp.Write(folder + "Teil" + std::to_string(part) + "/t.bin", std::string(part, 't'));
      }
    }
  }

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

// Every folder once, whatever the connections: the list of one connection.
TEST_F(ServerWalkTest, ListingOnSeveralConnectionsGivesTheListOfOne) {
  WriteWideTree();
  using Entry = std::tuple<std::string, std::string, std::string, std::int64_t, TDateTime>;
  const auto walk = [this](const std::string& options) {
    Serve(options);
    const NextStep next =
        discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());
    EXPECT_EQ(next, NextStep::Download) << options;
    std::vector<Entry> list;
    for (const TDownloadFile& file : f.form->State().DownloadFiles) {
      list.emplace_back(file.Name, file.ServOrdner, file.DownOrdner, file.Size, file.Datum);
    }
    return list;
  };
  for (const std::string listing : {"", "--no-mlsd "}) {
    // A server that allows one login at a time refuses the further ones.
    const std::vector<Entry> oneConnection = walk(listing + "--ftp-max-logins 1");
    EXPECT_EQ(EventCount("login"), 1u) << listing;
    EXPECT_GT(EventCount("login_failed"), 0u) << listing;
    f.form->Ftp().Disconnect();
    StopServer();

    const std::vector<Entry> several = walk(listing);
    EXPECT_GT(EventCount("login"), 1u) << listing;
    std::set<std::string> connections;
    std::multiset<std::string> folders;
    for (const auto& [connection, folder] : Listings()) {
      connections.insert(connection);
      folders.insert(folder);
    }
    EXPECT_GT(connections.size(), 1u) << listing;
    EXPECT_EQ(folders.size(), std::set<std::string>(folders.begin(), folders.end()).size())
        << listing << "a folder listed twice";
    EXPECT_EQ(folders.size(), 2u + 10u + 9u) << listing;
    EXPECT_EQ(several, oneConnection) << listing;
    EXPECT_EQ(several.size(), 2u + 10u + 9u) << listing;
    f.form->Ftp().Disconnect();
    StopServer();
  }
}

TEST_F(ServerWalkTest, CancelWhileSeveralConnectionsListEndsThemAll) {
  WriteWideTree();
  Serve("--ftp-list-delay 1");
  // Cancelled once three connections wait for their listings.
  std::function<void()> cancelWhenListingOnThree = [&] {
    std::set<std::string> listing;
    for (const auto& [connection, folder] : Listings()) listing.insert(connection);
    if (listing.size() >= 3) {
      f.form->Button1Click();
    } else {
      f.ui->onNextProcessMessages = cancelWhenListingOnThree;
    }
  };
  f.ui->onNextProcessMessages = cancelWhenListingOnThree;
  const NextStep next =
      discovery::Ftp1AfterClientLogin(f.form->State(), *f.form, f.form->Ftp(), f.form->Http());

  EXPECT_EQ(next, NextStep::Close);
  EXPECT_TRUE(f.form->State().CancelS);
  EXPECT_EQ(f.form->State().Status, TStatus::sNoUpdated);
  EXPECT_TRUE(f.ui->informations.empty()) << "no search error";
  EXPECT_LT(f.form->State().DownloadFiles.size(), 2u + 10u) << "the walk went no further";
  f.form->Ftp().Disconnect();
  // The server notes each end as it comes.
  for (int wait = 0; wait < 100 && EventCount("disconnect") < EventCount("connect"); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_GE(EventCount("connect"), 3u);
  EXPECT_EQ(EventCount("disconnect"), EventCount("connect")) << "a connection stayed";
}
