// The plug-in inside the stand-in host: a document with missing fonts opened against a fake main
// program, and every way the session can end.
#include <gtest/gtest.h>

#include "activation/pipe_protocol.h"
#include "fake_gly.h"
#include "plugin_test_util.h"

namespace {

const char kTwoMissingFonts[] =
    "font Arial Bold|Found-Bold|missing\n"
    "font Times Italic|Missing-Italic|missing\n"
    "font Courier|Courier|present\n";

const std::string kActivatedRow0 = "final row 0: icon=1511 sep=1513 name=Found-Bold text=GLY activated font successfully";
const std::string kNotFoundRow1 = "final row 1: icon=1512 sep=1513 name=Missing-Italic text=GLY cannot find font file";

bool Received(FakeGly& gly, WPARAM code) {
  for (WPARAM c : gly.Codes())
    if (c == code) return true;
  return false;
}

TEST(PageLayoutHost, ActivatesWhatTheProgramFindsAndHasTheHostRescan) {
  FakeGlyOptions options;
  options.folderAnswer = 0x0001;
  options.results = {{L"Found-Bold", 14}};
  options.progressFolder = L"C:\\fonts";
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "chooser C:\\fonts\nopen\n", L"activate");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "row 0: icon=1510 sep=1513 name=Found-Bold text=Font name read from file"));
  EXPECT_FALSE(HasLineContaining(log, "Failed to launch"));  // not while the program is being looked for
  EXPECT_TRUE(HasLine(log, "status: Launch  application \"Glyphary\" successfully"));
  EXPECT_TRUE(HasLine(log, "chooser: Please select a folder to search for unactivated fonts -> C:\\fonts"));
  EXPECT_TRUE(HasLine(log, "status: GLY is searching in folder \"C:\\fonts\""));
  EXPECT_TRUE(HasLine(log, kActivatedRow0));
  EXPECT_TRUE(HasLine(log, kNotFoundRow1));
  EXPECT_TRUE(HasLine(log, "host: rescanning fonts"));
  EXPECT_TRUE(HasLine(log, "host: font menus refreshed"));
  EXPECT_TRUE(HasLine(log, "final status: Update font subsystem successfully!"));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
  EXPECT_TRUE(HasLine(log, "host done"));
  EXPECT_EQ(gly.Codes(), (std::vector<WPARAM>{3, 4, 2}));
  EXPECT_EQ(gly.PipeMessages(), (std::vector<std::wstring>{L"*@&$*C:\\fonts", L"Found-Bold", L"Missing-Italic",
                                                           std::wstring(glypipe::kEndMarker)}));
}

TEST(PageLayoutHost, NothingActivatedMeansNoRescanAndAnEmptyStatusAfterTheFolderText) {
  FakeGlyOptions options;
  options.progressFolder = L"C:\\fonts";
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "open\n", L"none_found");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final row 0: icon=1512 sep=1513 name=Found-Bold text=GLY cannot find font file"));
  EXPECT_TRUE(HasLine(log, kNotFoundRow1));
  EXPECT_FALSE(HasLine(log, "host: rescanning fonts"));
  EXPECT_TRUE(HasLine(log, "final status: "));
}

TEST(PageLayoutHost, AFailedRescanRequestIsShown) {
  FakeGlyOptions options;
  options.results = {{L"Found-Bold", 14}};
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "no-font-manager\nopen\n", L"no_rescan");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, kActivatedRow0));
  EXPECT_TRUE(HasLine(log, "final status: Failed to update font subsystem."));
}

TEST(PageLayoutHost, AVersionMismatchEndsTheSessionBeforeItStarts) {
  struct Case {
    LRESULT version;
    const char* status;
  } cases[] = {
      {6, kPluginOlderStatus},
      {4, kProgramOlderStatus},
  };
  for (const auto& c : cases) {
    FakeGlyOptions options;
    options.version = c.version;
    FakeGly gly(options);
    auto log = RunHost(std::string(kTwoMissingFonts) + "open\n", L"version");
    SCOPED_TRACE(JoinLines(log));
    EXPECT_TRUE(HasLine(log, c.status));
    EXPECT_TRUE(HasLine(log, "final row 0: icon=1510 sep=1513 name=Found-Bold text=Font name read from file"));
    EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
    EXPECT_EQ(gly.Codes(), (std::vector<WPARAM>{3}));
  }
}

TEST(PageLayoutHost, WithoutAProgramTheRowsAndStatusSayTheLaunchFailed) {
  // No window and no installed program: nothing to start.
  auto log = RunHost(std::string(kTwoMissingFonts) + "open\n", L"no_window");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final status: Failed to launch application \"Glyphary\""));
  EXPECT_TRUE(HasLine(log, "row 0: icon=1512 sep=1513 name=Found-Bold text=Failed to launch application \"Glyphary\""));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
  EXPECT_TRUE(HasLine(log, "host done"));
}

TEST(PageLayoutHost, AProgramThatNeverAnswersDoesNotHangTheHost) {
  FakeGlyOptions options;
  options.hung = true;
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "open\n", L"hung");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final status: Failed to launch application \"Glyphary\""));
  EXPECT_TRUE(HasLine(log, "final row 1: icon=1512 sep=1513 name=Missing-Italic text=Failed to launch application \"Glyphary\""));
  EXPECT_TRUE(HasLine(log, "host done"));
}

TEST(PageLayoutHost, APipeThatNeverOpensMarksThePendingRows) {
  FakeGlyOptions options;
  options.pipe = false;
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "open\n", L"no_pipe");
  SCOPED_TRACE(JoinLines(log));
  // Shown while the dialog is open, not only when it is drawn again at the end.
  EXPECT_TRUE(HasLine(log, "row 0: icon=1510 sep=1513 name=Found-Bold text=Couldn't send font names to Glyphary."));
  EXPECT_TRUE(HasLine(log, "final row 1: icon=1510 sep=1513 name=Missing-Italic text=Couldn't send font names to Glyphary."));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
  EXPECT_TRUE(Received(gly, 2));
}

TEST(PageLayoutHost, CancelStopsTheWorkerBeforeTheHostGoesOn) {
  FakeGlyOptions options;
  options.replyNothing = true;
  FakeGly gly(options);
  auto log = RunHost(std::string(kTwoMissingFonts) + "dialog cancel-after 1500\nopen\n", L"cancel");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "pressed: Cancel"));
  EXPECT_TRUE(HasLine(log, "dialog closed: cancel"));
  EXPECT_TRUE(HasLine(log, "final row 0: icon=1510 sep=1513 name=Found-Bold text=Sending font name to GLY..."));
  EXPECT_TRUE(HasLine(log, "host done"));
}

TEST(PageLayoutHost, NoSessionStartsWithoutRecords) {
  struct Case {
    const char* script;
    const char* name;
  } cases[] = {
      {"font Courier|Courier|present\nopen\n", "no missing font"},
      {"font Gone|Gone|broken\nfont Lost|Lost|broken\nopen\n", "every entry skipped"},
      {"font A|A-PS|missing\nopen 0x1D006\n", "another signal"},
      {"font A|A-PS|missing\nstate 1\nopen\n", "host not running"},
      {"font A|A-PS|missing\nno-store\nopen\n", "no session store"},
  };
  FakeGly gly(FakeGlyOptions{});
  for (const auto& c : cases) {
    auto log = RunHost(c.script, L"no_session");
    SCOPED_TRACE(c.name);
    SCOPED_TRACE(JoinLines(log));
    EXPECT_FALSE(HasLineContaining(log, "dialog opened")) << c.name;
    EXPECT_TRUE(HasLine(log, "host done"));
  }
  EXPECT_TRUE(gly.Codes().empty());
}

TEST(PageLayoutHost, ListsTheFirstNameWhenTheSecondIsEmptyAndSkipsFontsItCannotMake) {
  FakeGlyOptions options;
  options.results = {{L"Plain Name", 14}};
  FakeGly gly(options);
  auto log = RunHost("font Gone|Gone-PS|broken\nfont Plain Name||missing\nopen\n", L"first_name");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final row 0: icon=1511 sep=1513 name=Plain Name text=GLY activated font successfully"));
  EXPECT_FALSE(HasLineContaining(log, "row 1"));
}

TEST(PageLayoutHost, MenuActionsShowTheAboutTextAndTheLastSessionsRows) {
  auto log = RunHost("menu 0x13D400\nmenu 0x13D404\n", L"menu_before");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLineContaining(log, "alert: Auto Kindler 1.5"));
  EXPECT_TRUE(HasLine(log, "dialog opened: Auto Kindler"));
  EXPECT_FALSE(HasLineContaining(log, "row 0"));
  EXPECT_TRUE(HasLine(log, "final status: "));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=1"));

  FakeGlyOptions options;
  options.results = {{L"Found-Bold", 14}};
  FakeGly gly(options);
  log = RunHost(std::string(kTwoMissingFonts) + "open\nmenu 0x13D404\n", L"menu_after");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(CountLines(log, kActivatedRow0), 2u);  // once at the session's end, once in the dialog from the menu
}

TEST(PageLayoutHost, ShowsTheSimplifiedChineseTexts) {
  auto log = RunHost(std::string(kTwoMissingFonts) + "locale zh_CN\nopen\n", L"chinese");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "dialog opened: \xE8\x87\xAA\xE5\x8A\xA8\xE6\xBF\x80\xE6\xB4\xBB"));  // 自动激活
  EXPECT_TRUE(HasLine(log, "final status: \xE6\x97\xA0\xE6\xB3\x95\xE5\x90\xAF\xE5\x8A\xA8\xE5\xBA\x94\xE7\x94\xA8"
                           "\xE7\xA8\x8B\xE5\xBA\x8F \"Glyphary\""));  // 无法启动应用程序 "Glyphary"
}

}  // namespace
