#include "file_probe.h"

#include <QFile>
#include <QFileInfo>

namespace iox::firmware {

namespace {
constexpr int kProbeNames = 100;
}

bool canCreateFile(const QString& path)
{
    if (path.isEmpty())
        return false;
    // A wildcard makes a pattern, not a name, on every platform.
    if (QFileInfo(path).fileName().contains(QLatin1Char('*')) || QFileInfo(path).fileName().contains(QLatin1Char('?')))
        return false;
    for (int n = 0; n < kProbeNames; ++n) {
        const QString probe = path + QLatin1Char('_') + (n == 0 ? QString() : QString::number(n));
        QFile file(probe);
        // NewOnly fails rather than open a file that exists: what is there stays untouched.
        if (file.open(QIODevice::ReadWrite | QIODevice::NewOnly)) {
            file.close();
            file.remove();
            return true;
        }
        if (!QFileInfo::exists(probe))
            return false;  // not taken, just impossible to create
    }
    return false;
}

}  // namespace iox::firmware
