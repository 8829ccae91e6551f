#pragma once

#include "platform/Scheduler.h"
#include "platform/SoundPlayer.h"

#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace talvor::test {

// A sound that "plays" on the scheduler's time: it ends by itself one duration after it
// started. Every play, stop, volume change and natural end is written down with its time.
class FakeSoundPlayer : public platform::SoundPlayer {
  public:
    enum class Kind { Play, Stop, Volume, End };
    struct Event {
        double time;
        Kind kind;
        float volume;
    };

    FakeSoundPlayer(QString path, double duration, platform::Scheduler& scheduler,
                    bool loaded = true)
        : path_(std::move(path)), duration_(duration), scheduler_(scheduler), loaded_(loaded) {}

    QString path() const override { return path_; }
    bool play() override {
        if (playing_) {
            return false;
        }
        playing_ = true;
        record(Kind::Play);
        end_ = scheduler_.scheduleAfter(duration_, [this] {
            playing_ = false;
            record(Kind::End);
            if (didFinishPlaying) {
                auto callback = didFinishPlaying;
                callback(true);
            }
        });
        return true;
    }
    void stop() override {
        if (playing_) {
            playing_ = false;
            end_.cancel();
            record(Kind::Stop);
        }
    }
    bool isPlaying() const override { return playing_; }
    float volume() const override { return volume_; }
    void setVolume(float v) override {
        volume_ = v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
        record(Kind::Volume);
    }
    double duration() const override { return loaded_ ? duration_ : 0.0; }
    void whenLoaded(std::function<void()> ready) override {
        if (loaded_) {
            ready();
        } else {
            waiters_.push_back(std::move(ready));
        }
    }
    QString playbackDeviceIdentifier() const override { return device_; }
    void setPlaybackDeviceIdentifier(const QString& id) override { device_ = id; }

    // The file has been read: the duration is known from now on.
    void finishLoading() {
        loaded_ = true;
        auto waiters = std::move(waiters_);
        waiters_.clear();
        for (auto& w : waiters) {
            w();
        }
    }

    const std::vector<Event>& events() const { return events_; }
    std::vector<double> timesOf(Kind kind) const {
        std::vector<double> out;
        for (const Event& e : events_) {
            if (e.kind == kind) {
                out.push_back(e.time);
            }
        }
        return out;
    }
    // The volume at time t (after every event up to and including t).
    float volumeAt(double t) const {
        float v = 1.0f;
        for (const Event& e : events_) {
            if (e.time <= t + 1e-9 && e.kind == Kind::Volume) {
                v = e.volume;
            }
        }
        return v;
    }

  private:
    void record(Kind kind) {
        events_.push_back(
            {scheduler_.clock().now().timeIntervalSinceReferenceDate(), kind, volume_});
    }

    QString path_;
    double duration_;
    platform::Scheduler& scheduler_;
    bool loaded_;
    bool playing_ = false;
    float volume_ = 1.0f;
    QString device_;
    platform::TimerHandle end_;
    std::vector<std::function<void()>> waiters_;
    std::vector<Event> events_;
};

// Sounds by path with given durations; a path it does not know cannot be read.
class FakeSoundSystem : public platform::SoundSystem {
  public:
    explicit FakeSoundSystem(platform::Scheduler& scheduler) : scheduler_(scheduler) {
        platform::SoundSystem::setShared(this);
    }
    ~FakeSoundSystem() override { platform::SoundSystem::setShared(nullptr); }

    void addSound(const QString& path, double duration, bool loaded = true) {
        sounds_[path] = {duration, loaded};
    }
    std::shared_ptr<platform::SoundPlayer> soundWithContentsOfFile(const QString& path) override {
        auto it = sounds_.find(path);
        if (it == sounds_.end()) {
            return nullptr;
        }
        auto s = std::make_shared<FakeSoundPlayer>(path, it->second.first, scheduler_,
                                                   it->second.second);
        created.push_back(s);
        return s;
    }
    std::optional<QString> defaultAlertOutputDeviceIdentifier() const override {
        return alertDevice;
    }

    std::optional<QString> alertDevice;
    std::vector<std::shared_ptr<FakeSoundPlayer>> created;

  private:
    platform::Scheduler& scheduler_;
    std::map<QString, std::pair<double, bool>> sounds_;
};

}  // namespace talvor::test
