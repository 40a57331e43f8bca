#include "Settings.h"

#include "TextHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <algorithm>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
// The editor writes the file as plain lines: "[Section]" and "key=value", the
// value being the text after the first "=" as it stands. Qt's own INI format
// would read an unquoted comma as a list separator, strip quotes and escape
// what it writes, so the store uses a reader and writer of its own.
bool IsLineBreakOrNul(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar(0);
}

bool ReadPlainIni(QIODevice& device, QSettings::SettingsMap& map)
{
    QByteArray bytes = device.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QString section;
    for (QString line : QString::fromUtf8(bytes).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString bare = TrimSpaces(line);
        if (bare.startsWith(u'[') && bare.endsWith(u']')) {
            section = TrimSpaces(bare.mid(1, bare.size() - 2));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString key = TrimSpaces(line.left(equals));
        if (equals < 0 || key.isEmpty())
            continue;
        const QString path = section.isEmpty() ? key : section + u'/' + key;
        if (!map.contains(path)) // the first of two equal keys counts
            map.insert(path, line.mid(equals + 1));
    }
    return true;
}

bool WritePlainIni(QIODevice& device, const QSettings::SettingsMap& map)
{
    // Keys outside any section first, then one block per section.
    QMap<QString, QByteArray> sections;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString value = it.value().toString();
        if (value.contains(u'\n'))
            return false; // it would not read back as one value
        const qsizetype slash = it.key().indexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        sections[section] += (it.key().mid(slash + 1) + u'=' + value + u'\n').toUtf8();
    }
    QByteArray out;
    for (auto it = sections.constBegin(); it != sections.constEnd(); ++it) {
        if (!it.key().isEmpty())
            out += '[' + it.key().toUtf8() + "]\n";
        out += it.value();
    }
    return device.write(out) == out.size();
}

QSettings::Format PlainIniFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), ReadPlainIni, WritePlainIni);
    return format;
}

QSettings Store()
{
    return QSettings(PlainIniFormat(), QSettings::UserScope, QStringLiteral("Kestrovia"),
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
    QSettings store_{PlainIniFormat(), QSettings::UserScope, QStringLiteral("Kestrovia"),
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
    const QString path = store.fileName() + QStringLiteral(".lock");
    QLockFile lock(path);
    if (lock.tryLock(kLockWaitMs)) {
        lock.unlock();
        return true;
    }
    // Only a lock that someone holds is waited out; a missing folder or a
    // file that cannot be written is the store's to report.
    if (lock.error() != QLockFile::LockFailedError)
        return true;
    // A writer fills its lock file the moment it creates it. One still empty
    // after the wait belongs to a writer that died in between, and Qt would
    // take it for held until it is 30 s old: every write would fail till then.
    const QFileInfo info(path);
    if (info.size() != 0 ||
        info.lastModified().msecsTo(QDateTime::currentDateTime()) < kLockWaitMs ||
        !QFile::remove(path) || !lock.tryLock(0))
        return false;
    lock.unlock();
    return true;
}

bool IsWritableKey(const QString& key)
{
    return !key.isEmpty() && TrimSpaces(key) == key && !key.startsWith(u'[') &&
           !key.contains(u'=') && std::none_of(key.begin(), key.end(), IsLineBreakOrNul);
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
    // A line break or NUL would cut the value, or the file, apart; a key must
    // read back as itself.
    if (std::any_of(value.begin(), value.end(), IsLineBreakOrNul) || !IsWritableKey(key))
        return false;
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
