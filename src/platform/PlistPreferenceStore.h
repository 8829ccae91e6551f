#pragma once

#include "PreferenceStore.h"

namespace talvor::platform {

// A preference domain kept as an XML property list. Writers on one file (other processes,
// other instances) serialise through an advisory lock beside it; every write is atomic.
// A file that cannot be parsed is moved aside as "<file>.corrupt-<time>", never overwritten.
class PlistPreferenceStore : public PreferenceStore {
public:
    PlistPreferenceStore(QString domain, QString filePath);

    const QString& filePath() const { return filePath_; }

protected:
    bool exchange(const QHash<QString, QVariant>& pending, QVariantMap& contents) override;

private:
    enum class ReadResult { Read, Missing, MovedAside, Failed };
    ReadResult readFile(QVariantMap& out);

    const QString filePath_;
};

}  // namespace talvor::platform
