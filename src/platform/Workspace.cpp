#include "Workspace.h"

#include "XdgWorkspace.h"

namespace talvor::platform {
namespace {
Workspace* gReplacement = nullptr;
}

Workspace::Workspace() = default;
Workspace::~Workspace() = default;

Workspace& Workspace::shared() {
    if (gReplacement != nullptr) {
        return *gReplacement;
    }
    // Never destroyed: observers held elsewhere may outlive main's scope.
    static Workspace* real = XdgWorkspace::create().release();
    return *real;
}

void Workspace::setShared(Workspace* workspace) {
    gReplacement = workspace;
}

}  // namespace talvor::platform
