#include "hex_records.h"

#include <cstdint>
#include <cstdio>
#include <optional>

namespace iox::ctl {

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

// Data length that each record type must carry; -1: any.
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

// The problem with one record, or nothing; bytes receives the record's bytes.
std::optional<std::string> checkRecord(std::string_view record, std::vector<std::uint8_t>& bytes)
{
    if (record.front() != ':')
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
    const int length = lengthOfType(bytes[3]);
    if (length == -2)
        return "unknown record type " + hex2(bytes[3]);
    if (length >= 0 && static_cast<std::size_t>(length) != dataLength)
        return "a type " + hex2(bytes[3]) + " record carries " + std::to_string(length) + " data bytes, not " +
               std::to_string(dataLength);
    return std::nullopt;
}

}  // namespace

HexRecords checkHexRecords(std::string_view text)
{
    HexRecords result;
    std::vector<std::uint8_t> bytes;
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;
        if (result.endRecord) {
            result.problems.push_back({number, "record after the end-of-file record"});
            continue;
        }
        if (const auto problem = checkRecord(line, bytes)) {
            result.problems.push_back({number, *problem});
            continue;
        }
        ++result.records;
        if (bytes[3] == 0x00)
            result.dataBytes += bytes[0];
        if (bytes[3] == 0x01)
            result.endRecord = true;
    }
    if (!result.endRecord)
        result.problems.push_back({number, "no end-of-file record (:00000001FF)"});
    return result;
}

}  // namespace iox::ctl
