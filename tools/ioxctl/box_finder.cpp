#include "box_finder.h"

#include "device/commands.h"
#include "device/one_box_backend.h"

namespace iox::ctl {

std::vector<std::string> boxPaths(HidBackend& bus)
{
    std::vector<std::string> paths;
    for (const auto& hid : bus.enumerate()) {
        if (hid.vendorId == kBoxVendorId && hid.productId == kBoxProductId)
            paths.push_back(hid.path);
    }
    return paths;
}

BoxIdentity identify(HidBackend& bus, const std::string& path, const Environment& env, bool full)
{
    BoxIdentity box;
    box.path = path;
    OneBoxBackend view(bus, path);
    USB_IO device(view);
    device.setExchangeTimeout(env.exchangeTimeout);
    if (device.Connect() != 1)
        return box;
    box.opened = true;
    box.answered = device.Read_SN(box.serial) == 1;
    if (box.answered && full) {
        device.Read_ModelName(box.model);
        std::uint8_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        box.level = device.GetExtFirmware(a0, a1, a2, a3, box.revision);
    }
    device.Disconnect();
    return box;
}

Selection selectBox(HidBackend& bus, const GlobalOptions& options, const Environment& env)
{
    const std::vector<std::string> paths = boxPaths(bus);
    if (options.path) {
        for (const auto& path : paths) {
            if (path == *options.path)
                return {path, Exit::Ok, {}};
        }
        return {std::nullopt, Exit::NotFound, "no box at the path \"" + *options.path + "\" (see ioxctl list)"};
    }
    if (paths.empty())
        return {std::nullopt, Exit::NoBox, "no box attached (ioxctl doctor tells why)"};
    if (!options.serial) {
        if (paths.size() == 1)
            return {paths.front(), Exit::Ok, {}};
        return {std::nullopt, Exit::SeveralBoxes,
                std::to_string(paths.size()) + " boxes attached: choose one with --sn SN or --path PATH (see ioxctl list)"};
    }
    std::vector<std::string> matches;
    std::size_t unreachable = 0;
    for (const auto& path : paths) {
        const BoxIdentity box = identify(bus, path, env, false);
        if (!box.answered)
            ++unreachable;
        else if (box.serial == *options.serial)
            matches.push_back(path);
    }
    if (matches.size() == 1)
        return {matches.front(), Exit::Ok, {}};
    if (matches.size() > 1) {
        std::string message = std::to_string(matches.size()) + " boxes share the serial number " + *options.serial +
                              ": choose one with --path:";
        for (const auto& path : matches)
            message += " " + path;
        return {std::nullopt, Exit::SeveralBoxes, message};
    }
    std::string message = "no box with the serial number " + *options.serial;
    if (unreachable > 0)
        message += " (" + std::to_string(unreachable) + " box(es) could not be asked: see ioxctl doctor)";
    return {std::nullopt, Exit::NotFound, message};
}

Exit withBox(HidBackend& bus, const GlobalOptions& options, const Environment& env,
             const std::function<Exit(USB_IO& device, const std::string& path)>& body)
{
    const Selection selection = selectBox(bus, options, env);
    if (!selection.path) {
        env.err << "ioxctl: " << selection.message << '\n';
        return selection.exit;
    }
    OneBoxBackend view(bus, *selection.path);
    USB_IO device(view);
    device.setExchangeTimeout(env.exchangeTimeout);
    if (device.Connect() != 1) {
        env.err << "ioxctl: the box at " << *selection.path
                << " cannot be opened (permissions, or another program holds it: see ioxctl doctor)\n";
        return Exit::CannotOpen;
    }
    const Exit exit = body(device, *selection.path);
    device.Disconnect();
    return exit;
}

}  // namespace iox::ctl
