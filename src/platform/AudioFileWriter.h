#pragma once

#include <QString>

#include <memory>

namespace talvor::platform {

// Writes float samples to a sound file on a writer thread of its own (GStreamer), resampled
// and encoded there: AAC in an MPEG-4 audio file where an AAC encoder is installed, else
// 16-bit PCM in a WAV file beside the asked-for name. Calls come from one thread at a time.
class AudioFileWriter {
  public:
    enum class Format { AacM4a, PcmWav };

    ~AudioFileWriter();
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // The format files get on this machine.
    static Format availableFormat();
    // Creates the (empty) file for `path`, or its ".wav" sibling when only WAV can be
    // written; nullptr with `*status` set (an errno value) when it cannot be created.
    static std::unique_ptr<AudioFileWriter> createNew(const QString& path, double fileRate,
                                                      int fileChannels, int* status);

    Format format() const { return format_; }
    // The file actually written.
    const QString& path() const { return path_; }

    // The samples handed to writeAsync: interleaved floats at `rate` with `channels`.
    // 0, or a negative status when the encoding chain cannot be built.
    int setClientFormat(double rate, int channels);
    // Queues samples for the writer thread (an empty write starts it). 0, or negative.
    int writeAsync(const float* samples, qint64 frameCount);
    // Finishes the file: drains the queue and closes it. Also done on destruction.
    void dispose();

  private:
    AudioFileWriter() = default;
    struct Pipeline;

    Format format_ = Format::AacM4a;
    QString path_;
    double fileRate_ = 0;
    int fileChannels_ = 0;
    double clientRate_ = 0;
    int clientChannels_ = 0;
    qint64 framesWritten_ = 0;
    std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace talvor::platform
