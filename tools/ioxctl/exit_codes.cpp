#include "exit_codes.h"

#include <cstdio>
#include <utility>

namespace iox::ctl {

std::string exitCodeTable()
{
    static const std::pair<Exit, const char*> kRows[] = {
        {Exit::Ok, "success"},
        {Exit::BadArgument, "bad argument or usage; nothing was sent to a box"},
        {Exit::NoBox, "no box attached"},
        {Exit::SeveralBoxes, "several boxes and no --sn/--path, or several boxes share the --sn"},
        {Exit::NotFound, "no box with that serial number or path"},
        {Exit::CannotOpen, "box present but cannot be opened (permissions, another program)"},
        {Exit::NotAnswering, "box not answering"},
        {Exit::ImageRefused, "firmware image refused by its checks; nothing was sent"},
        {Exit::UpdateFailed, "firmware update failed; the box waits in its bootloader"},
        {Exit::NotUpdatable, "the box's firmware level takes no update"},
        {Exit::Interrupted, "stopped by a signal: flash before the box's reset (nothing more was sent), or wait"},
        {Exit::WaitTimedOut, "wait: the line did not read so within --timeout"},
    };
    std::string table = "Exit codes:\n";
    for (const auto& [exit, meaning] : kRows) {
        char row[128];
        std::snprintf(row, sizeof row, "  %2d  %s\n", code(exit), meaning);
        table += row;
    }
    return table;
}

}  // namespace iox::ctl
