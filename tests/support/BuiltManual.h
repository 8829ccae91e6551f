#pragma once

// The manual made in the build tree, for tests that open it. The test target needs
// talvor_test_uses_manual() in its CMakeLists.

#include "support/TestEnvironment.h"

#include <QString>

namespace talvor::test {

// Points the program's data folder at the build tree's share/talvor for the life of the object.
class ScopedBuiltManual {
  public:
    static QString folder() { return QStringLiteral(TALVOR_BUILD_SHARE_DIR); }
    // The manual's page at `anchor`, as the help commands should open it.
    static QString page(const QString& anchor) {
        return QStringLiteral("file://") + folder() + QStringLiteral("/manual/index.html#") +
               anchor;
    }

  private:
    ScopedEnvVar dir_{"TALVOR_SYSTEM_DATA_DIR", folder()};
};

}  // namespace talvor::test
