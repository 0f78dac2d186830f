// iox-controller: the application over real boxes. It keeps no settings; its one option,
// "--record FILE", writes the session's traffic with the boxes to a file.

#include <QApplication>

#include <cstdio>

#include "app/application.h"
#include "app/info_options.h"
#include "app/record_option.h"
#include "boxes/backend_stack.h"

namespace {

constexpr char kHelp[] =
    "usage: iox-controller [--record FILE] [--help] [--version]\n"
    "  Opens the control and test panel over the USB To I/O boxes attached to this machine.\n"
    "  --record FILE  write every exchange with the boxes to FILE (see docs/recording.md)\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "Qt's own options (for example -platform offscreen) are accepted as well.\n";

}  // namespace

int main(int argc, char** argv)
{
    if (const auto status = iox::app::answerInfoOption(argc, argv, "iox-controller", kHelp))
        return *status;
    QApplication application(argc, argv);
    std::vector<std::string> args;
    for (const QString& arg : QApplication::arguments().mid(1))
        args.push_back(arg.toStdString());
    const iox::app::RecordOption record = iox::app::takeRecordOption(args);
    if (!record.error.empty() || !args.empty()) {
        const std::string why = record.error.empty() ? "unknown option \"" + args.front() + "\"" : record.error;
        std::fprintf(stderr, "iox-controller: %s\n%s", why.c_str(), kHelp);
        return 2;
    }
    iox::boxes::StackOptions stackOptions;
    stackOptions.program = "iox-controller";
    stackOptions.record = record.path;
    auto built = iox::boxes::BackendStack::build(std::move(stackOptions));
    if (!built.stack) {
        std::fprintf(stderr, "iox-controller: %s\n", built.error.c_str());
        return 2;
    }
    return iox::app::run(built.stack->bus());
}
