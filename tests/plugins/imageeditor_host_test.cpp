// The image-editor plug-in inside its stand-in host: documents opened against a fake main program,
// the reopen after an activation, and every way the dialog's session can end.
#include <gtest/gtest.h>

#include "activation/pipe_protocol.h"
#include "fake_gly.h"
#include "plugin_test_util.h"

namespace {

// Found-Bold is used by two layers: one row, missing as in the first layer. Courier is a font the
// host has.
const char kPoster[] =
    "layer Title\n"
    "text substitutes\n"
    "style Found-Bold|Arial|Bold\n"
    "style Missing-Italic|Times|Italic\n"
    "layer Body\n"
    "text present\n"
    "style Courier|Courier New|Regular\n"
    "layer Caption\n"
    "text present\n"
    "style Found-Bold|Arial|Bold\n"
    "layer Picture\n";

const std::string kOpenPoster = "open C:\\docs\\poster.psd\n";
const std::wstring kDocumentMessage = std::wstring(glypipe::kLogPrefix) + L"C:\\docs\\poster.psd";
const std::wstring kEnd(glypipe::kEndMarker);

std::vector<std::string> RunImageEditor(const std::string& script, const std::wstring& name, DWORD ms = 120000) {
  return RunHost(script, name, ms, L"imageeditor_host.exe");
}

std::string Row(int row, bool selected, int icon, const std::string& name, const std::string& text) {
  return "final row " + std::to_string(row) + ": " + (selected ? "* " : "") + "icon=" + std::to_string(icon) + " | " +
         name + " | icon=114 | " + text;
}

TEST(ImageEditorHost, ActivatesTheMissingFontsAndReopensTheDocument) {
  FakeGlyOptions options;
  options.folderAnswer = 0x0001;
  options.results = {{L"Found-Bold", 14}};
  options.progressFolder = L"C:\\fonts";
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "chooser C:\\fonts\ndialog ok\nreopen-fixed\n" + kOpenPoster,
                            L"ie_activate");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "status: Launch  application \"Glyphary\" successfully"));
  EXPECT_TRUE(HasLine(log, "chooser: Please select a folder to search for unactivated fonts -> C:\\fonts"));
  EXPECT_TRUE(HasLine(log, "status: GLY is searching in folder: C:\\fonts"));
  EXPECT_TRUE(HasLine(log, Row(0, true, 112, "Found-Bold", "GLY activated font successfully")));
  EXPECT_TRUE(HasLine(log, Row(1, false, 113, "Missing-Italic", "GLY cannot find font file")));
  EXPECT_TRUE(HasLine(log, Row(2, false, 112, "Courier", "Already activated")));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
  EXPECT_TRUE(HasLine(log, "tooltip: Reopen psd file...... at 512,384"));
  EXPECT_TRUE(HasLine(log, "play close C:\\docs\\poster.psd saving=YsN /N    mode=2"));
  EXPECT_TRUE(HasLine(log, "play open C:\\docs\\poster.psd mode=2"));
  EXPECT_EQ(CountContaining(log, "dialog 18001"), 1u);  // the reopened document lacks nothing
  EXPECT_TRUE(HasLine(log, "suites still held: 0"));
  EXPECT_FALSE(HasLineContaining(log, "error:"));  // no redraw or button change off the dialog's thread
  EXPECT_TRUE(HasLine(log, "host done"));
  EXPECT_EQ(gly.Codes(), (std::vector<WPARAM>{3, 4, 2}));
  EXPECT_EQ(gly.CopyData(), (std::vector<std::string>{"1 512 C:\\fonts"}));
  EXPECT_EQ(gly.PipeMessages(),
            (std::vector<std::wstring>{L"*@&$*C:\\fonts", kDocumentMessage, L"Found-Bold", L"Missing-Italic", kEnd}));
}

TEST(ImageEditorHost, AReopenedDocumentThatStillMissesFontsShowsTheDialogAgain) {
  FakeGlyOptions options;
  options.results = {{L"Found-Bold", 14}};
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "dialog ok\ndialog cancel-on Launch\n" + kOpenPoster,
                            L"ie_reopen_again");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(CountContaining(log, "dialog 18001"), 2u);
  EXPECT_EQ(CountContaining(log, "play open"), 1u);  // the second dialog was cancelled
  EXPECT_TRUE(HasLine(log, "host done"));
}

TEST(ImageEditorHost, NothingActivatedLeavesTheDocumentOpen) {
  FakeGlyOptions options;
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "dialog ok\n" + kOpenPoster, L"ie_none");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, Row(0, true, 113, "Found-Bold", "GLY cannot find font file")));
  EXPECT_FALSE(HasLineContaining(log, "play close"));
  EXPECT_FALSE(HasLineContaining(log, "Reopen"));
  EXPECT_TRUE(gly.CopyData().empty());
  EXPECT_EQ(gly.PipeMessages(), (std::vector<std::wstring>{kDocumentMessage, L"Found-Bold", L"Missing-Italic", kEnd}));
}

TEST(ImageEditorHost, OnlyMissingFontsOpenTheDialogButTheMenuAlwaysDoes) {
  FakeGlyOptions options;
  FakeGly gly(options);
  const std::string present =
      "layer Body\ntext present\nstyle Courier|Courier New|Regular\nlayer Unknown\ntext unknown\n"
      "style Mystery|Mystery|Regular\nlayer Picture\n";
  auto log = RunImageEditor(present + kOpenPoster + "menu\n", L"ie_menu");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(CountContaining(log, "dialog 18001"), 1u);  // from the menu only
  EXPECT_TRUE(HasLine(log, Row(0, true, 112, "Courier", "Already activated")));
  EXPECT_TRUE(HasLine(log, Row(1, false, 111, "Mystery", "Font name read from file")));
  EXPECT_TRUE(HasLine(log, "menu: 0"));
  // Nothing is missing: the document path (empty for the menu) and the end of the list.
  EXPECT_EQ(gly.PipeMessages(), (std::vector<std::wstring>{std::wstring(glypipe::kLogPrefix), kEnd}));
}

TEST(ImageEditorHost, AVersionMismatchShowsWhichSideIsOlderAndStartsNoSession) {
  struct Case {
    LRESULT version;
    const char* status;
  } cases[] = {
      {6, kPluginOlderStatus},
      {4, kProgramOlderStatus},
      {0, kProgramOlderStatus},
  };
  for (const Case& c : cases) {
    FakeGlyOptions options;
    options.version = c.version;
    FakeGly gly(options);
    auto log = RunImageEditor(std::string(kPoster) + "dialog ok\n" + kOpenPoster, L"ie_version");
    SCOPED_TRACE(JoinLines(log));
    EXPECT_TRUE(HasLine(log, c.status));
    EXPECT_TRUE(HasLine(log, Row(0, true, 111, "Found-Bold", "Font name read from file")));
    EXPECT_TRUE(HasLine(log, "host done"));
    EXPECT_EQ(gly.Codes(), (std::vector<WPARAM>{3}));
    EXPECT_TRUE(gly.PipeMessages().empty());
  }
}

TEST(ImageEditorHost, NoFolderChosenWhenOneIsRequiredStartsNoSession) {
  FakeGlyOptions options;
  options.folderAnswer = 0x0001;
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "chooser cancel\ndialog ok\n" + kOpenPoster, L"ie_no_folder");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_EQ(gly.Codes(), (std::vector<WPARAM>{3, 4}));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=1"));
}

TEST(ImageEditorHost, WithoutAProgramOrWithAHungOneTheRowsSayTheLaunchFailed) {
  for (bool hung : {false, true}) {
    FakeGlyOptions options;
    options.hung = true;
    std::unique_ptr<FakeGly> gly;
    if (hung) gly = std::make_unique<FakeGly>(options);
    auto log = RunImageEditor(std::string(kPoster) + "dialog ok\n" + kOpenPoster, L"ie_no_program");
    SCOPED_TRACE(JoinLines(log));
    EXPECT_TRUE(HasLine(log, Row(0, true, 113, "Found-Bold", "Failed to launch application \"Glyphary\"")));
    EXPECT_TRUE(HasLine(log, Row(2, false, 113, "Courier", "Failed to launch application \"Glyphary\"")));
    EXPECT_TRUE(HasLine(log, "final status: Failed to launch application \"Glyphary\""));
    EXPECT_TRUE(HasLine(log, "host done"));
  }
}

TEST(ImageEditorHost, PipeFailuresShowThatTheNamesCouldNotBeSent) {
  // A server that never opens its pipe (error 104) and one that drops it mid-session (error 105).
  for (bool opens : {false, true}) {
    FakeGlyOptions options;
    options.pipe = opens;
    options.dropAfterEnd = true;
    FakeGly gly(options);
    auto log = RunImageEditor(std::string(kPoster) + "dialog ok\n" + kOpenPoster, L"ie_pipe_failure");
    SCOPED_TRACE(JoinLines(log));
    EXPECT_TRUE(HasLine(log, Row(0, true, 111, "Found-Bold", "Couldn't send font names to Glyphary.")));
    EXPECT_TRUE(HasLine(log, Row(2, false, 112, "Courier", "Already activated")));
    EXPECT_TRUE(HasLine(log, "final buttons: ok=1 cancel=0"));
    EXPECT_FALSE(HasLineContaining(log, "error:"));
    EXPECT_TRUE(HasLine(log, "host done"));
  }
}

TEST(ImageEditorHost, CancelStopsTheSessionAndTheThreadEndsBeforeTheDialogsDataGoes) {
  FakeGlyOptions options;
  options.replyNothing = true;
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "dialog cancel-on Sending font name\n" + kOpenPoster,
                            L"ie_cancel");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "final row 0: * icon=111 | Found-Bold | icon=114 | Sending font name to GLY..."));
  EXPECT_TRUE(HasLine(log, "final buttons: ok=0 cancel=1"));
  EXPECT_TRUE(HasLine(log, "dialog ends with item 2"));
  EXPECT_FALSE(HasLine(log, "host: dialog timeout"));
  EXPECT_FALSE(HasLineContaining(log, "play close"));
  EXPECT_TRUE(HasLine(log, "host done"));
}

TEST(ImageEditorHost, AStatusLineLongerThanOneReadIsTakenWhole) {
  FakeGlyOptions options;
  options.results = {{L"Found-Bold", 14}};
  options.fileFieldChars = 6000;  // more than 8,192 bytes in one message
  FakeGly gly(options);
  auto log = RunImageEditor(std::string(kPoster) + "dialog ok\nclose-fails\n" + kOpenPoster, L"ie_long_line");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, Row(0, true, 112, "Found-Bold", "GLY activated font successfully")));
  // A close that fails opens nothing.
  EXPECT_TRUE(HasLineContaining(log, "play close"));
  EXPECT_FALSE(HasLineContaining(log, "play open"));
}

TEST(ImageEditorHost, KeysMoveTheSelectedRowWithinTheList) {
  auto log = RunImageEditor(std::string(kPoster) + "dialog keys ddd\ndialog keys ehu\n" + kOpenPoster + kOpenPoster,
                            L"ie_keys");
  SCOPED_TRACE(JoinLines(log));
  // Down three times from the first of three rows stops at the last; end, home, up stays at the first.
  EXPECT_TRUE(HasLine(log, Row(2, true, 113, "Courier", "Failed to launch application \"Glyphary\"")));
  EXPECT_TRUE(HasLine(log, Row(0, true, 113, "Found-Bold", "Failed to launch application \"Glyphary\"")));
  EXPECT_EQ(CountContaining(log, "final row 0: *"), 1u);
}

TEST(ImageEditorHost, TheAboutBoxAndTheNotifiersLifetime) {
  auto log = RunImageEditor("about\n", L"ie_about");
  SCOPED_TRACE(JoinLines(log));
  EXPECT_TRUE(HasLine(log, "notifier registered for Opn "));
  EXPECT_TRUE(HasLine(log, "about 1019: Kindler 1.5"));
  EXPECT_TRUE(HasLine(log, "about 1020: A plug-in that finds unactivated font in opened document and calls "
                           "application 'Glyphary' to activate them."));
  EXPECT_TRUE(HasLine(log, "about title weight: 700"));
  EXPECT_TRUE(HasLine(log, "notifier removed for Opn "));
  EXPECT_TRUE(HasLine(log, "suites still held: 0"));
  EXPECT_FALSE(HasLineContaining(log, "error:"));
}

}  // namespace
