#pragma once

#include "PreferenceStore.h"

namespace talvor::platform {

// A preference domain kept as an XML property list. Writers on one file (other processes,
// other instances) serialise through an advisory lock beside it; every write is atomic.
// A file that cannot be parsed, and stays so for a moment, is moved aside as
// "<file>.corrupt-<time>", never overwritten. A read-only file is left alone.
class PlistPreferenceStore : public PreferenceStore {
  public:
    PlistPreferenceStore(QString domain, QString filePath);

    const QString& filePath() const { return filePath_; }

  protected:
    bool exchange(const QVariantMap& known, const QHash<QString, QVariant>& pending,
                  QVariantMap& contents) override;

  private:
    // Later: being written now, or damaged while another writer holds the lock.
    enum class ReadResult { Read, Missing, MovedAside, Failed, Later };
    ReadResult readFile(QVariantMap& out, bool locked, QString& why);
    // Temporary copies left by a write that was killed.
    void removeUnfinishedWrites();
    bool isReadOnlyFile();
    void noteWriteFailure(const QString& why);
    void noteRead();
    // What the file was when we last read or wrote it, to skip reading it again unchanged.
    struct FileStamp {
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };
    std::optional<FileStamp> stampOfFile() const;

    const QString filePath_;
    std::optional<FileStamp> seen_;
    bool lockFailureLogged_ = false;
    bool writeFailing_ = false;
    bool readOnlyLogged_ = false;
};

}  // namespace talvor::platform
