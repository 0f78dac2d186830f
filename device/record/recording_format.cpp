#include "recording_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>

namespace iox::record {

namespace {

constexpr char kHex[] = "0123456789abcdef";

const char* platformName()
{
#if defined(__linux__)
    return "linux";
#elif defined(_WIN32)
    return "windows";
#elif defined(__APPLE__)
    return "macos";
#else
    return "other";
#endif
}

std::string escapePath(const std::string& path)
{
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte >= 0x7f || c == '%') {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> unescapePath(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

// A malformed line: the parser throws this with what is wrong.
struct Bad {
    std::string what;
};

class Tokens {
public:
    explicit Tokens(std::string_view line)
    {
        std::size_t start = 0;
        while (start <= line.size()) {
            const std::size_t end = std::min(line.find(' ', start), line.size());
            m_items.push_back(line.substr(start, end - start));
            start = end + 1;
        }
    }
    bool done() const { return m_next == m_items.size(); }
    std::size_t left() const { return m_items.size() - m_next; }
    std::string_view next(const char* what)
    {
        if (done())
            throw Bad{std::string("missing ") + what};
        const std::string_view item = m_items[m_next++];
        if (item.empty())
            throw Bad{std::string("empty field where ") + what + " belongs"};
        return item;
    }
    template <class T>
    T number(const char* what)
    {
        const std::string_view item = next(what);
        T value{};
        const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
        if (error != std::errc{} || end != item.data() + item.size())
            throw Bad{std::string("bad ") + what + " \"" + std::string(item) + "\""};
        return value;
    }
    void finish()
    {
        if (!done())
            throw Bad{"unexpected text \"" + std::string(m_items[m_next]) + "\" at the end"};
    }

private:
    std::vector<std::string_view> m_items;
    std::size_t m_next = 0;
};

std::string pathFrom(Tokens& tokens)
{
    const std::string_view text = tokens.next("path");
    auto path = unescapePath(text);
    if (!path)
        throw Bad{"bad %XX escape in path \"" + std::string(text) + "\""};
    return *path;
}

HidHandle handleFrom(Tokens& tokens, bool zeroAllowed = false)
{
    const auto handle = tokens.number<HidHandle>("handle");
    if (handle < 0 || (handle == 0 && !zeroAllowed))
        throw Bad{"bad handle " + std::to_string(handle)};
    return handle;
}

bool okFrom(Tokens& tokens)
{
    const std::string_view word = tokens.next("ok or fail");
    if (word != "ok" && word != "fail")
        throw Bad{"expected ok or fail, found \"" + std::string(word) + "\""};
    return word == "ok";
}

Report reportFrom(Tokens& tokens)
{
    if (tokens.left() != std::tuple_size_v<Report>)
        throw Bad{"expected 65 report bytes, found " + std::to_string(tokens.left())};
    Report report{};
    for (auto& byte : report) {
        const std::string_view item = tokens.next("report byte");
        if (item.size() != 2 || hexDigit(item[0]) < 0 || hexDigit(item[1]) < 0)
            throw Bad{"bad report byte \"" + std::string(item) + "\""};
        byte = static_cast<std::uint8_t>(hexDigit(item[0]) * 16 + hexDigit(item[1]));
    }
    return report;
}

std::uint16_t hexId(std::string_view text, const char* what)
{
    std::uint16_t value = 0;
    for (const char c : text) {
        if (hexDigit(c) < 0)
            throw Bad{std::string("bad ") + what + " \"" + std::string(text) + "\""};
        value = static_cast<std::uint16_t>(value * 16 + hexDigit(c));
    }
    return value;
}

Call parseCall(std::string_view line)
{
    Tokens tokens(line);
    Call call;
    call.us = tokens.number<std::int64_t>("time stamp");
    const std::string_view kind = tokens.next("call");
    if (kind == "enumerate") {
        call.kind = CallKind::Enumerate;
        const auto count = tokens.number<std::size_t>("interface count");
        if (count != tokens.left())
            throw Bad{std::to_string(count) + " interfaces announced, " + std::to_string(tokens.left()) + " listed"};
        for (std::size_t i = 0; i < count; ++i) {
            const std::string_view item = tokens.next("interface");
            if (item.size() < 10 || item[4] != ':' || item[9] != ':')
                throw Bad{"bad interface \"" + std::string(item) + "\" (VID:PID:PATH)"};
            HidInterface hid;
            hid.vendorId = hexId(item.substr(0, 4), "vendor ID");
            hid.productId = hexId(item.substr(5, 4), "product ID");
            Tokens rest(item.substr(10));
            hid.path = pathFrom(rest);
            call.interfaces.push_back(std::move(hid));
        }
    } else if (kind == "open") {
        call.kind = CallKind::Open;
        call.path = pathFrom(tokens);
        call.handle = handleFrom(tokens, true);
    } else if (kind == "write") {
        call.kind = CallKind::Write;
        call.handle = handleFrom(tokens, true);
        call.ok = okFrom(tokens);
        call.report = reportFrom(tokens);
    } else if (kind == "read") {
        call.kind = CallKind::Read;
        call.handle = handleFrom(tokens, true);
        call.timeoutMs = tokens.number<std::int64_t>("timeout");
        call.ok = okFrom(tokens);
        if (call.ok)
            call.report = reportFrom(tokens);
    } else if (kind == "close") {
        call.kind = CallKind::Close;
        call.handle = handleFrom(tokens, true);
    } else {
        throw Bad{"unknown call \"" + std::string(kind) + "\""};
    }
    tokens.finish();
    return call;
}

}  // namespace

std::string headerLine(const std::string& program, const std::string& version)
{
    return std::string(kMagic) + " " + std::to_string(kFormatVersion) + " program=" + escapePath(program) +
           " version=" + escapePath(version) + " platform=" + platformName();
}

std::string hexBytes(const Report& report)
{
    std::string out;
    out.reserve(report.size() * 3);
    for (const std::uint8_t byte : report) {
        if (!out.empty())
            out += ' ';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

std::string callText(const Call& call)
{
    const std::string handle = std::to_string(call.handle);
    switch (call.kind) {
    case CallKind::Enumerate: {
        std::string text = "enumerate " + std::to_string(call.interfaces.size());
        for (const auto& hid : call.interfaces) {
            char ids[11];
            std::snprintf(ids, sizeof ids, "%04x:%04x:", hid.vendorId, hid.productId);
            text += ' ';
            text += ids;
            text += escapePath(hid.path);
        }
        return text;
    }
    case CallKind::Open: return "open " + escapePath(call.path) + " " + handle;
    case CallKind::Write: return "write " + handle + (call.ok ? " ok " : " fail ") + hexBytes(call.report);
    case CallKind::Read:
        return "read " + handle + " " + std::to_string(call.timeoutMs) + (call.ok ? " ok " + hexBytes(call.report) : " fail");
    case CallKind::Close: return "close " + handle;
    }
    return {};
}

LoadResult parseRecording(const std::string& text, const std::string& name)
{
    Recording recording;
    int lineNo = 0;
    std::size_t start = 0;
    std::int64_t lastUs = 0;
    const auto refuse = [&](const std::string& what) {
        return LoadResult{std::nullopt, name + " line " + std::to_string(lineNo) + ": " + what};
    };
    while (start < text.size() || lineNo == 0) {
        ++lineNo;
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return refuse(start == text.size() ? "the recording is empty" : "the line is cut short (truncated recording)");
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        try {
            if (lineNo == 1) {
                Tokens header(line);
                if (header.next("format name") != kMagic)
                    throw Bad{"not a recording (the first line must begin with \"" + std::string(kMagic) + "\")"};
                const std::string_view version = header.next("format version");
                if (version != std::to_string(kFormatVersion))
                    throw Bad{"recording format \"" + std::string(version) + "\" is not the version " +
                              std::to_string(kFormatVersion) + " this program reads"};
                recording.header = line;
                continue;
            }
            Call call = parseCall(line);
            if (call.us < lastUs)
                throw Bad{"time stamp " + std::to_string(call.us) + " goes back before " + std::to_string(lastUs)};
            lastUs = call.us;
            call.line = lineNo;
            recording.calls.push_back(std::move(call));
        } catch (const Bad& bad) {
            return refuse(bad.what);
        }
    }
    return {std::move(recording), {}};
}

LoadResult loadRecording(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {std::nullopt, "cannot read the recording \"" + path + "\""};
    std::ostringstream text;
    text << in.rdbuf();
    return parseRecording(text.str(), path);
}

}  // namespace iox::record
