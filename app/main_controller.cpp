// iox-controller: the application over real boxes. It keeps no settings; its one option,
// "--record FILE", writes the session's traffic with the boxes to a file.

#include <QApplication>

#include <cstdio>

#include "app/application.h"
#include "app/record_option.h"
#include "device/hidapi_backend.h"
#include "device/record/recording_backend.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    std::vector<std::string> args;
    for (const QString& arg : QApplication::arguments().mid(1))
        args.push_back(arg.toStdString());
    const iox::app::RecordOption record = iox::app::takeRecordOption(args);
    if (!record.error.empty() || !args.empty()) {
        const std::string why = record.error.empty() ? "unknown option \"" + args.front() + "\"" : record.error;
        std::fprintf(stderr, "iox-controller: %s\nusage: iox-controller [--record FILE]\n", why.c_str());
        return 2;
    }
    iox::HidapiBackend hid;
    if (!record.path)
        return iox::app::run(hid);
    auto recording = iox::record::wrapForRecording(hid, *record.path, "iox-controller");
    if (!recording.backend) {
        std::fprintf(stderr, "iox-controller: %s\n", recording.error.c_str());
        return 2;
    }
    return iox::app::run(*recording.backend);
}
