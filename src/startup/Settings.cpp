#include "Settings.h"

#include "FileIo.h"
#include "IniLineEditor.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
// Where Qt puts the user-scope INI file of organisation and application
// "Kestrovia", which is where the editor keeps it.
const QString& StorePath()
{
    static const QString path =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Kestrovia/Kestrovia.ini");
    return path;
}

bool IsLineBreakOrNul(QChar c)
{
    return c == u'\r' || c == u'\n' || c == QChar(0);
}

IniLineEditor::SectionKey At(const QString& section, const QString& key)
{
    return {section.toUtf8(), key.toUtf8()};
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

// Counts the writes of this process: a reader that has not seen the latest
// reads the file again, whatever its stamp says (a replacement may get the
// inode, size and coarse time stamps of the file before it).
std::atomic<quint64> writesMade{0};

// Parsing the file on every read made the list rebuild, which reads one
// version per package, grow with the square of the packages. The reader keeps
// the values per thread and reads the file again whenever one look at it
// shows it changed, so a value that another process wrote a moment ago is
// still seen.
class Reader
{
public:
    std::optional<QByteArray> Value(const IniLineEditor::SectionKey& at)
    {
        const quint64 writes = writesMade.load();
        if (!(snapshots > 0 && lookedInSnapshot) || writes != writesSeen_) {
            const FileStamp now = StampOf(StorePath());
            if (!now.known || now != seen_ || writes != writesSeen_) {
                values_ = IniLineEditor(ReadWholeFile(StorePath()).value_or(QByteArray())).Values();
                seen_ = now;
                writesSeen_ = writes;
            }
            lookedInSnapshot = true;
        }
        const auto it = values_.constFind(at);
        return it == values_.constEnd() ? std::nullopt : std::optional(*it);
    }

    int snapshots = 0;
    bool lookedInSnapshot = false;

private:
    QHash<IniLineEditor::SectionKey, QByteArray> values_;
    FileStamp seen_;
    quint64 writesSeen_ = 0;
};

Reader& ThreadReader()
{
    thread_local Reader reader;
    return reader;
}

// Another program (the editor) may hold the store's lock. The window must
// not wait for it, so a write waits only this long and is then skipped.
constexpr int kLockWaitMs = 250;

bool TakeLock(QLockFile& lock, const QString& path)
{
    if (lock.tryLock(kLockWaitMs))
        return true;
    // A writer fills its lock file the moment it creates it. One still empty
    // after the wait belongs to a writer that died in between, and Qt would
    // take it for held until it is 30 s old: every write would fail till then.
    const QFileInfo info(path);
    return lock.error() == QLockFile::LockFailedError && info.size() == 0 &&
           info.lastModified().msecsTo(QDateTime::currentDateTime()) >= kLockWaitMs &&
           QFile::remove(path) && lock.tryLock(0);
}

// Edits the file under the store's lock and puts the result in place through
// a temporary file, so that a crash leaves the old file or the new one. The
// editor's file is never written back from what could not be read of it.
bool Edit(const std::function<void(IniLineEditor&)>& edit)
{
    const QString& path = StorePath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!TakeLock(lock, path + QStringLiteral(".lock")))
        return false;
    const ByteArray before = ReadWholeFile(path);
    if (!before && QFileInfo::exists(path))
        return false;
    IniLineEditor editor(before.value_or(QByteArray()));
    edit(editor);
    if (editor.Bytes() == before.value_or(QByteArray()))
        return true;
    const bool written = WriteFileAtomically(path, editor.Bytes());
    ++writesMade;
    return written;
}

bool HoldsAlready(const QString& section, const QString& key, const QString& value)
{
    const ByteArray file = ReadWholeFile(StorePath());
    if (!file)
        return false;
    const auto values = IniLineEditor(*file).Values();
    const auto current = values.constFind(At(section, key));
    return current != values.constEnd() && *current == value.toUtf8();
}

bool IsWritableName(const QString& name)
{
    return !name.isEmpty() && TrimSpaces(name) == name &&
           std::none_of(name.begin(), name.end(), IsLineBreakOrNul);
}
} // namespace

namespace Settings {

QString Read(const QString& section, const QString& key, const QString& def)
{
    const std::optional<QByteArray> value = ThreadReader().Value(At(section, key));
    return value ? QString::fromUtf8(*value) : def;
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

bool Writable(const QString& section, const QString& key, const QString& value)
{
    // A line break or NUL would cut the value, or the file, apart; a section
    // and a key must read back as themselves.
    if (std::any_of(value.begin(), value.end(), IsLineBreakOrNul) || !IsWritableName(section) ||
        !IsWritableName(key) || key.startsWith(u'[') || key.contains(u'='))
        return false;
    if (HoldsAlready(section, key, value))
        return true;
    const QString lockPath = StorePath() + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    return QDir().mkpath(QFileInfo(lockPath).path()) && TakeLock(lock, lockPath);
}

bool Write(const QString& section, const QString& key, const QString& value)
{
    if (!Writable(section, key, value))
        return false;
    // Start-up records the same values on every run: the editor's file is
    // not touched, nor its lock waited for, to store what it holds.
    if (HoldsAlready(section, key, value))
        return true;
    return Edit(
        [&](IniLineEditor& editor) { editor.Set(section.toUtf8(), key.toUtf8(), value.toUtf8()); });
}

bool Delete(const QString& section, const QString& key)
{
    return Edit([&](IniLineEditor& editor) { editor.Remove(section.toUtf8(), key.toUtf8()); });
}

} // namespace Settings
