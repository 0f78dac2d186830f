#include "box_finder.h"

#include "device/one_box_backend.h"

namespace iox::ctl {

namespace {

// What ioxctl says of each outcome but the chosen box, and its exit code.
std::pair<Exit, std::string> refusal(const boxes::Selection& selection, const GlobalOptions& options)
{
    using boxes::Outcome;
    switch (selection.outcome) {
    case Outcome::NoneAttached:
        return {Exit::NoBox, "no box attached (ioxctl doctor tells why)"};
    case Outcome::Several:
        return {Exit::SeveralBoxes, std::to_string(selection.attached) +
                                        " boxes attached: choose one with --sn SN or --path PATH (see ioxctl list)"};
    case Outcome::SerialShared: {
        std::string message = std::to_string(selection.sharing.size()) + " boxes share the serial number " +
                              *options.serial + ": choose one with --path:";
        for (const auto& path : selection.sharing)
            message += " " + path;
        return {Exit::SeveralBoxes, message};
    }
    case Outcome::NotFound:
        if (options.path)
            return {Exit::NotFound, "no box at the path \"" + *options.path + "\" (see ioxctl list)"};
        return {Exit::NotFound, "no box with the serial number " + *options.serial +
                                    (selection.unasked > 0 ? " (" + std::to_string(selection.unasked) +
                                                                 " box(es) could not be asked: see ioxctl doctor)"
                                                           : std::string())};
    default:
        return {Exit::Ok, {}};
    }
}

}  // namespace

Exit withBox(HidBackend& bus, const GlobalOptions& options, const Environment& env,
             const std::function<Exit(USB_IO& device, const std::string& path)>& body)
{
    const boxes::Selection selection = boxes::selectBox(bus, {options.serial, options.path}, env.exchangeTimeout);
    if (selection.outcome != boxes::Outcome::Chosen) {
        const auto [exit, message] = refusal(selection, options);
        env.err << "ioxctl: " << message << '\n';
        return exit;
    }
    OneBoxBackend view(bus, selection.path);
    USB_IO device(view);
    device.setExchangeTimeout(env.exchangeTimeout);
    if (device.Connect() != 1) {
        env.err << "ioxctl: the box at " << selection.path
                << " cannot be opened (permissions, or another program holds it: see ioxctl doctor)\n";
        return Exit::CannotOpen;
    }
    const Exit exit = body(device, selection.path);
    device.Disconnect();
    return exit;
}

}  // namespace iox::ctl
