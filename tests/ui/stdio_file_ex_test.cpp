// The encoded text file and the time-stamped log.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/common/test_support.h"
#include "ui/stdio_file_ex.h"

namespace {

class TextFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = gly_test::TempPath() + gly_test::UniqueName(L"gly_ui") + L".txt";
        DeleteFileW(path.c_str());
    }
    void TearDown() override { DeleteFileW(path.c_str()); }

    std::string ReadBytes() const { return gly_test::ReadBytes(path); }
    void WriteBytes(const std::string& bytes) const { ASSERT_TRUE(gly_test::WriteBytes(path, bytes)); }
    static std::string Utf16(const std::wstring& text, bool mark = true)
    {
        std::string bytes = mark ? std::string("\xFF\xFE", 2) : std::string();
        for (wchar_t c : text) {
            bytes.push_back(static_cast<char>(c & 0xFF));
            bytes.push_back(static_cast<char>(c >> 8));
        }
        return bytes;
    }
    std::vector<std::wstring> ReadAllLines() const
    {
        CStdioFileEx file;
        EXPECT_TRUE(file.Open(path.c_str(), CFile::modeRead | CFile::typeText));
        std::vector<std::wstring> lines;
        std::wstring line;
        while (file.ReadString(line))
            lines.push_back(line);
        return lines;
    }

    std::wstring path;
};

}  // namespace

TEST_F(TextFileTest, NewLogBeginsWithOneMarkAndAppendingAddsNone)
{
    {
        LogFile log(path.c_str(), TRUE, FALSE);
        ASSERT_TRUE(log.IsLogOpen());
        log.Write(L"%s %d", L"first", 1);
    }
    {
        LogFile log(path.c_str(), TRUE, TRUE);
        log.Write(L"second");
    }
    EXPECT_EQ(ReadBytes(), Utf16(L"first 1\nsecond\n"));
    // Without append the log starts again.
    {
        LogFile log(path.c_str(), TRUE, FALSE);
        log.Write(L"again");
    }
    EXPECT_EQ(ReadBytes(), Utf16(L"again\n"));
}

TEST_F(TextFileTest, LongMessagesAreCutTo1023CharactersAndTimestampedLinesKeepTheirShape)
{
    std::wstring longText(1500, L'x');
    {
        LogFile log(path.c_str(), TRUE, FALSE);
        log.Write(L"%s", longText.c_str());
        log.WriteTimestamped(L"%s", longText.c_str());
        log.WriteTimestamped(L"short %d", 7);
    }
    // The raw text: the reader would cut the time-stamped line itself.
    std::string bytes = ReadBytes();
    ASSERT_GE(bytes.size(), 2u);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::wstring text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
    std::vector<std::wstring> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(L'\n', start);
        ASSERT_NE(end, std::wstring::npos) << "every line ends with a line feed";
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::wstring(1023, L'x'));
    // "[" date-time "] " + the cut message.
    ASSERT_EQ(lines[1].front(), L'[');
    size_t close = lines[1].find(L"] ");
    ASSERT_NE(close, std::wstring::npos);
    EXPECT_GT(close, 1u);
    EXPECT_NE(lines[1].substr(1, close - 1), L"Invalid DateTime");
    EXPECT_EQ(lines[1].substr(close + 2), std::wstring(1023, L'x'));
    EXPECT_EQ(lines[2].substr(lines[2].size() - 9), L"] short 7");
}

TEST_F(TextFileTest, UnopenedLogIgnoresWrites)
{
    LogFile never(nullptr, TRUE, TRUE);
    never.Write(L"lost");
    never.WriteTimestamped(L"lost");
    EXPECT_FALSE(never.IsLogOpen());

    LogFile log(path.c_str(), TRUE, FALSE);
    log.Open(nullptr, TRUE, FALSE);  // closes the file it had
    log.Write(L"lost too");
    EXPECT_EQ(ReadBytes(), "");
}

TEST_F(TextFileTest, ReadingSkipsEmptyLinesAndCutsLongOnes)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::wstring> lines;
    };
    std::wstring longLine(1500, L'y');
    const Case cases[] = {
        {"utf16 CR LF pairs", Utf16(L"a\r\n\r\nb"), {L"a", L"b"}},
        {"utf16 long line", Utf16(longLine + L"\nz\n"), {std::wstring(1023, L'y'), L"z"}},
        {"ansi LF and CR", "one\ntwo\r\rthree", {L"one", L"two", L"three"}},
        // ANSI bytes come out as the same characters in UTF-16 (0xE9 is e acute in the test's code page).
        {"ansi accented", "caf\xE9\r\n", {L"caf\u00E9"}},
        {"utf16 without final line end", Utf16(L"last"), {L"last"}},
        {"empty utf16 file", Utf16(L""), {}},
    };
    for (const Case& c : cases) {
        if (std::string(c.name) == "ansi accented" && GetACP() != 1252)
            continue;  // the byte means another character elsewhere
        WriteBytes(c.bytes);
        EXPECT_EQ(ReadAllLines(), c.lines) << c.name;
    }
}

TEST_F(TextFileTest, LinesContinueAcrossTheReadBuffer)
{
    // More than the 1 MiB read buffer, with lines of an odd byte length so that a line and a
    // UTF-16 unit straddle the refill.
    std::wstring text;
    std::vector<std::wstring> expected;
    for (int i = 0; text.size() < 700000; ++i) {
        std::wstring line = L"line " + std::to_wstring(i) + std::wstring(static_cast<size_t>(i % 97), L'q');
        expected.push_back(line);
        text += line + L"\r\n";
    }
    WriteBytes(Utf16(text));
    EXPECT_EQ(ReadAllLines(), expected);

    std::string ansi(text.begin(), text.end());
    ansi += std::string(600000, 'r');  // a last line longer than the line buffer, cut at 1023
    WriteBytes(ansi);
    expected.push_back(std::wstring(1023, L'r'));
    EXPECT_EQ(ReadAllLines(), expected);
}

TEST_F(TextFileTest, OpeningForWritingAppendsAndReadPositionFollowsTheLines)
{
    WriteBytes("ab\ncd\n");
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeWrite | CFile::modeCreate | CFile::modeNoTruncate));
        EXPECT_EQ(file.GetPosition(), 6u);
        file.WriteText(L"ef", TRUE);
    }
    CStdioFileEx file;
    ASSERT_TRUE(file.Open(path.c_str(), CFile::modeRead));
    EXPECT_FALSE(file.IsUnicode());
    std::string line;
    ASSERT_TRUE(file.ReadStringAnsi(line));
    EXPECT_EQ(line, "ab");
    EXPECT_EQ(file.GetReadPosition(), 3u);
    std::wstring wide;
    ASSERT_TRUE(file.ReadString(wide));
    ASSERT_TRUE(file.ReadString(wide));
    EXPECT_EQ(wide, L"ef");
    EXPECT_FALSE(file.ReadString(wide));
}

TEST_F(TextFileTest, UnicodeFlagFollowsTheMarkAndNullNamesAreRefused)
{
    WriteBytes(Utf16(L"x"));
    EXPECT_TRUE(CStdioFileEx::IsFileUnicode(path.c_str()));
    CStdioFileEx file;
    EXPECT_EQ(file.ProcessFlags(path.c_str(), CFile::modeRead | CFile::typeText), CFile::typeBinary);
    EXPECT_EQ(file.ProcessFlags(path.c_str(), CFile::modeWrite | CFile::typeText), CFile::modeWrite | CFile::typeText);
    WriteBytes("\xFF");
    EXPECT_FALSE(CStdioFileEx::IsFileUnicode(path.c_str()));
    EXPECT_FALSE(CStdioFileEx::IsFileUnicode(L"Z:\\no\\such\\file.txt"));
    EXPECT_THROW(file.SetFilePath(nullptr), std::invalid_argument);
}

TEST_F(TextFileTest, AnsiTextIsWrittenWhole)
{
    {
        CStdioFileEx file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeWrite | CFile::modeCreate | CFile::typeBinary));
        file.WriteText(L"plain", TRUE);
        file.WriteText(L"", TRUE);
    }
    EXPECT_EQ(ReadBytes(), "plain\n\n");
}
