#include "doctor_command.h"

#include "boxes/selection.h"
#include "device/commands.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

void explainPermissions(const std::string& path, const std::optional<std::string>& ruleFile, const Environment& env)
{
    env.out << "  problem: this user may not open " << path << " (permission denied)\n";
    if (ruleFile) {
        env.out << "  " << *ruleFile << " exists but has not given this user access. It grants the user\n"
                << "  logged in at the seat, and the group iox (from the package) for logins without a seat:\n"
                << "    sudo usermod -aG iox \"$USER\"   (then log in again)\n"
                << "  If the box was plugged in before the rule came, run:\n"
                << "    sudo udevadm control --reload-rules && sudo udevadm trigger\n"
                << "  or unplug the box and plug it in again.\n";
        return;
    }
    env.out << "  fix: create " << kUdevRuleFile << " holding the line\n"
            << "    " << kUdevRule << "\n"
            << "  for example:\n"
            << "    echo '" << kUdevRule << "' | sudo tee " << kUdevRuleFile << "\n"
            << "    sudo udevadm control --reload-rules && sudo udevadm trigger\n"
            << "  then unplug the box and plug it in again (TAG+=\"uaccess\" gives the logged-in user access).\n";
}

// Checks one box; Ok when it answers.
Exit checkBox(HidBackend& bus, const std::string& path, const std::optional<std::string>& ruleFile,
              const Environment& env)
{
    env.out << "box at " << printable(path) << ":\n";
    const PathAccess access = env.accessOf(path);
    env.out << "  access for this user: "
            << (access == PathAccess::Allowed  ? "read and write"
                : access == PathAccess::Denied ? "denied"
                                               : "not known for this kind of path")
            << '\n';
    const HidHandle probe = bus.open(path);
    env.out << "  open: " << (probe > 0 ? "ok" : "failed") << '\n';
    if (probe <= 0) {
        if (access == PathAccess::Denied) {
            explainPermissions(path, ruleFile, env);
        } else {
            env.out << "  problem: the box is held by another program (iox-controller, iox-demo or another tool);\n"
                    << "  close it and try again.\n";
        }
        return Exit::CannotOpen;
    }
    bus.close(probe);
    const boxes::Identity box = boxes::identify(bus, path, boxes::Ask::Everything, env.exchangeTimeout);
    env.out << "  serial-number request: " << (box.answered ? "answered" : "no answer") << '\n';
    if (!box.answered) {
        env.out << "  problem: the box does not answer within " << env.exchangeTimeout.count() << " ms. Unplug it and\n"
                << "  plug it in again; a box whose firmware update was cut off waits in its bootloader.\n";
        return Exit::NotAnswering;
    }
    env.out << "  ok: " << printable(box.serial) << ", " << printable(*box.model) << ", firmware "
            << printable(box.firmware->revision) << " (level " << box.firmware->level << ")\n";
    return Exit::Ok;
}

}  // namespace

std::optional<std::string> findUdevRule(const Environment& env)
{
    for (const char* dir : kUdevRuleDirs) {
        const std::string file = std::string(dir) + "/" + kUdevRuleName;
        if (env.exists(file))
            return file;
    }
    return std::nullopt;
}

Exit runDoctor(HidBackend& bus, const Environment& env)
{
    const std::vector<HidInterface> interfaces = bus.enumerate();
    const std::vector<std::string> paths = boxes::boxPaths(bus);
    env.out << "HID interfaces on the bus: " << interfaces.size() << ", boxes among them (vendor 2b4e, product 0021): "
            << paths.size() << '\n';
    const std::optional<std::string> ruleFile = findUdevRule(env);
    if (ruleFile) {
        env.out << "udev rule: " << *ruleFile << '\n';
    } else {
        env.out << "udev rule " << kUdevRuleName << ": absent from";
        for (const char* dir : kUdevRuleDirs)
            env.out << ' ' << dir;
        env.out << '\n';
    }
    if (paths.empty()) {
        env.out << "problem: no box on the bus. Check the cable and the USB port; 'lsusb -d 2b4e:0021' lists a\n"
                << "box that the system sees.\n";
        return Exit::NoBox;
    }
    Exit first = Exit::Ok;
    for (const auto& path : paths) {
        const Exit exit = checkBox(bus, path, ruleFile, env);
        if (first == Exit::Ok)
            first = exit;
    }
    env.out << (first == Exit::Ok ? "every box can be reached\n" : "a box cannot be reached: see above\n");
    return first;
}

}  // namespace iox::ctl
