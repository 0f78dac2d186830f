#include "hex_check_command.h"

#include <nlohmann/json.hpp>

#include "firmware_core/update_front_end.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

using firmware::HexRecords;
using firmware::ImageReport;

void printText(const ImageReport& found, const std::string& file, const Environment& env)
{
    const HexRecords& records = found.records;
    env.out << file << ": " << records.records << " records, " << records.dataBytes << " data bytes, "
            << (records.endRecord ? "end-of-file record present" : "no end-of-file record") << '\n';
    for (const auto& problem : records.problems)
        env.out << "line " << problem.line << ": " << printable(problem.text) << '\n';
    if (!found.refusal.empty()) {
        env.out << "flash refuses this file: " << printable(found.refusal) << "; nothing would be sent\n";
        return;
    }
    env.out << "the update would send " << found.linesSent << " lines (" << found.bytesSent << " bytes)";
    std::string tail = found.unsentTail;
    tail.erase(tail.find_last_not_of("\r\n") + 1);
    if (!tail.empty())
        env.out << "; the last line (\"" << printable(tail) << "\") is not sent";
    env.out << (found.endRecordSent ? "; the end-of-file record is sent" : "") << '\n';
}

void printJson(const ImageReport& found, const std::string& file, const Environment& env)
{
    nlohmann::ordered_json problems = nlohmann::ordered_json::array();
    for (const auto& problem : found.records.problems)
        problems.push_back({{"line", problem.line}, {"text", latin1ToUtf8(problem.text)}});
    nlohmann::ordered_json report{{"file", latin1ToUtf8(file)},
                          {"records", found.records.records},
                          {"data_bytes", found.records.dataBytes},
                          {"end_record", found.records.endRecord},
                          {"problems", problems},
                          {"flash_accepts", found.refusal.empty()}};
    if (found.refusal.empty())
        report["would_send"] = {{"lines", found.linesSent},
                                {"bytes", found.bytesSent},
                                {"end_record_sent", found.endRecordSent},
                                {"unsent_tail", latin1ToUtf8(found.unsentTail)}};
    else
        report["refusal"] = latin1ToUtf8(found.refusal);
    env.out << report.dump(2) << '\n';
}

}  // namespace

Exit runHexCheck(const HexCheckCommand& command, bool json, const Environment& env)
{
    const auto found = firmware::inspectImageFile(command.file);
    if (!found) {
        env.err << "ioxctl: cannot read " << command.file << '\n';
        return Exit::ImageRefused;
    }
    if (json)
        printJson(*found, command.file, env);
    else
        printText(*found, command.file, env);
    return found->records.problems.empty() && found->refusal.empty() ? Exit::Ok : Exit::ImageRefused;
}

}  // namespace iox::ctl
