#include <gtest/gtest.h>

#include "form_fixture.h"
#include "platform/list_file.h"
#include "platform/paths.h"

namespace {

std::string Utf16Be(const std::string& utf8Lines) {
  ListFile file = DecodeListFile("\xEF\xBB\xBF" + utf8Lines);
  file.encoding = TextEncoding::Utf16BE;
  return EncodeListFile(file);
}

ListFile ReadBack(const FormFixture& f, const std::string& name) {
  return DecodeListFile(f.temp.Read(name));
}

}  // namespace

TEST(LoadConfig, Utf16FileOfThreeLinesComesBackAsTwentyOneWithTheRunsLines) {
  FormFixture f({"/opt/q/Quennvoldar", "Produkt.cfg"});
  f.temp.Write("Produkt.cfg", Utf16Be("Produkt V1.43\r\n\r\n/opt/produkt/main\r\n"));
  // Three lines: line 3 missing makes the product folder empty, which is refused.
  EXPECT_FALSE(LoadConfig(f.form->State(), *f.form));

  f.temp.Write("Produkt.cfg", Utf16Be("Produkt V1.43\r\n\r\n/opt/produkt/main\r\nProdukt\r\n"));
  ASSERT_TRUE(LoadConfig(f.form->State(), *f.form));
  const ListFile written = ReadBack(f, "Produkt.cfg");
  EXPECT_EQ(written.encoding, TextEncoding::Utf16BE);
  ASSERT_EQ(written.lines.size(), 21u);
  EXPECT_EQ(written.lines[11], "Produkt - Quennvoldar V1.44");
  // The updater's own file name: the test program's here.
  const std::string exe = f.form->State().OwnExeName();
  EXPECT_EQ(written.lines[12], f.temp.Path() + "Produkt" + kPathDelim + exe);
  EXPECT_EQ(written.lines[13], NativeSeparators("/opt/produkt/") + exe);
  EXPECT_EQ(written.lines[20], "0");
  EXPECT_EQ(f.temp.Read("Produkt.cfg").substr(0, 2), "\xFE\xFF");
  EXPECT_EQ(f.form->State().FensterTitel, "");
  EXPECT_EQ(f.form->State().InstallOrdner, NativeSeparators("/opt/produkt/"));
  EXPECT_EQ(f.form->State().DownloadOrdner, f.temp.Path() + "Produkt" + kPathDelim);
}

TEST(LoadConfig, InstallOnlyStartKeepsTheRunsLinesButStillFillsAndRewrites) {
  FormFixture f({"/opt/q/Quennvoldar", "P.cfg", "/u"});
  std::string lines = "M\r\nF\r\n/opt/p/main\r\nA\\B\r\n";
  for (int i = 4; i <= 24; ++i) lines += (i == 20 ? "1" : "keep" + std::to_string(i)) + "\r\n";
  f.temp.Write("P.cfg", lines);
  ASSERT_TRUE(LoadConfig(f.form->State(), *f.form));
  const ListFile written = ReadBack(f, "P.cfg");
  ASSERT_EQ(written.lines.size(), 25u);
  EXPECT_EQ(written.lines[11], "keep11");
  EXPECT_EQ(written.lines[20], "1");
  EXPECT_EQ(written.lines[24], "keep24");
  EXPECT_EQ(f.form->State().ServerOrdner[1], "/A/B/");
  EXPECT_EQ(f.form->State().ServerOrdner[2], "/vask/updates/A/B/");
  EXPECT_EQ(f.form->State().UpdaterOrdner[1], "/Quennvoldar/");
  EXPECT_EQ(f.form->State().DownloadOrdner, f.temp.Path() + "A" + kPathDelim + "B" + kPathDelim);
}

TEST(LoadConfig, FontAndColourLines) {
  struct Case {
    const char* line4;
    const char* line5;
    int size;
    const char* font;
    bool bold;
    int color;
    int back;
  };
  const Case cases[] = {
      {"  24   Times New Roman  ", "", 24, "Times New Roman  ", false, 0, 16777215},
      {"abc Verdana", "1 $FF 0x00FF00", 12, "Verdana", true, 255, 65280},
      {"16", "01 5 6", 16, "16", false, 5, 6},
      {"", "1 2", 12, "Arial", false, 0, 16777215},
      {"", "1 2 3 4", 12, "Arial", false, 0, 16777215},
      {"", "1 7 nope", 12, "Arial", true, 7, 16777215},
  };
  for (const Case& c : cases) {
    FormFixture f({"/opt/q/Quennvoldar", "P.cfg"});
    f.temp.Write("P.cfg", std::string("M\r\nF\r\n/opt/p/main\r\nP\r\n") + c.line4 + "\r\n" +
                              c.line5 + "\r\n");
    ASSERT_TRUE(LoadConfig(f.form->State(), *f.form)) << c.line4;
    EXPECT_EQ(f.ui->Style().sizePoints, c.size) << c.line4;
    EXPECT_EQ(f.ui->Style().fontName, c.font) << c.line4;
    EXPECT_EQ(f.ui->Style().bold, c.bold) << c.line5;
    EXPECT_EQ(f.ui->Style().textColor, c.color) << c.line5;
    EXPECT_EQ(f.ui->Style().backColor, c.back) << c.line5;
  }
}

TEST(LoadConfig, FailuresShowTheirMessageAndSetError) {
  struct Case {
    std::vector<std::string> args;
    const char* content;  // nullptr: no file
    const char* message;
  };
  const char* kConfig = "Die Konfigurationsdatei konnte nicht geladen werden!";
  const Case cases[] = {
      {{"/q/Quennvoldar"}, nullptr, "Der Updater darf nur vom Hauptprogramm gestartet werden!"},
      {{"/q/Quennvoldar", ""}, nullptr, kConfig},
      {{"/q/Quennvoldar", "missing.cfg"}, nullptr, kConfig},
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\n\r\nP\r\n", kConfig},
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\nmain.exe\r\nP\r\n", kConfig},
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\n/opt/p/main\r\n   \r\n", kConfig},
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\n/opt/p/main\r\n..\\..\\etc\r\n", kConfig},
      // Product folders that name the temporary folder itself.
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\n/opt/p/main\r\n.\r\n", kConfig},
      {{"/q/Quennvoldar", "P.cfg"}, "M\r\nF\r\n/opt/p/main\r\n.\\ . /\r\n", kConfig},
  };
  for (const Case& c : cases) {
    FormFixture f(c.args);
    if (c.content != nullptr) f.temp.Write("P.cfg", c.content);
    EXPECT_FALSE(LoadConfig(f.form->State(), *f.form));
    EXPECT_EQ(f.form->State().Status, TStatus::sError);
    ASSERT_EQ(f.ui->informations.size(), 1u);
    EXPECT_EQ(f.ui->informations[0], c.message);
    EXPECT_TRUE(f.form->State().FensterTitel.empty());
  }
}

TEST(InstanceTitle, ExtensionRemovedFromTheFileNameOnly) {
  EXPECT_EQ(MakeInstanceTitle("Produkt.cfg"), "Produkt - Quennvoldar V1.44");
  EXPECT_EQ(MakeInstanceTitle("Produkt"), "Produkt - Quennvoldar V1.44");
  EXPECT_EQ(MakeInstanceTitle("a.b.cfg"), "a.b - Quennvoldar V1.44");
  EXPECT_EQ(MakeInstanceTitle(""), " - Quennvoldar V1.44");
}
