#pragma once

#include "platform/SecretStore.h"

namespace talvor::platform {

// The desktop's keyring (GNOME Keyring, KWallet) through libsecret's Secret Service client:
// one item per name in the default collection, under a schema of ours. Without a session
// bus or a Secret Service on it, every call is Unavailable.
class LibsecretStore : public SecretStore {
  public:
    Outcome save(const QString& name, const QByteArray& secret) override;
    Loaded load(const QString& name) override;
    Outcome remove(const QString& name) override;
};

}  // namespace talvor::platform
