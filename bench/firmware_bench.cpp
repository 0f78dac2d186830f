// The firmware update, host side: FWForm::UpdateFirmware of a 1 MiB Intel HEX image
// (16 data bytes per record) against a bootloader that answers at once, with the waits
// of the reset and the restart taken out and the progress drawn after every line. On a
// real box a line costs 1 to 2 ms; the host's share per line is what this measures. The
// memory run reports the peak resident set above the level just before the update.

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>

#include "bench_support.h"
#include "firmware/fw_form.h"
#include "panels/main_panel.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace {

using iox::bench::InstantBackend;

// The instant box whose bootloader accepts every line with "O".
class BootloaderBackend : public InstantBackend {
public:
    bool write(iox::HidHandle handle, const iox::Report& report) override
    {
        const bool ok = InstantBackend::write(handle, report);
        m_line = report[1] == ':' || report[1] == ';';
        if (m_line)
            ++lines;
        return ok;
    }
    bool read(iox::HidHandle handle, iox::Report& report, std::chrono::milliseconds timeout) override
    {
        const bool ok = InstantBackend::read(handle, report, timeout);
        if (m_line)
            report[2] = 'O';
        return ok;
    }
    long lines = 0;

private:
    bool m_line = false;
};

// Window-system services without waits or modal boxes; pending events do run.
class BenchServices : public iox::ui::Services {
public:
    iox::ui::Answer message(const QString&, iox::ui::Buttons, iox::ui::Icon) override { return iox::ui::Answer::Ok; }
    void beep() override {}
    void endProgram() override { ++ends; }
    void sleep(std::chrono::milliseconds) override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    void setBusyCursor(bool) override {}
    int runModal(QDialog& dialog) override
    {
        dialog.reject();
        return dialog.result();
    }
    void quitApplication() override {}
    int ends = 0;
};

// A HEX image of `dataBytes` bytes in 16-byte records, CR LF line ends, end record last.
std::string hexImage(std::size_t dataBytes)
{
    std::string text;
    text.reserve(dataBytes * 45 / 16 + 64);
    char record[64];
    for (std::size_t at = 0; at < dataBytes; at += 16) {
        unsigned sum = 16 + ((at >> 8) & 0xFF) + (at & 0xFF);
        int n = std::snprintf(record, sizeof record, ":10%04X00", unsigned(at & 0xFFFF));
        for (std::size_t i = 0; i < 16; ++i) {
            const unsigned byte = unsigned((at + i) * 7 & 0xFF);
            sum += byte;
            n += std::snprintf(record + n, sizeof record - std::size_t(n), "%02X", byte);
        }
        std::snprintf(record + n, sizeof record - std::size_t(n), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += record;
    }
    text += ":00000001FF\r\n";
    return text;
}

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
    return 0;
}

struct Setup {
    Setup()
    {
        const std::string text = hexImage(1024 * 1024 * 16 / 45);  // about 1 MiB of HEX text
        path = dir.filePath(QStringLiteral("USB_IO_Firmware_B1.hex"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.data(), qint64(text.size()));
        fileBytes = double(text.size());
        iox::ui::setServices(&services);
    }
    ~Setup() { iox::ui::setServices(nullptr); }
    QTemporaryDir dir;
    QString path;
    double fileBytes = 0;
    BenchServices services;
};

Setup& setup()
{
    static Setup s;
    return s;
}

// One whole update: the main panel loaded over the box, then UpdateFirmware to its end.
long updateOnce(BootloaderBackend& backend)
{
    iox::session::resetForTests();
    iox::session::setDeviceBackend(backend, [] { iox::ui::services().processEvents(); });
    iox::panels::loadMainPanel();
    backend.lines = 0;
    QString file = setup().path;
    iox::firmware::fwForm().UpdateFirmware(file);
    return backend.lines;
}

void UpdateOneMiB(benchmark::State& state)
{
    BootloaderBackend backend;
    long lines = 0;
    for (auto _ : state)
        lines = updateOnce(backend);
    iox::panels::unloadMainPanel();
    QCoreApplication::processEvents();
    state.counters["lines"] = double(lines);
}

void PeakMemory(benchmark::State& state)
{
    BootloaderBackend backend;
    double above = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";  // restarts the peak from now
        const long before = statusKiB("VmRSS");
        updateOnce(backend);
        above = double(statusKiB("VmHWM") - before) * 1024.0;
    }
    iox::panels::unloadMainPanel();
    QCoreApplication::processEvents();
    state.counters["peak_over_file"] = above / setup().fileBytes;
}
BENCHMARK(PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(UpdateOneMiB)->Unit(benchmark::kMillisecond)->Iterations(3);

std::string judge(const std::map<std::string, benchmark::BenchmarkReporter::Run>& m)
{
    const auto update = m.find("UpdateOneMiB/iterations:3");
    const auto memory = m.find("PeakMemory/iterations:1");
    if (update == m.end() || memory == m.end())
        return "not run";
    // Lines per second of wall time: the progress drawing is part of the host's share.
    const double rate = update->second.counters.at("lines") / (iox::bench::nsPerIteration(update->second) / 1e9);
    const double share = 100.0 * (1e6 / rate) / 1000.0;  // host time per line against 1 ms
    const double peak = memory->second.counters.at("peak_over_file");
    char text[260];
    std::snprintf(text, sizeof text,
                  "%.0f lines/s (goal >= 20000), %.2f %% of a 1 ms line; peak %.2f x the file (goal < 3 x)%s", rate,
                  share, peak, iox::bench::verdict(rate >= 20000 && peak < 3).c_str());
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    setup();
    return iox::bench::runWithGoals(argc, argv, {{"UpdateFirmware, 1 MiB image", judge}});
}
