#include "ProcessLauncher.h"

#include "Log.h"

#include <QProcess>
#include <QStandardPaths>

#include <atomic>

namespace talvor::platform {
namespace {
std::atomic<ProcessLauncher*> gOverride{nullptr};
}

ProcessLauncher::~ProcessLauncher() = default;

ProcessLauncher& ProcessLauncher::shared() {
    if (ProcessLauncher* overridden = gOverride.load()) {
        return *overridden;
    }
    static SystemProcessLauncher real;
    return real;
}

void ProcessLauncher::setShared(ProcessLauncher* launcher) {
    gOverride.store(launcher);
}

bool SystemProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    // Detached children are reparented away from us, so none is left as a zombie.
    if (!QProcess::startDetached(program, arguments)) {
        log(QStringLiteral("Could not start %1").arg(program));
        return false;
    }
    return true;
}

QString SystemProcessLauncher::findExecutable(const QString& name) const {
    return QStandardPaths::findExecutable(name);
}

}  // namespace talvor::platform
