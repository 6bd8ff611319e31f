#pragma once
// Wire protocol of the activation pipe, shared by the server in gly.exe and the host plug-ins.
// Header-only and free of project dependencies so that the plug-ins can include it as it is.
//
// Every message in both directions is UTF-16LE text without terminator or length prefix, one message
// per WriteFile, on a message-mode pipe.
//
// Client to server, in this order: optionally a search folder (kFolderPrefix + path), optionally a
// document path for the session log (kLogPrefix + text), one message per missing font (its PostScript
// name, possibly with trailing '?'), then kEndMarker. Nothing is answered before the end marker.
//
// Server to client: status lines (FormatStatusLine), progress lines (kProgressPrefix + the folder
// being scanned) and finally kEndMarker.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace glypipe {

inline constexpr const wchar_t* kPipeName = L"\\\\.\\pipe\\pipe_morvandel_gly";

// Pipe creation values (the server's; a client only needs the name).
inline constexpr DWORD kPipeBufferBytes = 8192;
inline constexpr DWORD kPipeDefaultTimeoutMs = 5000;

// The server reads at most this many bytes per client message; a longer message drops the exchange.
inline constexpr DWORD kMaxClientMessageBytes = 4096;
inline constexpr DWORD kMaxClientMessageChars = kMaxClientMessageBytes / sizeof(wchar_t);
// A server message (status line) is formatted with at most this many characters.
inline constexpr size_t kMaxServerMessageChars = 4096;

inline constexpr std::wstring_view kEndMarker = L"*\n\n\t*";
inline constexpr std::wstring_view kFolderPrefix = L"*@&$*";
inline constexpr std::wstring_view kLogPrefix = L"\t\t\t\t\n";
inline constexpr std::wstring_view kProgressPrefix = L"**\t\n**";
inline constexpr std::wstring_view kFieldSeparator = L"\n\t";
// An empty family, style or file field travels as one space.
inline constexpr std::wstring_view kEmptyField = L" ";

// Status of one requested font (one byte on both sides).
enum PipeStatus : uint8_t {
    kStatusReadFromDocument = 6,   // client only
    kStatusBeingSent = 7,          // client only
    kStatusReceived = 8,           // server, when the name arrives; never sent
    kStatusSearchingSets = 9,      // every request when the set search starts
    kStatusSearchingFolder = 10,   // unresolved requests when the folder search starts
    kStatusFound = 11,             // found in a set or in the folder, before loading
    kStatusNotFound = 12,          // at the end, for requests still below 11
    kStatusFoundFileMissing = 13,  // never sent by this server
    kStatusActivated = 14,         // loaded for all programs
    kStatusActivationFailed = 15,  // the load failed
    kStatusAlreadyActive = 16,     // never sent by this server; final where finality is tested
};

inline constexpr uint8_t kFirstStatus = 6;
inline constexpr uint8_t kLastStatus = 16;

inline constexpr bool IsValidStatus(int status) { return status >= kFirstStatus && status <= kLastStatus; }

// Found, activated or already active: nothing more to search for.
inline constexpr bool IsResolvedStatus(int status)
{
    return status == kStatusFound || status == kStatusActivated || status == kStatusAlreadyActive;
}

// The key a name is matched by: the name without its trailing '?'.
inline std::wstring_view MatchKey(std::wstring_view name)
{
    size_t n = name.size();
    while (n > 0 && name[n - 1] == L'?')
        --n;
    return name.substr(0, n);
}

// What a client message is, tested in this order.
enum class ClientMessageKind { EndMarker, SearchFolder, LogText, FontName };

struct ClientMessage {
    ClientMessageKind kind;
    std::wstring_view payload;  // folder, log text or font name; empty for the end marker
};

inline ClientMessage ClassifyClientMessage(std::wstring_view message)
{
    if (message == kEndMarker)
        return {ClientMessageKind::EndMarker, {}};
    if (message.substr(0, kFolderPrefix.size()) == kFolderPrefix)
        return {ClientMessageKind::SearchFolder, message.substr(kFolderPrefix.size())};
    if (message.substr(0, kLogPrefix.size()) == kLogPrefix)
        return {ClientMessageKind::LogText, message.substr(kLogPrefix.size())};
    return {ClientMessageKind::FontName, message};
}

// Status line: "%s\n\t%d\n\t%s\n\t%s\n\t%s" (name as received, status, family, style, file), cut to
// kMaxServerMessageChars.
inline std::wstring FormatStatusLine(std::wstring_view name, int status, std::wstring_view family,
                                     std::wstring_view style, std::wstring_view file)
{
    auto field = [](std::wstring_view s) { return s.empty() ? kEmptyField : s; };
    std::wstring line;
    line.reserve(name.size() + family.size() + style.size() + file.size() + 16);
    line.append(name);
    line.append(kFieldSeparator);
    line.append(std::to_wstring(status));
    line.append(kFieldSeparator);
    line.append(field(family));
    line.append(kFieldSeparator);
    line.append(field(style));
    line.append(kFieldSeparator);
    line.append(field(file));
    if (line.size() > kMaxServerMessageChars)
        line.resize(kMaxServerMessageChars);
    return line;
}

inline std::wstring FormatProgressLine(std::wstring_view folder)
{
    std::wstring line(kProgressPrefix);
    line.append(folder);
    if (line.size() > kMaxServerMessageChars)
        line.resize(kMaxServerMessageChars);
    return line;
}

struct StatusLine {
    std::wstring_view name;
    int status = 0;
    std::wstring_view family;  // a lone space is given back as empty
    std::wstring_view style;
    std::wstring_view file;
};

// Splits a status line at its four separators. False when it has fewer fields or the status is not a
// decimal number of the status range. Views point into `message`.
inline bool ParseStatusLine(std::wstring_view message, StatusLine& out)
{
    std::wstring_view parts[5];
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        size_t sep = message.find(kFieldSeparator, start);
        if (sep == std::wstring_view::npos)
            return false;
        parts[i] = message.substr(start, sep - start);
        start = sep + kFieldSeparator.size();
    }
    parts[4] = message.substr(start);
    if (parts[1].empty() || parts[1].size() > 3)
        return false;
    int status = 0;
    for (wchar_t c : parts[1]) {
        if (c < L'0' || c > L'9')
            return false;
        status = status * 10 + (c - L'0');
    }
    if (!IsValidStatus(status))
        return false;
    auto field = [](std::wstring_view s) { return s == kEmptyField ? std::wstring_view{} : s; };
    out.name = parts[0];
    out.status = status;
    out.family = field(parts[2]);
    out.style = field(parts[3]);
    out.file = field(parts[4]);
    return true;
}

// What a server message is.
enum class ServerMessageKind { EndMarker, Progress, Status, Unknown };

inline ServerMessageKind ClassifyServerMessage(std::wstring_view message)
{
    if (message == kEndMarker)
        return ServerMessageKind::EndMarker;
    if (message.substr(0, kProgressPrefix.size()) == kProgressPrefix)
        return ServerMessageKind::Progress;
    StatusLine ignored;
    return ParseStatusLine(message, ignored) ? ServerMessageKind::Status : ServerMessageKind::Unknown;
}

}  // namespace glypipe
