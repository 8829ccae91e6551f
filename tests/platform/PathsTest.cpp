#include "platform/Paths.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

namespace talvor::platform {
namespace {

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value)
        : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
        if (value) {
            qputenv(name, value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

  private:
    const char* name_;
    QByteArray old_;
    bool had_;
};

TEST(platformPaths, FollowTheXdgVariablesAndIgnoreRelativeOnes) {
    struct Case {
        const char* configHome;  // nullptr: unset
        const char* expectedConfig;
    };
    const Case cases[] = {
        {"/tmp/cfg", "/tmp/cfg/talvor"},
        {"/tmp/cfg/", "/tmp/cfg/talvor"},
        {nullptr, "/home/u/.config/talvor"},
        {"", "/home/u/.config/talvor"},
        {"relative/cfg", "/home/u/.config/talvor"},
    };
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv cache("XDG_CACHE_HOME", "/var/tmp/c");
    for (const Case& c : cases) {
        ScopedEnv config("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(Paths::configDir(), QString::fromLatin1(c.expectedConfig));
    }
    EXPECT_EQ(Paths::dataDir(), QStringLiteral("/home/u/.local/share/talvor"));
    EXPECT_EQ(Paths::cacheDir(), QStringLiteral("/var/tmp/c/talvor"));
}

TEST(platformPaths, TheSystemDataFolderLiesBesideTheProgramUnlessOverridden) {
    {
        ScopedEnv over("TALVOR_SYSTEM_DATA_DIR", "/opt/talvor/share");
        EXPECT_EQ(Paths::systemDataDir(), QStringLiteral("/opt/talvor/share"));
    }
    ScopedEnv over("TALVOR_SYSTEM_DATA_DIR", nullptr);
    EXPECT_TRUE(Paths::systemDataDir().endsWith(QStringLiteral("/share/talvor")));
}

}  // namespace
}  // namespace talvor::platform
