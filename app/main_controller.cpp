// iox-controller: the application over real boxes. It keeps no settings.

#include <QApplication>

#include "app/application.h"
#include "app/info_options.h"
#include "device/hidapi_backend.h"

namespace {

constexpr char kHelp[] =
    "usage: iox-controller [--help] [--version]\n"
    "  Opens the control and test panel over the USB To I/O boxes attached to this machine.\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "Qt's own options (for example -platform offscreen) are accepted as well.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (const auto status = iox::app::answerInfoOption(argc, argv, "iox-controller", kHelp))
        return *status;
    QApplication application(argc, argv);
    iox::HidapiBackend hid;
    return iox::app::run(hid);
}
