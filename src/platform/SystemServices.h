#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace talvor::platform {

class AppearanceSetter;
class AppearanceSource;
class AudioFileWriter;
enum class AudioFileFormat;
class DesktopPanel;
class HotKeyBackend;
class InterfaceChangeSource;
class KeyboardLayout;
class ReachabilityProbe;
class SecretStore;
class SessionEventSource;
class TimeZoneSetter;
class WindowManagerHints;
class Workspace;

// The seams whose real side needs the operating system (an X server, the kernel's netlink,
// D-Bus services, GStreamer): how each one's system implementation is made. The adapters
// live in platform/linux; the application installs them at start-up, before the first use
// of any seam. A process that installs nothing (most tests) gets each seam's stand-in, which
// reports nothing and refuses politely, saying so once in the log. A factory may also give
// nothing when its service is missing here; the stand-in then serves, without a second line.
struct SystemServices {
    std::function<std::unique_ptr<HotKeyBackend>()> hotKeyBackend;
    // A named layout ("us", "de"; empty: the system's default); nullptr when it is unknown.
    std::function<std::shared_ptr<const KeyboardLayout>(const QString& layout)> keyboardLayout;
    std::function<std::unique_ptr<WindowManagerHints>()> windowManagerHints;
    std::function<std::unique_ptr<Workspace>()> workspace;
    std::function<std::unique_ptr<InterfaceChangeSource>()> interfaceChanges;
    std::function<std::unique_ptr<ReachabilityProbe>()> reachability;
    std::function<std::unique_ptr<SessionEventSource>()> sessionEvents;
    std::function<std::unique_ptr<AppearanceSource>()> appearanceSource;
    std::function<std::unique_ptr<AppearanceSetter>()> appearanceSetter;
    std::function<std::unique_ptr<TimeZoneSetter>()> timeZoneSetter;
    std::function<AudioFileFormat()> audioFileFormat;
    // As AudioFileWriter::createNew.
    std::function<std::unique_ptr<AudioFileWriter>(const QString& path, double fileRate,
                                                   int fileChannels, int* status)>
        audioFileWriter;
    // The desktop's keyring (SecretStore::shared falls back to a private file without it).
    std::function<std::unique_ptr<SecretStore>()> secretStore;
    // The desktop's own panel, for the status items (StatusNotifierItem hosts).
    std::function<std::unique_ptr<DesktopPanel>()> desktopPanel;
};

// Replaces the installed factories (an empty SystemServices removes them). Seams already in
// use keep what they made.
void installSystemServices(SystemServices services);
const SystemServices& systemServices();

}  // namespace talvor::platform
