// iox-screenshots: renders one window of the application, over a simulated box, to a PNG.
// Usage: iox-screenshots WINDOW FILE.png, WINDOW one of main, main-model-a, compact,
// list, firmware-info, sim-box. Run it offscreen (QT_QPA_PLATFORM=offscreen); scripts/screenshots
// renders them all.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/simbox/sim_box_window.h"
#include "device/sim/sim_backend.h"
#include "device/usb_io.h"
#include "panels/io4.h"
#include "panels/main_panel.h"
#include "panels/main_window.h"
#include "panels/test_form.h"
#include "panels/ui_services.h"
#include "session/session.h"
#if __has_include("firmware/firmware_info_form.h")
#include "firmware/firmware_info_form.h"
#define IOX_HAS_FIRMWARE_WINDOWS 1
#endif

namespace {

// Lets the panel poll for a while, so that its squares show the box's state.
void settle(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool save(QWidget* window, const char* path)
{
    if (window == nullptr) {
        std::fprintf(stderr, "iox-screenshots: the window did not open\n");
        return false;
    }
    if (!window->grab().save(QString::fromLocal8Bit(path), "PNG")) {
        std::fprintf(stderr, "iox-screenshots: cannot write \"%s\"\n", path);
        return false;
    }
    return true;
}

// The selection window, rendered from inside its modal run.
class GrabModal : public iox::ui::QtServices {
public:
    explicit GrabModal(const char* path) : m_path(path) {}
    int runModal(QDialog& dialog) override
    {
        dialog.show();
        settle(50);
        m_saved = save(&dialog, m_path);
        dialog.reject();
        return dialog.result();
    }
    bool saved() const { return m_saved; }

private:
    const char* m_path;
    bool m_saved = false;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fputs("usage: iox-screenshots main|main-model-a|compact|list|firmware-info|sim-box FILE.png\n", stderr);
        return 2;
    }
    const std::string window = argv[1];
    const char* path = argv[2];

    iox::sim::SimBackend bus;
    const auto box = [&bus](const char* model, const char* serial) {
        iox::sim::BoxConfig config;
        config.model = model;
        config.serial = serial;
        return bus.addBox(config);
    };
    if (window == "compact")
        box("IOX-MODEL-B", "40001");
    else if (window == "main-model-a")
        box("IOX-MODEL-A", "50001");
    else if (window == "list") {
        box("IOX-MODEL-C", "10001");
        box("IOX-MODEL-D", "20001");
        box("IOX-MODEL-B", "40001");
    } else
        box("IOX-MODEL-C", "10001");
    bus.box(0).setInputA(0x5A);
    bus.box(0).setInputB(0xC3);

    GrabModal services(path);
    iox::ui::setServices(&services);
    iox::session::setDeviceBackend(bus, [] { iox::ui::services().processEvents(); });
    QApplication::setQuitOnLastWindowClosed(false);
#ifdef IOX_HAS_FIRMWARE_WINDOWS
    iox::panels::setFirmwareInfoOpener(&iox::firmware::openFirmwareInfo);
#endif

    iox::panels::TestForm* main = iox::panels::loadMainPanel();
    bool ok = false;
    if (window == "list") {
        ok = services.saved();
    } else if (window == "compact") {
        settle(200);
        ok = save(iox::panels::compactPanel(), path);
    } else if (window == "main" || window == "main-model-a") {
        if (main != nullptr)  // a few relays and lines switched on, as during a test
            for (QPushButton* check : {main->Check1(0), main->Check1(3), main->Check1(6), main->Check3(1)})
                check->setChecked(true);
        settle(200);
        ok = save(main, path);
    } else if (window == "sim-box") {
        if (main != nullptr) {  // port A read as input, a few outputs on, a pulse and a word sent
            main->Option1(1)->click();
            for (QPushButton* check : {main->Check1(1), main->Check1(4), main->Check3(0), main->Check3(5)})
                check->setChecked(true);
            iox::USB_IO& io = iox::session::sharedDevice();
            std::int16_t width = 20;
            io.Set_SPI_PulseWidth(width);
            io.Set_TTLPulse("B6", 5);
            io.SPI_OUT("B0", "B1", "B2", "1011001110");
        }
        iox::simbox::SimBoxWindow simWindow(bus);
        simWindow.show();
        settle(100);
        ok = save(&simWindow, path);
    } else if (window == "firmware-info") {
#ifdef IOX_HAS_FIRMWARE_WINDOWS
        if (main != nullptr) {
            main->Label11_Click();
            settle(100);
            QWidget* info = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && top->windowTitle() == QStringLiteral("Firmware - Info."))
                    info = top;
            ok = save(info, path);
        }
#else
        std::fputs("iox-screenshots: this build has no firmware windows\n", stderr);
#endif
    } else {
        std::fprintf(stderr, "iox-screenshots: unknown window \"%s\"\n", window.c_str());
        iox::session::endSession();
        return 2;
    }
    iox::ui::setServices(nullptr);
    std::_Exit(ok ? 0 : 1);
}
