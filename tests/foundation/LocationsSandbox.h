#pragma once

// A temporary home for the support-folder and location-table tests: XDG folders, a system
// data folder, a counted beep, a recorded "open folder" and the log.
#include "foundation/TalvorFilePaths.h"
#include "foundation/vltPaths.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace talvor::test {

class LocationsSandbox : public ::testing::Test {
  protected:
    LocationsSandbox() {
        QDir().mkpath(systemDir());
        previousBeep_ = platform::setBeepHandler([this] { ++beeps_; });
        previousOpen_ = vltPaths::setOpenFolderHandler([this](const QString& folder) {
            opened_.append(folder);
            return openSucceeds_;
        });
    }
    ~LocationsSandbox() override {
        vltPaths::setOpenFolderHandler(previousOpen_);
        platform::setBeepHandler(previousBeep_);
    }

    QString home() const { return sandbox_.root() + QStringLiteral("/home"); }
    QString data() const { return sandbox_.root() + QStringLiteral("/data/talvor"); }
    QString systemDir() const { return sandbox_.root() + QStringLiteral("/system"); }
    QString userDataFolder() const {
        return data() + QStringLiteral("/com.larkspindle.Talvor/Talvor Pro");
    }
    QString liveFile() const { return userDataFolder() + QStringLiteral("/Talvor Locations"); }
    QString netFile() const {
        return userDataFolder() + QStringLiteral("/Talvor Net Locations.plist");
    }
    QString schedulerFile() const {
        return userDataFolder() + QStringLiteral("/Talvor Scheduler Locations");
    }
    QString bundledFile() const { return systemDir() + QStringLiteral("/LocationsConfig.plist"); }

    static void writeBytes(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        f.write(bytes);
    }
    static QByteArray readBytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writePlist(const QString& path, const QVariant& value) {
        const auto bytes =
            platform::PropertyList::serialize(value, platform::PropertyList::Format::Xml);
        ASSERT_TRUE(bytes.has_value());
        writeBytes(path, *bytes);
    }
    // The property list in `path`; an invalid value when missing or unreadable.
    static QVariant readPlist(const QString& path) {
        return platform::PropertyList::parse(readBytes(path)).value_or(QVariant());
    }

    XdgSandbox sandbox_;
    ScopedEnvVar system_{"TALVOR_SYSTEM_DATA_DIR", sandbox_.root() + QStringLiteral("/system")};
    LogCapture log_;
    int beeps_ = 0;
    QStringList opened_;
    bool openSucceeds_ = true;

  private:
    platform::BeepHandler previousBeep_;
    vltPaths::OpenFolderHandler previousOpen_;
};

}  // namespace talvor::test
