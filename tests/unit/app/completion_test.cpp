#include <gtest/gtest.h>

#include "form_fixture.h"
#include "platform/list_file.h"
#include "platform/paths.h"
#include "platform/window_messages.h"

namespace {

// The comparison and job files carry the running executable's name.
std::string RunFile(const FormFixture& f, const std::string& extension) {
  return ChangeFileExt(f.form->State().OwnExeName(), extension);
}

// A loaded run whose main program window title ends with "Hauptfenster QV-test".
void LoadRun(FormFixture& f) {
  f.temp.Write("P.cfg", "Prod\r\nHauptfenster QV-test\r\n/opt/p/main\r\nProdukt\r\n");
  f.temp.Write(RunFile(f, ".fn"), "");
  ASSERT_TRUE(LoadConfig(f.form->State(), *f.form));
  f.temp.Write("Produkt/" + RunFile(f, ".job"), "l x\r\n");
  f.ui->informations.clear();
}

}  // namespace

TEST(OutcomeMessage, OneTextPerStatusWithTheProductName) {
  EXPECT_EQ(OutcomeMessage(TStatus::sYesUpdated, "P"),
            "Die Aktualisierung von \"P\" wurde erfolgreich abgeschlossen!");
  EXPECT_EQ(OutcomeMessage(TStatus::sIsUpdated, "P"), "\"P\" ist bereits aktuell!");
  EXPECT_EQ(OutcomeMessage(TStatus::sNoUpdated, "P"),
            "Die Aktualisierung von \"P\" wurde nicht abgeschlossen!\r\n"
            "Sie können auch folgende Homepage besuchen: https://www.quennvoldar.example");
  EXPECT_EQ(OutcomeMessage(TStatus::sError, "P").substr(0, 52),
            "Ein Fehler trat bei der Aktualisierung von \"P\" auf!\r");
}

TEST(FormClose, AsksToStartTheMainProgramOnlyWhenItsWindowIsGone) {
  {
    FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
    LoadRun(f);
    f.form->State().Status = TStatus::sIsUpdated;
    f.ui->Close();
    EXPECT_TRUE(f.ui->informations.empty());
    ASSERT_EQ(f.ui->questions.size(), 1u);
    EXPECT_EQ(f.ui->questions[0],
              "\"Produkt\" ist bereits aktuell!\r\nSoll das Programm gestartet werden?");
    EXPECT_FALSE(f.temp.Exists("P.cfg"));
    EXPECT_FALSE(f.temp.Exists(RunFile(f, ".fn")));
    EXPECT_FALSE(f.temp.Exists("Produkt/" + RunFile(f, ".job")));
  }
  {
    MessageWindow mainProgram("Produkt - Hauptfenster QV-test", [](unsigned) {});
    FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
    LoadRun(f);
    f.form->State().Status = TStatus::sYesUpdated;
    f.ui->Close();
    EXPECT_TRUE(f.ui->questions.empty());
    ASSERT_EQ(f.ui->informations.size(), 1u);
    EXPECT_EQ(f.ui->informations[0],
              "Die Aktualisierung von \"Produkt\" wurde erfolgreich abgeschlossen!");
  }
}

TEST(FormClose, NothingWhenTheConfigurationNeverLoaded) {
  FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
  f.temp.Write(RunFile(f, ".fn"), "");
  f.ui->Close();
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_TRUE(f.ui->questions.empty());
  EXPECT_TRUE(f.temp.Exists(RunFile(f, ".fn")));
}

TEST(FormClose, RestartLeavesTheRunFilesForTheSecondCopy) {
  FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
  LoadRun(f);
  f.form->State().StartUpdater2S = true;
  bool released = false;
  f.form->SetInstanceGuardRelease([&released] { released = true; });
  f.ui->Close();
  EXPECT_TRUE(released);
  EXPECT_TRUE(f.ui->informations.empty());
  EXPECT_TRUE(f.ui->questions.empty());
  EXPECT_TRUE(f.temp.Exists("P.cfg"));
  EXPECT_TRUE(f.temp.Exists(RunFile(f, ".fn")));
  EXPECT_TRUE(f.temp.Exists("Produkt/" + RunFile(f, ".job")));
}

TEST(UninstList, WrittenOnlyWhenItHoldsMoreThanItsOwnPath) {
  FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
  const std::string listPath = f.temp.Path() + "Quennvoldar.dat";
  f.form->State().UninstFilename = listPath;
  SyncUninstList(f.form->State(), true);
  ASSERT_EQ(f.form->State().UninstSl.lines, std::vector<std::string>{listPath});
  SyncUninstList(f.form->State(), false);
  EXPECT_FALSE(f.temp.Exists("Quennvoldar.dat"));

  f.form->State().UninstSl.lines = {"/opt/p/fremd.dll"};
  SyncUninstList(f.form->State(), false);
  ASSERT_TRUE(f.temp.Exists("Quennvoldar.dat"));
  SyncUninstList(f.form->State(), true);
  EXPECT_EQ(f.form->State().UninstSl.lines,
            (std::vector<std::string>{"/opt/p/fremd.dll", listPath}));
}
