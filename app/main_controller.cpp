// iox-controller: the application over real boxes. It takes no arguments and keeps no
// settings.

#include <QApplication>

#include "app/application.h"
#include "device/hidapi_backend.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    iox::HidapiBackend hid;
    return iox::app::run(hid);
}
