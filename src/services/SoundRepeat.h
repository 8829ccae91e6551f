#pragma once

#include <QString>

#include <memory>

namespace talvor {

// Playing a sound file a number of times back to back.
namespace Repeat {

struct Chain;

// Lets the caller stop a chain (a preview, say); dropping it does not.
class Handle {
  public:
    Handle() = default;
    explicit Handle(std::weak_ptr<Chain> chain) : chain_(std::move(chain)) {}
    // Stops the sound and plays it no more.
    void cancel();
    bool isActive() const;

  private:
    std::weak_ptr<Chain> chain_;
};

// Plays the file `times` times (once when 1 or less), each start one duration after the
// previous. An unreadable file plays nothing.
Handle playSoundAtPath(const QString& path, qint32 times);
// Stops every chain (at quit).
void stopAll();

}  // namespace Repeat

}  // namespace talvor
