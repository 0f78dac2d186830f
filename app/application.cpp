#include "application.h"

#include <QApplication>

#include "firmware/firmware_info_form.h"
#include "panels/main_panel.h"
#include "panels/ui_services.h"
#include "session/session.h"

namespace iox::app {

int run(HidBackend& backend)
{
    // The main window ends the program itself: between the start-up's hand-over to the
    // compact panel, or a firmware update's restart, no window may be open for a moment.
    QApplication::setQuitOnLastWindowClosed(false);
    session::setDeviceBackend(backend, [] { ui::services().processEvents(); });
    panels::setFirmwareInfoOpener(&firmware::openFirmwareInfo);
    panels::loadMainPanel();
    const int exitCode = QApplication::exec();
    session::endSession();
    return exitCode;
}

}  // namespace iox::app
