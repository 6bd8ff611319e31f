// The plug-in's pipe client and status mapping, called directly against an in-process fake of the
// main program.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "activation/pipe_protocol.h"
#include "fake_gly.h"
#include "missing_fonts_dialog.h"
#include "pipe_client.h"

namespace {

MissingFontRecordArray Records(std::initializer_list<const wchar_t*> names) {
  MissingFontRecordArray records;
  for (auto* n : names) {
    MissingFontRecord r;
    r.name = PMString(n);
    records.push_back(r);
  }
  return records;
}

// Shorter waits so that failures show quickly.
struct QuickTimings {
  QuickTimings() {
    saved = ClientTimings();
    ClientTimings().sendTimeoutMs = 1000;
    ClientTimings().pipeOpenAttempts = 20;
    ClientTimings().pipeRetryMs = 20;
  }
  ~QuickTimings() { ClientTimings() = saved; }
  PipeClientTimings saved;
};

TEST(SplitStatusLine, FindsTheLeftmostMatchAsTheExpressionWould) {
  struct Case {
    const wchar_t* text;
    bool matches;
    const wchar_t* fields[5];
  } cases[] = {
      {L"Arial\n\t14\n\tArial\n\tBold\n\tC:\\a.ttf", true, {L"Arial", L"14", L"Arial", L"Bold", L"C:\\a.ttf"}},
      {L"A\n\t12\n\t \n\t \n\t ", true, {L"A", L"12", L" ", L" ", L" "}},
      // A line before the status line is skipped: the match starts at the next line.
      {L"noise\nA\n\t9\n\tF\n\tS\n\tP", true, {L"A", L"9", L"F", L"S", L"P"}},
      // The fifth field stops at a line break.
      {L"A\n\t9\n\tF\n\tS\n\tP\r\nrest", true, {L"A", L"9", L"F", L"S", L"P"}},
      // A progress marker that is not at the start makes no progress line.
      {L"x**\t\n**y\n\t9\n\tF\n\tS\n\tP", true, {L"**y", L"9", L"F", L"S", L"P"}},
      {L"A\n\t9\n\tF\n\tS", false, {}},
      {L"A\n9\n\tF\n\tS\n\tP", false, {}},
      {L"", false, {}},
  };
  for (const auto& c : cases) {
    std::wstring_view fields[5];
    ASSERT_EQ(SplitStatusLine(c.text, fields), c.matches) << testing::PrintToString(std::wstring(c.text));
    if (!c.matches) continue;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(std::wstring(fields[i]), c.fields[i]) << i;
  }
}

TEST(ApplyReplyLine, UpdatesTheFirstRecordOfThatNameAndReplacesItsFields) {
  ActivationSession session;
  MissingFontRecordArray records = Records({L"Arial", L"Times", L"Arial"});
  ApplyReplyLine(L"Arial\n\t11\n\tArial\n\tBold\n\tC:\\a.ttf", &records, &session);
  ApplyReplyLine(L"Arial\n\t14\n\tArial\n\tBold\n\tC:\\a.ttf", &records, &session);
  EXPECT_EQ(records[0].status, 14);
  EXPECT_EQ(records[0].family.GetText(), L"Arial");  // not "ArialArial"
  EXPECT_EQ(records[0].style.GetText(), L"Bold");
  EXPECT_EQ(records[0].file.GetText(), L"C:\\a.ttf");
  EXPECT_EQ(records[2].status, 6);  // the second record of the same name is left alone
  EXPECT_TRUE(session.anyActivated);
  EXPECT_EQ(session.TakeChangedRows(), (std::vector<int32_t>{0, 0}));

  // Names match exactly; a status that is no number, or does not fit a byte, becomes 0.
  ApplyReplyLine(L"times\n\t12\n\t \n\t \n\t ", &records, &session);
  EXPECT_EQ(records[1].status, 6);
  ApplyReplyLine(L"Times\n\tabc\n\t \n\t \n\t ", &records, &session);
  EXPECT_EQ(records[1].status, 0);
  ApplyReplyLine(L"Times\n\t270\n\t \n\t \n\t ", &records, &session);
  EXPECT_EQ(records[1].status, 0);
  ApplyReplyLine(L"Times\n\t 12x\n\t \n\t \n\t ", &records, &session);
  EXPECT_EQ(records[1].status, 12);
}

TEST(MarkUnansweredNotFound, ClosesOnlyRowsStillSearchingTheFolder) {
  ActivationSession session;
  MissingFontRecordArray records = Records({L"A", L"B", L"C"});
  records[0].status = 10;
  records[1].status = 14;
  records[2].status = 10;
  MarkUnansweredNotFound(&records, &session);
  EXPECT_EQ(records[0].status, 12);
  EXPECT_EQ(records[1].status, 14);
  EXPECT_EQ(records[2].status, 12);
  EXPECT_EQ(session.TakeChangedRows(), (std::vector<int32_t>{0, 2}));
}

TEST(RowStatus, ImageAndTextFollowTheStatusTheLaunchAndTheSessionError) {
  struct Case {
    uint8_t status;
    bool launchFailed, sessionError;
    RsrcID icon;
    std::wstring key;
  } cases[] = {
      {6, false, false, 1510, L"0x13d400kStrResStatus_ReadKey"},
      {10, false, false, 1510, L"0x13d400kStrResStatus_SearchingFolderKey"},
      {11, false, false, 1510, L"0x13d400kStrResStatus_FindKey"},
      {12, false, false, 1512, L"0x13d400kStrResSearchResult_NotFoundKey"},
      {13, false, false, 1512, L"0x13d400kStrResSearchResult_FoundWithInvalidPathKey"},
      {14, false, false, 1511, L"0x13d400kStrResSearchResult_ActivatedKey"},
      {15, false, false, 1512, L"0x13d400kStrResSearchResult_ActivatedFailedKey"},
      {16, false, false, 1511, L"0x13d400kStrResSearchResult_ActivatedAlreadyKey"},
      {0, false, false, 1510, L""},
      {7, false, true, 1510, L"0x13d400kStrResMisc_PipeTimeOutKey"},
      {10, false, true, 1510, L"0x13d400kStrResMisc_PipeTimeOutKey"},
      {14, false, true, 1511, L"0x13d400kStrResSearchResult_ActivatedKey"},
      {6, true, false, 1512, L"0x13d400kStrResMisc_LauchingFailedKey"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusIconId(c.status, c.launchFailed), c.icon) << int(c.status);
    EXPECT_EQ(StatusStringKey(c.status, c.launchFailed, c.sessionError), c.key) << int(c.status);
  }
}

TEST(FindMainProgramPath, BuildsThePathFromTheInstallFolderAndFailsCleanly) {
  static std::string location;
  static UINT enumResult, infoResult;
  InstallerLookup lookup;
  lookup.enumRelatedProducts = [](LPCSTR, DWORD, DWORD index, LPSTR product) -> UINT {
    if (enumResult == ERROR_SUCCESS && index == 0) strcpy(product, "{11111111-2222-3333-4444-555555555555}");
    return enumResult;
  };
  lookup.getProductInfo = [](LPCSTR, LPCSTR property, LPSTR value, LPDWORD size) -> UINT {
    if (infoResult != ERROR_SUCCESS || std::string(property) != "InstallLocation") return infoResult;
    if (location.size() + 1 > *size) {
      *size = static_cast<DWORD>(location.size());
      return ERROR_MORE_DATA;
    }
    strcpy(value, location.c_str());
    *size = static_cast<DWORD>(location.size());
    return ERROR_SUCCESS;
  };
  SetInstallerLookup(&lookup);
  struct Case {
    UINT enumR, infoR;
    std::string folder;
    size_t outSize;
    bool found;
    std::string path;
  } cases[] = {
      {0, 0, "C:\\Program Files\\Glyphary", 260, true, "C:\\Program Files\\Glyphary\\gly.exe"},
      {0, 0, "C:\\Glyphary\\/", 260, true, "C:\\Glyphary\\gly.exe"},
      {0, 0, "C:\\Glyphary\\\\", 260, true, "C:\\Glyphary\\gly.exe"},
      {0, 0, "", 260, false, ""},
      {0, 0, "\\\\", 260, false, ""},
      {ERROR_NO_MORE_ITEMS, 0, "C:\\G", 260, false, ""},
      {0, ERROR_UNKNOWN_PRODUCT, "C:\\G", 260, false, ""},
      // A folder longer than the installer's buffer, or a path longer than the caller's.
      {0, 0, "C:\\" + std::string(300, 'a'), 260, false, ""},
      {0, 0, "C:\\" + std::string(250, 'a'), 260, false, ""},
      {0, 0, "C:\\G", 12, false, ""},
      {0, 0, "C:\\G", 13, true, "C:\\G\\gly.exe"},
  };
  for (const auto& c : cases) {
    enumResult = c.enumR;
    infoResult = c.infoR;
    location = c.folder;
    std::vector<char> out(c.outSize + 8, '#');
    bool found = FindMainProgramPath("{code}", out.data(), c.outSize);
    EXPECT_EQ(found, c.found) << c.folder;
    if (found) {
      EXPECT_EQ(std::string(out.data()), c.path);
    }
    EXPECT_EQ(std::string(out.data() + c.outSize, 8), std::string(8, '#')) << "wrote past the buffer";
  }
  SetInstallerLookup(nullptr);
}

TEST(HandshakeMainWindow, AgreesOnVersionFiveAndSaysWhichSideIsOlder) {
  QuickTimings quick;
  struct Case {
    LRESULT version;
    bool hung;
    bool ok;
    int32_t state;
  } cases[] = {
      {5, false, true, kConnected},
      {6, false, false, kPluginOlderThanProgram},
      {-1, false, false, kPluginOlderThanProgram},  // taken unsigned
      {4, false, false, kPluginNeedsNewerProgram},
      {0, false, false, kPluginNeedsNewerProgram},  // a program that does not know the message
      {5, true, false, kLaunchFailed},              // a program that never answers
  };
  for (const auto& c : cases) {
    FakeGlyOptions options;
    options.version = c.version;
    options.hung = c.hung;
    FakeGly gly(options);
    ActivationSession session;
    EXPECT_EQ(HandshakeMainWindow(&session, gly.Window()), c.ok) << c.version;
    EXPECT_EQ(session.launchState, c.state) << c.version;
    EXPECT_TRUE(session.launchStateChanged);
  }
  ActivationSession session;
  EXPECT_FALSE(HandshakeMainWindow(&session, nullptr));
  EXPECT_FALSE(HandshakeMainWindow(nullptr, HWND(1)));
}

// Plays the idle task's part in the folder request: answers with `folder` ("" = chooser cancelled).
bool HandshakeWithFolder(LRESULT folderAnswer, const std::wstring& folder, ActivationSession& session) {
  FakeGlyOptions options;
  options.folderAnswer = folderAnswer;
  FakeGly gly(options);
  auto answer = std::async(std::launch::async, [&] {
    while (!session.folderRequest) Sleep(5);
    session.folderRequest = 0;
    if (!folder.empty()) session.SetFolder(PMString(folder));
    session.folderAnswered = 1;
  });
  bool ok = HandshakeMainWindow(&session, gly.Window());
  answer.get();
  return ok;
}

TEST(HandshakeMainWindow, AsksForAFolderWhenTheProgramWantsOne) {
  QuickTimings quick;
  {
    ActivationSession session;
    EXPECT_TRUE(HandshakeWithFolder(0x0001, L"C:\\fonts", session));
    EXPECT_EQ(session.GetFolder().GetText(), L"C:\\fonts");
  }
  {
    ActivationSession session;
    EXPECT_FALSE(HandshakeWithFolder(0x0001, L"", session));  // required and not given
  }
  {
    ActivationSession session;
    EXPECT_TRUE(HandshakeWithFolder(0x0101, L"", session));  // optional
    EXPECT_TRUE(session.GetFolder().empty());
  }
  {
    // A stop ends the wait for the chooser.
    FakeGlyOptions options;
    options.folderAnswer = 0x0001;
    FakeGly gly(options);
    ActivationSession session;
    auto stopper = std::async(std::launch::async, [&] {
      while (!session.folderRequest) Sleep(5);
      session.RequestStop();
    });
    EXPECT_FALSE(HandshakeMainWindow(&session, gly.Window()));
    stopper.get();
  }
}

TEST(RunPipeSession, SendsTheNamesAndFollowsTheServersLines) {
  FakeGlyOptions options;
  options.results = {{L"Found-Bold", 14}};
  options.progressFolder = L"C:\\more fonts";
  FakeGly gly(options, false);
  gly.StartPipeServer();
  ActivationSession session;
  session.SetFolder(PMString(L"C:\\my fonts"));
  MissingFontRecordArray records = Records({L"Found-Bold", L"Missing-Italic"});
  RunPipeSession(&session, &records);
  EXPECT_EQ(session.error, kSessionNoError);
  EXPECT_EQ(gly.PipeMessages(), (std::vector<std::wstring>{L"*@&$*C:\\my fonts", L"Found-Bold", L"Missing-Italic",
                                                           std::wstring(glypipe::kEndMarker)}));
  EXPECT_TRUE(session.GetFolder().empty());  // sent once
  EXPECT_EQ(records[0].status, 14);
  EXPECT_EQ(records[0].family.GetText(), L"Family of Found-Bold");
  EXPECT_EQ(records[1].status, 12);
  EXPECT_TRUE(session.anyActivated);
  EXPECT_TRUE(session.infoChanged);
  EXPECT_EQ(session.GetInfoText().GetText(), L"C:\\more fonts");
}

TEST(RunPipeSession, ReadsAServerLineLongerThanOneReadWhole) {
  FakeGlyOptions options;
  options.results = {{L"Long", 14}};
  options.fileFieldChars = 6000;  // 12,000 bytes
  FakeGly gly(options, false);
  gly.StartPipeServer();
  ActivationSession session;
  MissingFontRecordArray records = Records({L"Long", L"Other"});
  RunPipeSession(&session, &records);
  EXPECT_EQ(session.error, kSessionNoError);
  EXPECT_EQ(records[0].status, 14);
  EXPECT_EQ(records[0].file.GetText(), std::wstring(6000, L'f'));
  EXPECT_EQ(records[1].status, 12);  // the tail of the long line was not taken for another line
}

TEST(RunPipeSession, SendsTheFolderWholeOrNotAtAll) {
  const size_t fits = glypipe::kMaxClientMessageChars - glypipe::kFolderPrefix.size();
  for (size_t length : {size_t{600}, fits, fits + 1}) {
    FakeGly gly(FakeGlyOptions{}, false);
    gly.StartPipeServer();
    ActivationSession session;
    std::wstring folder = L"C:\\" + std::wstring(length - 3, L'd');
    session.SetFolder(PMString(folder));
    MissingFontRecordArray records = Records({L"A"});
    RunPipeSession(&session, &records);
    EXPECT_EQ(session.error, kSessionNoError);
    std::vector<std::wstring> expected{L"A", std::wstring(glypipe::kEndMarker)};
    if (length <= fits) expected.insert(expected.begin(), L"*@&$*" + folder);
    EXPECT_EQ(gly.PipeMessages(), expected) << length;
    EXPECT_EQ(records[0].status, 12);
  }
}

TEST(RunPipeSession, APipeThatNeverOpensIsASessionError) {
  QuickTimings quick;
  ActivationSession session;
  MissingFontRecordArray records = Records({L"A"});
  RunPipeSession(&session, &records);
  EXPECT_EQ(session.error, kSessionPipeFailure);
  EXPECT_EQ(records[0].status, 6);
}

TEST(RunPipeSession, AStopEndsABlockedReadAndSkipsTheNotFoundStep) {
  FakeGlyOptions options;
  options.replyNothing = true;
  FakeGly gly(options, false);
  gly.StartPipeServer();
  ActivationSession session;
  MissingFontRecordArray records = Records({L"A"});
  auto run = std::async(std::launch::async, [&] { RunPipeSession(&session, &records); });
  while (gly.PipeMessages().size() < 2) Sleep(10);
  Sleep(100);
  session.RequestStop();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(records[0].status, 7);
  EXPECT_EQ(session.error, kSessionNoError);
}

}  // namespace
