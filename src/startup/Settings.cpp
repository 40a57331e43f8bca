#include "Settings.h"

#include <QFile>
#include <QLockFile>
#include <QSettings>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
QSettings Store()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrovia"),
                     QStringLiteral("Kestrovia"));
}

// What is known of the store's file on disk: a change of any of these means
// another writer was there.
struct FileStamp
{
    bool known = false; // false: the file could not be examined, so read it again
    qint64 size = 0;
    qint64 modified = 0; // nanoseconds
    qint64 changed = 0;  // nanoseconds, the inode's change time
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const QString& path)
{
    FileStamp stamp;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return stamp; // missing: unknown, so a file that appears is read
    stamp.known = true;
    stamp.size = info.st_size;
    stamp.modified = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changed = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    stamp.inode = info.st_ino;
#else
    Q_UNUSED(path);
#endif
    return stamp;
}

// Reading through a new QSettings each time re-examined the file and its
// system-wide fallbacks (about ten file-system calls) and, once the store held
// more than a few hundred keys, which Qt no longer keeps parsed between
// instances, parsed the whole file again: the list rebuild, which reads one
// version per package, grew with the square of the packages. The reader keeps
// one QSettings per thread and asks it to read the file again whenever one
// look at the file shows it changed, so a value that another process wrote a
// moment ago is still seen. Writes through other instances in this process
// share Qt's parsed file and are seen at once.
class Reader
{
public:
    QVariant Value(const QString& key)
    {
        if (!(snapshots > 0 && lookedInSnapshot)) {
            const FileStamp now = StampOf(path_);
            if (!now.known || now != seen_) {
                store_.sync();
                seen_ = now;
            }
            lookedInSnapshot = true;
        }
        return store_.value(key);
    }

    int snapshots = 0;
    bool lookedInSnapshot = false;

private:
    QSettings store_{QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Kestrovia"),
                     QStringLiteral("Kestrovia")};
    QString path_ = store_.fileName();
    FileStamp seen_;
};

Reader& ThreadReader()
{
    thread_local Reader reader;
    return reader;
}

QString Path(const QString& section, const QString& key)
{
    return section + u'/' + key;
}

// Another program (the editor) may hold the store's lock. The store would
// wait for it for as long as it takes; the window must not, so a write waits
// only this long and is then skipped.
constexpr int kLockWaitMs = 250;

bool LockIsFree(const QSettings& store)
{
    QLockFile lock(store.fileName() + QStringLiteral(".lock"));
    if (lock.tryLock(kLockWaitMs)) {
        lock.unlock();
        return true;
    }
    // Only a lock that someone holds is waited out; a missing folder or a
    // file that cannot be written is the store's to report.
    return lock.error() != QLockFile::LockFailedError;
}

// A file that did not parse is still rewritten with what could be read of
// it; only a file that cannot be written is a failure.
bool Written(const QSettings& store)
{
    return store.status() != QSettings::AccessError;
}
} // namespace

namespace Settings {

QString Read(const QString& section, const QString& key, const QString& def)
{
    const QVariant value = ThreadReader().Value(Path(section, key));
    if (!value.isValid())
        return def;
    return value.toString();
}

Snapshot::Snapshot()
{
    Reader& reader = ThreadReader();
    if (reader.snapshots++ == 0)
        reader.lookedInSnapshot = false;
}

Snapshot::~Snapshot()
{
    --ThreadReader().snapshots;
}

bool Write(const QString& section, const QString& key, const QString& value)
{
    QSettings store = Store();
    // Start-up records the same values on every run: the editor's file is
    // not rewritten, nor its lock waited for, to store what it holds.
    const QVariant current = store.value(Path(section, key));
    if (current.isValid() && current.toString() == value)
        return true;
    if (!LockIsFree(store))
        return false;
    store.setValue(Path(section, key), value);
    store.sync();
    return Written(store);
}

bool Delete(const QString& section, const QString& key)
{
    QSettings store = Store();
    if (!LockIsFree(store))
        return false;
    store.remove(Path(section, key));
    store.sync();
    return Written(store);
}

} // namespace Settings
