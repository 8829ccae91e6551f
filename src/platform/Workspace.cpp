#include "Workspace.h"

#include "Log.h"
#include "SystemServices.h"

#include <QFileInfo>

namespace talvor::platform {
namespace {

Workspace* gReplacement = nullptr;

// Without a desktop: no applications, nothing opens.
class NoDesktopWorkspace : public Workspace {
  public:
    std::optional<RunningApplication> frontmostApplication() const override { return std::nullopt; }
    std::vector<RunningApplication> runningApplications() const override { return {}; }
    QStringList recentApplicationNames() const override { return {}; }
    std::optional<QString> fullPathForApplication(const QString&) const override {
        return std::nullopt;
    }
    QStringList settingsPanelFolders() const override { return {}; }
    QStringList settingsPanelsInFolder(const QString&) const override { return {}; }
    QString displayNameAtPath(const QString& path) const override {
        return QFileInfo(path).fileName();
    }
    QIcon iconForFile(const QString&) const override { return QIcon(); }
    bool openURL(const QUrl&) override { return false; }
    bool openFile(const QString&) override { return false; }
    bool openFile(const QString&, const QString&) override { return false; }
};

}  // namespace

Workspace::Workspace() = default;
Workspace::~Workspace() = default;

Workspace& Workspace::shared() {
    if (gReplacement != nullptr) {
        return *gReplacement;
    }
    // Never destroyed: observers held elsewhere may outlive main's scope.
    static Workspace* real = []() -> Workspace* {
        if (const auto& make = systemServices().workspace) {
            if (std::unique_ptr<Workspace> workspace = make()) {
                return workspace.release();
            }
        }
        log(QStringLiteral("Workspace: no desktop service; no applications are listed or opened"));
        return new NoDesktopWorkspace();
    }();
    return *real;
}

void Workspace::setShared(Workspace* workspace) {
    gReplacement = workspace;
}

}  // namespace talvor::platform
