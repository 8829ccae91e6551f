#pragma once

#include "AudioFileWriter.h"

#include <QString>

#include <memory>

class QWidget;

namespace talvor::platform {

class AudioInputSystem;
class SoundSystem;
class VideoPlayer;

// Sounds, audio inputs, videos and sound files on Qt Multimedia and GStreamer. They live in a
// module of their own, loaded at their first use: a start of the program does not load those
// libraries (and the sound server's) before its first frame.
class MediaBackend {
  public:
    virtual ~MediaBackend() = default;
    virtual SoundSystem& sounds() = 0;
    virtual AudioInputSystem& audioInputs() = 0;
    virtual std::unique_ptr<VideoPlayer> videoPlayer(QWidget* parent) = 0;
    virtual AudioFileFormat audioFileFormat() = 0;
    // As AudioFileWriter::createNew.
    virtual std::unique_ptr<AudioFileWriter> createAudioFileWriter(const QString& path,
                                                                   double fileRate,
                                                                   int fileChannels,
                                                                   int* status) = 0;
};

// The media module's backend, loaded by the first call (from any thread); nullptr, said once
// in the log, when the module cannot be loaded.
MediaBackend* mediaBackend();

// Where the first call loads the module from (or would): the first place that holds it;
// empty when none does. The variable TALVOR_MEDIA_MODULE names the one place to look.
QString mediaModulePath();
// The folder of the program's own libraries and modules in an installed layout, for the
// program `executable` (`<bin>/../lib/talvor`).
QString programLibraryFolder(const QString& executable);

// The module's one exported function: its backend, logging through `log`.
inline constexpr char kMediaModuleEntry[] = "talvor_media_backend";
using MediaModuleEntry = MediaBackend* (*)(void (*log)(const QString& line));

}  // namespace talvor::platform
