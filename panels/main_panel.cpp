// The main window's lifecycle: TestForm loaded at start and after each firmware update,
// IO4 after the start-up's hand-over, and the end of the program when the operator
// closes whichever of them is the main window.

#include "main_panel.h"

#include <QApplication>

#include "io4.h"
#include "main_window.h"
#include "one_window.h"
#include "test_form.h"
#include "ui_services.h"

namespace iox::panels {

namespace {

OneWindow<TestForm> g_main;
OneWindow<IO4> g_compact;
std::function<void(TestForm&)> g_opener;

// The windows are destroyed when the event loop has ended, before QApplication goes.
void destroyAtQuit()
{
    static bool hooked = false;
    if (hooked || !QCoreApplication::instance())
        return;
    hooked = true;
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [] {
        delete g_main.release();
        delete g_compact.release();
    });
}

}  // namespace

TestForm* loadMainPanel()
{
    // Only the operator's closing of the main window ends the program (main_window.h).
    QApplication::setQuitOnLastWindowClosed(false);
    destroyAtQuit();

    TestForm* form = &g_main.replace(new TestForm);
    form->Form_Load();
    if (form->isUnloaded()) {  // handed over to IO4
        g_main.release()->deleteLater();
        return nullptr;
    }
    form->show();
    form->shownAsActive();
    return form;
}

TestForm* mainPanel() { return g_main.get(); }

void unloadMainPanel()
{
    TestForm* form = g_main.release();
    if (!form)
        return;
    form->unload();
    // Later, so that a caller inside one of the window's own handlers is safe.
    form->deleteLater();
}

void setFirmwareInfoOpener(std::function<void(TestForm&)> opener) { g_opener = std::move(opener); }

const std::function<void(TestForm&)>& firmwareInfoOpener() { return g_opener; }

IO4* openCompactPanel(const QString& sn, const QString& title)
{
    destroyAtQuit();
    IO4* panel = &g_compact.replace(new IO4);
    panel->SN_Selected = sn;
    panel->setWindowTitle(title);
    panel->Form_Load();
    panel->show();
    return panel;
}

IO4* compactPanel() { return g_compact.get(); }

void mainWindowClosed() { ui::services().quitApplication(); }

void destroyWindowsForTests()
{
    delete g_main.release();
    delete g_compact.release();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace iox::panels
