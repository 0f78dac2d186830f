#include "hex_check_command.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "firmware_core/hex_records.h"
#include "firmware_core/image_file.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

using firmware::HexProblem;
using firmware::HexRecords;

struct Findings {
    HexRecords records;
    std::string refusal;  // why flash would not take the file; empty when it would
    std::size_t linesSent = 0, bytesSent = 0;
    bool endRecordSent = false;
    std::string unsentTail;  // the text after the last cut
};

// At most the largest image and one byte more: enough to tell a file that is too large.
std::optional<std::string> readBounded(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text;
    text.resize(static_cast<std::size_t>(firmware::kMaxImageBytes) + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::size_t fileLineAt(const std::string& text, std::size_t index)
{
    return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(index), '\n'));
}

Findings examine(const std::string& text, const std::string& file)
{
    Findings found;
    found.records = firmware::checkHexRecords(text);
    // Every line the cut produces that a request cannot carry, not only the first.
    const auto lines = firmware::cutImageLines(text);
    for (const auto& line : lines) {
        if (line.length > firmware::kMaxLineBytes)
            found.records.problems.push_back(
                {fileLineAt(text, line.offset), "image line of " + std::to_string(line.length) +
                                              " characters (line end included): a line request carries " +
                                              std::to_string(firmware::kMaxLineBytes)});
    }
    std::stable_sort(found.records.problems.begin(), found.records.problems.end(),
                     [](const HexProblem& a, const HexProblem& b) { return a.line < b.line; });

    std::error_code error;
    const std::string path = std::filesystem::absolute(file, error).lexically_normal().string();
    const firmware::ImageFileResult verdict = firmware::readImageFile(path);
    if (!firmware::isFirmwareFilePath(path)) {
        found.refusal = std::string(firmware::kIllegalFileText) + ": the file name must begin with USB_IO_Firmware_";
    } else if (!verdict.image) {
        found.refusal = verdict.error.substr(0, verdict.error.find("\r\n"));
    }
    if (verdict.image) {
        for (const auto& line : verdict.image->lines) {
            ++found.linesSent;
            found.bytesSent += std::min<std::size_t>(line.length, firmware::kMaxLineBytes);
            found.endRecordSent = found.endRecordSent || line.endOfFileRecord;
        }
        const std::size_t sentUpTo = lines.empty() ? 0 : lines.back().position() - 1;
        found.unsentTail = text.substr(sentUpTo);
    }
    return found;
}

void printText(const Findings& found, const std::string& file, const Environment& env)
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

void printJson(const Findings& found, const std::string& file, const Environment& env)
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
    const auto text = readBounded(command.file);
    if (!text) {
        env.err << "ioxctl: cannot read " << command.file << '\n';
        return Exit::ImageRefused;
    }
    const Findings found = examine(*text, command.file);
    if (json)
        printJson(found, command.file, env);
    else
        printText(found, command.file, env);
    return found.records.problems.empty() && found.refusal.empty() ? Exit::Ok : Exit::ImageRefused;
}

}  // namespace iox::ctl
