#pragma once

#include "platform/SecretStore.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace talvor::test {

// A keyring in memory, installed as the shared store for the life of the object. `answer`
// makes every call report that outcome without touching the items (a keyring that is
// missing, or refuses).
class FakeSecretStore : public platform::SecretStore {
  public:
    explicit FakeSecretStore(bool install = true) : installed_(install) {
        if (installed_) {
            platform::SecretStore::setShared(this);
        }
    }
    ~FakeSecretStore() override {
        if (installed_) {
            platform::SecretStore::setShared(nullptr);
        }
    }
    FakeSecretStore(const FakeSecretStore&) = delete;
    FakeSecretStore& operator=(const FakeSecretStore&) = delete;

    Outcome save(const QString& name, const QByteArray& secret) override {
        ++saves;
        if (answer != Outcome::Done) {
            return answer;
        }
        items[name] = secret;
        return Outcome::Done;
    }
    Loaded load(const QString& name) override {
        ++loads;
        if (answer != Outcome::Done) {
            return {answer, std::nullopt};
        }
        if (!items.contains(name)) {
            return {Outcome::Done, std::nullopt};
        }
        return {Outcome::Done, items.value(name)};
    }
    Outcome remove(const QString& name) override {
        if (answer != Outcome::Done) {
            return answer;
        }
        items.remove(name);
        return Outcome::Done;
    }

    QMap<QString, QByteArray> items;
    Outcome answer = Outcome::Done;
    int saves = 0;
    int loads = 0;

  private:
    bool installed_;
};

}  // namespace talvor::test
