#include "hex_records.h"

#include <cstdio>

namespace iox::firmware {

namespace {

std::optional<int> hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return std::nullopt;
}

std::string hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value & 0xFF);
    return text;
}

// Data length that each record type must carry; -1: any, -2: not a record type.
int lengthOfType(std::uint8_t type)
{
    switch (type) {
    case 0x00: return -1;
    case 0x01: return 0;
    case 0x02: return 2;
    case 0x03: return 4;
    case 0x04: return 2;
    case 0x05: return 4;
    default: return -2;
    }
}

std::optional<std::string> typeProblem(const std::vector<std::uint8_t>& bytes)
{
    const std::size_t dataLength = bytes.size() - 5;
    const int length = lengthOfType(bytes[3]);
    if (length == -2)
        return "unknown record type " + hex2(bytes[3]);
    if (length >= 0 && static_cast<std::size_t>(length) != dataLength)
        return "a type " + hex2(bytes[3]) + " record carries " + std::to_string(length) + " data bytes, not " +
               std::to_string(dataLength);
    return std::nullopt;
}

// Calls visit(number, line) for each line of the text, its CR LF or LF removed.
template <class Visit>
void forEachLine(std::string_view text, Visit&& visit)
{
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        visit(++number, line);
    }
}

bool isCommentOrBlank(std::string_view line) { return line.empty() || line.front() == ';'; }

}  // namespace

std::optional<std::string> recordProblem(std::string_view record, std::vector<std::uint8_t>& bytes)
{
    if (record.empty() || record.front() != ':')
        return std::string("does not start with ':'");
    const std::string_view digits = record.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (!hexDigit(digits[i]))
            return "character " + std::to_string(i + 2) + " is not a hex digit";
    }
    if (digits.size() % 2 != 0)
        return std::string("holds an odd number of hex digits");
    if (digits.size() < 10)
        return std::string("is too short for a record (byte count, address, type and checksum)");
    bytes.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(*hexDigit(digits[i]) * 16 + *hexDigit(digits[i + 1])));
    const std::size_t dataLength = bytes.size() - 5;
    if (bytes[0] != dataLength)
        return "byte count says " + std::to_string(bytes[0]) + ", the record holds " + std::to_string(dataLength) +
               " data bytes";
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i)
        sum += bytes[i];
    const unsigned expected = (0x100 - (sum & 0xFF)) & 0xFF;
    if (bytes.back() != expected)
        return "checksum is " + hex2(bytes.back()) + ", the record needs " + hex2(expected);
    return std::nullopt;
}

std::optional<HexProblem> firstImageLineProblem(std::string_view text)
{
    std::optional<HexProblem> found;
    std::vector<std::uint8_t> bytes;
    bool started = false;
    forEachLine(text, [&](std::size_t number, std::string_view line) {
        if (found)
            return;
        // The first line sent runs from the file's first byte: a blank before it would go to
        // the bootloader at the head of the first record.
        if (line.empty() && !started) {
            found = HexProblem{number, "is blank before the first record"};
            return;
        }
        started = true;
        if (isCommentOrBlank(line)) {
            // The cutter starts a line at every ':': the comment's tail would go out alone.
            if (line.find(':') != std::string_view::npos)
                found = HexProblem{number, "is a comment holding ':'"};
            return;
        }
        if (auto problem = recordProblem(line, bytes))
            found = HexProblem{number, std::move(*problem)};
    });
    return found;
}

HexRecords checkHexRecords(std::string_view text)
{
    HexRecords result;
    std::vector<std::uint8_t> bytes;
    std::size_t lastLine = 0;
    forEachLine(text, [&](std::size_t number, std::string_view line) {
        lastLine = number;
        if (isCommentOrBlank(line))
            return;
        if (result.endRecord) {
            result.problems.push_back({number, "record after the end-of-file record"});
            return;
        }
        auto problem = recordProblem(line, bytes);
        if (!problem)
            problem = typeProblem(bytes);
        if (problem) {
            result.problems.push_back({number, std::move(*problem)});
            return;
        }
        ++result.records;
        if (bytes[3] == 0x00)
            result.dataBytes += bytes[0];
        if (bytes[3] == 0x01)
            result.endRecord = true;
    });
    if (!result.endRecord)
        result.problems.push_back({lastLine, "no end-of-file record (:00000001FF)"});
    return result;
}

}  // namespace iox::firmware
