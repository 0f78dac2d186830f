// A virtual box in the kernel: each slot is one /dev/uhid device with the box's USB identity
// and report layout (one 64-byte input and one 64-byte output report, no report IDs). Output
// reports are answered by the same box model as the simulated backend, so the host sees the
// kernel's HID core, hidraw and hidapi in front of the answers it knows.
//
// Driven line by line on stdin; every command gets one reply line on stdout ("ok ..." or
// "error ..."), "take" a list closed by "end":
//   create <slot> <serial> [vid pid]  a new uhid device (ids in hex, default the box's)
//   destroy <slot>                     unplug at once
//   silent <slot> 0|1                  take requests but answer none
//   stale <slot> <hex>                 send an input report now (up to 64 payload bytes)
//   vanish-on-next <slot> <ms>         the next request is not answered; unplug <ms> later
//   reset-timing <slot> <ms> <ms>      after answering ResetCPU: unplug after the first,
//                                      plug in again (a new uhid device) after the second
//   take <slot>                        every output report since the last take, as the
//                                      kernel delivered it: "out <size> <rtype> <hex>"
//   state <slot>                       presence, generation, update flag, bootloader, lines
//   quit

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "device/commands.h"
#include "device/sim/sim_box.h"
#include "iox_version.h"

namespace {

using Clock = std::chrono::steady_clock;
using iox::Report;

// Vendor-defined page; one application collection with a 64-byte input and a 64-byte output
// report, neither numbered.
const std::uint8_t kDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,  // Usage Page (vendor 0xFF00), Usage (1), Collection (Application)
    0x09, 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00,  //   Usage (2), Logical Minimum (0), Logical Maximum (255)
    0x75, 0x08, 0x95, 0x40, 0x81, 0x02,        //   Report Size (8), Report Count (64), Input (Data, Variable, Absolute)
    0x09, 0x03, 0x15, 0x00, 0x26, 0xFF, 0x00,  //   Usage (3), Logical Minimum (0), Logical Maximum (255)
    0x75, 0x08, 0x95, 0x40, 0x91, 0x02,        //   Report Size (8), Report Count (64), Output (Data, Variable, Absolute)
    0xC0,                                      // End Collection
};

std::string hex(const std::uint8_t* data, std::size_t size)
{
    std::string text;
    char byte[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        text += byte;
    }
    return text;
}

std::vector<std::uint8_t> unhex(const std::string& text)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

struct Slot {
    std::optional<iox::sim::SimBox> model;
    int fd = -1;  // the open /dev/uhid; one device per open
    std::uint16_t vendor = iox::kBoxVendorId;
    std::uint16_t product = iox::kBoxProductId;
    int generation = 0;  // uhid devices created for this slot so far
    bool silent = false;
    std::optional<int> vanishDelayMs;
    int resetUnplugMs = 100;
    int resetAwayMs = 500;
    std::optional<Clock::time_point> unplugAt, plugAt;
    std::vector<std::string> received;
};

class VirtualBoxes {
public:
    int run();

private:
    bool command(const std::string& line);
    bool create(Slot& slot);
    void destroy(Slot& slot);
    bool sendInput(Slot& slot, const std::uint8_t* payload, std::size_t size);
    void serviceDevice(Slot& slot);
    void onOutput(Slot& slot, const uhid_output_req& output);
    void runTimers();
    int pollTimeoutMs() const;

    std::map<int, Slot> m_slots;
};

bool VirtualBoxes::create(Slot& slot)
{
    slot.fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (slot.fd < 0)
        return false;
    uhid_event ev{};
    ev.type = UHID_CREATE2;
    auto& rq = ev.u.create2;
    std::snprintf(reinterpret_cast<char*>(rq.name), sizeof rq.name, "Virtual USB To I/O box");
    std::snprintf(reinterpret_cast<char*>(rq.phys), sizeof rq.phys, "uhid-box/%d", slot.generation);
    std::snprintf(reinterpret_cast<char*>(rq.uniq), sizeof rq.uniq, "%s", slot.model->config().serial.c_str());
    std::memcpy(rq.rd_data, kDescriptor, sizeof kDescriptor);
    rq.rd_size = sizeof kDescriptor;
    rq.bus = 0x03;  // BUS_USB, as the box is
    rq.vendor = slot.vendor;
    rq.product = slot.product;
    rq.version = 0x0100;
    if (::write(slot.fd, &ev, sizeof ev) != static_cast<ssize_t>(sizeof ev)) {
        ::close(slot.fd);
        slot.fd = -1;
        return false;
    }
    ++slot.generation;
    return true;
}

void VirtualBoxes::destroy(Slot& slot)
{
    if (slot.fd < 0)
        return;
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    (void)::write(slot.fd, &ev, sizeof ev);
    ::close(slot.fd);
    slot.fd = -1;
}

bool VirtualBoxes::sendInput(Slot& slot, const std::uint8_t* payload, std::size_t size)
{
    if (slot.fd < 0)
        return false;
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    ev.u.input2.size = 64;  // the box always sends its full report
    std::memcpy(ev.u.input2.data, payload, std::min<std::size_t>(size, 64));
    return ::write(slot.fd, &ev, sizeof ev) == static_cast<ssize_t>(sizeof ev);
}

void VirtualBoxes::onOutput(Slot& slot, const uhid_output_req& output)
{
    const std::size_t size = std::min<std::size_t>(output.size, UHID_DATA_MAX);
    slot.received.push_back("out " + std::to_string(size) + " " + std::to_string(output.rtype) + " " +
                            hex(output.data, size));
    if (slot.vanishDelayMs) {
        slot.unplugAt = Clock::now() + std::chrono::milliseconds(*slot.vanishDelayMs);
        slot.vanishDelayMs.reset();
        return;
    }
    if (size == 0 || slot.silent)
        return;
    // As the USB HID driver does: a leading report number 0 is dropped, anything else goes
    // on the wire as it is; the box takes the first 64 bytes. The exact bytes are checked
    // by the test through "take".
    const std::size_t skip = output.data[0] == 0 ? 1 : 0;
    Report request{};
    std::copy(output.data + skip, output.data + std::min<std::size_t>(size, skip + 64), request.begin() + 1);
    const bool reset = request[1] == iox::cmd::ResetCpu && !slot.model->inBootloader();
    if (auto answer = slot.model->answer(request))
        sendInput(slot, answer->data() + 1, 64);
    if (reset) {
        slot.unplugAt = Clock::now() + std::chrono::milliseconds(slot.resetUnplugMs);
        slot.plugAt = *slot.unplugAt + std::chrono::milliseconds(slot.resetAwayMs);
    }
}

void VirtualBoxes::serviceDevice(Slot& slot)
{
    uhid_event ev{};
    while (slot.fd >= 0 && ::read(slot.fd, &ev, sizeof ev) > 0) {
        switch (ev.type) {
        case UHID_OUTPUT: onOutput(slot, ev.u.output); break;
        case UHID_GET_REPORT:
        case UHID_SET_REPORT: {
            // The box has no feature reports: refuse, so the kernel does not wait.
            // Both requests and both replies begin with the same id and error fields.
            uhid_event reply{};
            reply.type = ev.type == UHID_GET_REPORT ? UHID_GET_REPORT_REPLY : UHID_SET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
            (void)::write(slot.fd, &reply, sizeof reply);
            break;
        }
        default: break;  // START, STOP, OPEN, CLOSE
        }
    }
}

void VirtualBoxes::runTimers()
{
    const auto now = Clock::now();
    for (auto& [id, slot] : m_slots) {
        if (slot.unplugAt && *slot.unplugAt <= now) {
            slot.unplugAt.reset();
            destroy(slot);
        }
        if (!slot.unplugAt && slot.plugAt && *slot.plugAt <= now) {
            slot.plugAt.reset();
            // Back from the reset: in the bootloader when the update flag was set.
            if (slot.model->updateFlagSet())
                slot.model->enterBootloader();
            if (!create(slot))
                std::cerr << "iox-uhid-box: slot " << id << " could not come back\n";
        }
    }
}

// Timers are checked every few milliseconds while one is pending; otherwise poll waits.
int VirtualBoxes::pollTimeoutMs() const
{
    for (const auto& [id, slot] : m_slots)
        if (slot.unplugAt || slot.plugAt)
            return 5;
    return -1;
}

bool VirtualBoxes::command(const std::string& line)
{
    std::istringstream in(line);
    std::string verb;
    int id = -1;
    in >> verb >> id;
    if (verb == "quit")
        return false;
    auto reply = [](const std::string& text) { std::cout << text << std::endl; };
    if (verb == "create") {
        std::string serial, vid, pid;
        in >> serial >> vid >> pid;
        Slot& slot = m_slots[id];
        destroy(slot);
        slot = Slot{};
        slot.model.emplace(iox::sim::BoxConfig{.serial = serial});
        if (!vid.empty() && !pid.empty()) {
            slot.vendor = static_cast<std::uint16_t>(std::stoul(vid, nullptr, 16));
            slot.product = static_cast<std::uint16_t>(std::stoul(pid, nullptr, 16));
        }
        reply(create(slot) ? "ok" : "error cannot create uhid device: " + std::string(std::strerror(errno)));
        return true;
    }
    const auto it = m_slots.find(id);
    if (it == m_slots.end()) {
        reply("error no slot " + std::to_string(id));
        return true;
    }
    Slot& slot = it->second;
    int first = 0, second = 0;
    std::string bytes, answer = "ok";
    if (verb == "stale")
        in >> bytes;
    else
        in >> first >> second;
    if (verb == "destroy") {
        destroy(slot);
        slot.unplugAt.reset();
        slot.plugAt.reset();
    } else if (verb == "silent") {
        slot.silent = first != 0;
    } else if (verb == "stale") {
        const auto payload = unhex(bytes);
        if (!sendInput(slot, payload.data(), payload.size()))
            answer = "error no device";
    } else if (verb == "vanish-on-next") {
        slot.vanishDelayMs = first;
    } else if (verb == "reset-timing") {
        slot.resetUnplugMs = first;
        slot.resetAwayMs = second;
    } else if (verb == "take") {
        for (const auto& report : slot.received)
            reply(report);
        slot.received.clear();
        answer = "end";
    } else if (verb == "state") {
        const auto& m = *slot.model;
        std::ostringstream s;
        s << "ok present=" << (slot.fd >= 0) << " generation=" << slot.generation << " flag=" << m.updateFlagSet()
          << " bootloader=" << m.inBootloader() << " lines=" << m.bootloaderLines().size();
        answer = s.str();
    } else {
        answer = "error unknown command " + verb;
    }
    reply(answer);
    return true;
}

int VirtualBoxes::run()
{
    std::string pending;
    for (bool running = true; running;) {
        std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
        std::vector<Slot*> owners{nullptr};
        for (auto& [id, slot] : m_slots) {
            if (slot.fd >= 0) {
                fds.push_back({slot.fd, POLLIN, 0});
                owners.push_back(&slot);
            }
        }
        if (::poll(fds.data(), fds.size(), pollTimeoutMs()) < 0 && errno != EINTR)
            break;
        for (std::size_t i = 1; i < fds.size(); ++i)
            if (fds[i].revents & POLLIN)
                serviceDevice(*owners[i]);
        runTimers();
        if (fds[0].revents & (POLLIN | POLLHUP)) {
            char buffer[4096];
            const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            running = got > 0;  // else the controlling test has gone
            pending.append(buffer, running ? static_cast<std::size_t>(got) : 0);
            for (std::size_t end; running && (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
                running = command(pending.substr(0, end));
        }
    }
    for (auto& [id, slot] : m_slots)
        destroy(slot);
    return 0;
}
}  // namespace

constexpr char kHelp[] =
    "usage: iox-uhid-box [--help] [--version]\n"
    "  Plays virtual USB To I/O boxes in the kernel through /dev/uhid (root, or write access to\n"
    "  it), each answering as the simulated box does; driven by one command a line on stdin:\n"
    "    create <slot> <serial> [vid pid] | destroy <slot> | silent <slot> 0|1 | stale <slot> <hex>\n"
    "    vanish-on-next <slot> <ms> | reset-timing <slot> <ms> <ms> | take <slot> | state <slot> | quit\n";

int main(int argc, char** argv)
{
    if (argc > 1) {
        const std::string arg = argv[1];
        if (arg == "--version")
            std::cout << "iox-uhid-box " << iox::kVersion << '\n';
        else if (arg == "--help" || arg == "-h")
            std::cout << kHelp;
        else
            std::cerr << "iox-uhid-box: unknown option \"" << arg << "\"\n" << kHelp;
        return arg == "--version" || arg == "--help" || arg == "-h" ? 0 : 2;
    }
    std::ios::sync_with_stdio(false);
    return VirtualBoxes{}.run();
}
