#pragma once
// Intel HEX records read one by one: ':' then pairs of hex digits of either case, a byte
// count that matches the record's data and a matching checksum. The update refuses an
// image holding a line that is neither such a record, a ';' comment nor blank; hex-check
// reports every problem of a file, the record types and the end-of-file record included.
// Nothing here decides what is sent to a box: the line cutter does.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace iox::firmware {

struct HexProblem {
    std::size_t line;  // 1-based line of the file
    std::string text;
};

// The problem with one record (its line end removed), or nothing; bytes receives the
// record's bytes, from the byte count to the checksum.
std::optional<std::string> recordProblem(std::string_view record, std::vector<std::uint8_t>& bytes);

// The first line of the text that is neither a record, a ';' comment nor blank, or that
// the line cutter would split (a comment holding ':'); nothing when every line is sound.
std::optional<HexProblem> firstImageLineProblem(std::string_view text);

struct HexRecords {
    std::vector<HexProblem> problems;
    std::size_t records = 0;    // records with a valid syntax
    std::size_t dataBytes = 0;  // data bytes of type-00 records
    bool endRecord = false;     // an end-of-file record was found
};

// Every record checked, its type and the type's data length too, and the end-of-file record.
HexRecords checkHexRecords(std::string_view text);

}  // namespace iox::firmware
