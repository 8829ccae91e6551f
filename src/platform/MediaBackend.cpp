#include "MediaBackend.h"

#include "Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace talvor::platform {
namespace {

void logFromModule(const QString& line) {
    log(line);
}

// Beside the program as installed (bin/ and lib/ side by side), then where the build put it
// (programs and tests run from the build tree), then the installed place itself.
QStringList modulePlaces() {
    QStringList places;
    if (const QString chosen = qEnvironmentVariable("TALVOR_MEDIA_MODULE"); !chosen.isEmpty()) {
        return {chosen};
    }
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!program.isEmpty()) {
        places << programLibraryFolder(program) + QStringLiteral("/" TALVOR_MEDIA_MODULE_NAME);
    }
    places << QStringLiteral(TALVOR_MEDIA_MODULE_BUILD_PATH)
           << QStringLiteral(TALVOR_INSTALL_FULL_LIBDIR "/talvor/" TALVOR_MEDIA_MODULE_NAME);
    return places;
}

MediaBackend* loadBackend() {
    QStringList failures;
    const QStringList places = modulePlaces();
    for (const QString& place : places) {
        if (!QFileInfo::exists(place)) {
            continue;
        }
        void* module = dlopen(place.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            failures << QString::fromLocal8Bit(dlerror());
            continue;
        }
        // Never closed: its players may outlive every caller.
        if (auto entry = reinterpret_cast<MediaModuleEntry>(dlsym(module, kMediaModuleEntry))) {
            return entry(&logFromModule);
        }
        failures << QStringLiteral("%1 has no %2").arg(place, QLatin1String(kMediaModuleEntry));
    }
    log(QStringLiteral("No media module (%1): sounds, recording and videos are off")
            .arg(failures.isEmpty()
                     ? QStringLiteral("none of %1").arg(places.join(QStringLiteral(", ")))
                     : failures.join(QStringLiteral("; "))));
    return nullptr;
}

}  // namespace

QString programLibraryFolder(const QString& executable) {
    return QDir::cleanPath(QFileInfo(executable).absolutePath() +
                           QStringLiteral("/../" TALVOR_INSTALL_LIBDIR "/talvor"));
}

QString mediaModulePath() {
    const QStringList places = modulePlaces();
    for (const QString& place : places) {
        if (QFileInfo::exists(place)) {
            return place;
        }
    }
    return QString();
}

MediaBackend* mediaBackend() {
    static MediaBackend* const backend = loadBackend();
    return backend;
}

}  // namespace talvor::platform
