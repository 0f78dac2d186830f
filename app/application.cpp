#include "application.h"

#include <QApplication>

#include "app_state.h"
#include "firmware/firmware_info_form.h"
#include "panels/main_panel.h"
#include "panels/ui_services.h"

namespace iox::app {

int run(HidBackend& backend)
{
    // The main window ends the program itself: between the start-up's hand-over to the
    // compact panel, or a firmware update's restart, no window may be open for a moment.
    QApplication::setQuitOnLastWindowClosed(false);
    setDeviceBackend(backend, [] { ui::services().processEvents(); });
    panels::setFirmwareInfoOpener(&firmware::openFirmwareInfo);
    panels::loadMainPanel();
    return QApplication::exec();
}

}  // namespace iox::app
