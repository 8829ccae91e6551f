#pragma once

#include <QString>

#include <memory>

namespace talvor::platform {

enum class AudioFileFormat { AacM4a, PcmWav };

// Writes float samples to a sound file on a writer thread of its own, resampled and encoded
// there: AAC in an MPEG-4 audio file where an AAC encoder is installed, else 16-bit PCM in a
// WAV file beside the asked-for name. Calls come from one thread at a time.
class AudioFileWriter {
  public:
    using Format = AudioFileFormat;

    AudioFileWriter() = default;
    virtual ~AudioFileWriter() = default;
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // The format files get on this machine (the installed system's writer; without one, WAV).
    static Format availableFormat();
    // Creates the (empty) file for `path`, or its ".wav" sibling when only WAV can be
    // written; nullptr with `*status` set (an errno value) when it cannot be created, or
    // when no system writer is installed (ENOSYS, with a log line).
    static std::unique_ptr<AudioFileWriter> createNew(const QString& path, double fileRate,
                                                      int fileChannels, int* status);

    virtual Format format() const = 0;
    // The file actually written.
    virtual const QString& path() const = 0;

    // The samples handed to writeAsync: interleaved floats at `rate` with `channels`.
    // 0, or a negative status when the encoding chain cannot be built.
    virtual int setClientFormat(double rate, int channels) = 0;
    // Queues samples for the writer thread (an empty write starts it). 0, or negative.
    virtual int writeAsync(const float* samples, qint64 frameCount) = 0;
    // Finishes the file: drains the queue and closes it. Also done on destruction.
    virtual void dispose() = 0;
};

}  // namespace talvor::platform
