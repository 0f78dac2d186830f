#pragma once
// Intel HEX records checked one by one: the record syntax, the byte count against the
// record's length, the checksum, the record type and its length, and the end-of-file
// record. ';' lines are comments. Nothing here decides what is sent to a box.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace iox::ctl {

struct HexProblem {
    std::size_t line;  // 1-based line of the file
    std::string text;
};

struct HexRecords {
    std::vector<HexProblem> problems;
    std::size_t records = 0;    // records with a valid syntax
    std::size_t dataBytes = 0;  // data bytes of type-00 records
    bool endRecord = false;     // an end-of-file record was found
};

HexRecords checkHexRecords(std::string_view text);

}  // namespace iox::ctl
