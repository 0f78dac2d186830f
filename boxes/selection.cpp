#include "selection.h"

#include <algorithm>
#include <map>

#include "device/commands.h"

namespace iox::boxes {

std::vector<std::string> boxPaths(HidBackend& bus)
{
    std::vector<std::string> paths;
    for (const auto& hid : bus.enumerate()) {
        if (hid.vendorId == kBoxVendorId && hid.productId == kBoxProductId)
            paths.push_back(hid.path);
    }
    return paths;
}

std::vector<Identity> listBoxes(HidBackend& bus, Ask ask, std::chrono::milliseconds timeout)
{
    std::vector<Identity> boxes;
    std::map<std::string, int> serials;
    for (const auto& path : boxPaths(bus)) {
        boxes.push_back(identify(bus, path, ask, timeout));
        if (boxes.back().answered)
            ++serials[boxes.back().serial];
    }
    for (auto& box : boxes)
        box.sharedSerial = box.answered && serials[box.serial] > 1;
    return boxes;
}

Selection selectBox(HidBackend& bus, const Wanted& wanted, std::chrono::milliseconds timeout, Ask ask)
{
    Selection selection;
    const std::vector<std::string> paths = boxPaths(bus);
    selection.attached = paths.size();
    const auto chosen = [&](const std::string& path) {
        selection.path = path;
        return selection;
    };
    const auto refused = [&](Outcome outcome) {
        selection.outcome = outcome;
        return selection;
    };
    if (wanted.path)
        return std::find(paths.begin(), paths.end(), *wanted.path) != paths.end() ? chosen(*wanted.path)
                                                                                 : refused(Outcome::NotFound);
    if (paths.empty())
        return refused(Outcome::NoneAttached);
    if (!wanted.serial)
        return paths.size() == 1 ? chosen(paths.front()) : refused(Outcome::Several);
    for (const auto& path : paths) {
        const Identity box = identify(bus, path, ask, timeout);
        if (!box.answered)
            ++selection.unasked;
        else if (box.serial == *wanted.serial)
            selection.sharing.push_back(path);
    }
    if (selection.sharing.size() == 1)
        return chosen(selection.sharing.front());
    return refused(selection.sharing.empty() ? Outcome::NotFound : Outcome::SerialShared);
}

}  // namespace iox::boxes
