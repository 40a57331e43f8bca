#include "UnzipEngine.h"

#include "ZipDirectory.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zip.h>

namespace {

// Members are copied in large pieces: decompression is zlib either way, so
// the time that can be saved is in the number of reads and writes.
constexpr zip_uint64_t kCopyBufferSize = zip_uint64_t{1} << 20;
// UnZip's password buffer: IZ_PWLEN (80) characters and the terminator.
constexpr int32_t kPasswordBufferSize = 81;
// UnZip asks three times for a member before skipping it.
constexpr int kPasswordTries = 3;
// UnZip's replace callback gets at most this many bytes of the name.
constexpr qsizetype kMaxReplaceName = 256;
// Attempts at a fresh temporary name before giving up on a member.
constexpr int kTempNameTries = 100;

QByteArray Pad22(const QByteArray& name)
{
    return name.size() >= 22 ? name : name + QByteArray(22 - name.size(), ' ');
}

QByteArray ErrnoText(int error)
{
    return QByteArray(std::strerror(error));
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

struct ZipCloser
{
    void operator()(zip_t* za) const { zip_discard(za); }
};
struct ZipFileCloser
{
    void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

class Fd
{
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// How copying one member's data ended.
enum class CopyResult
{
    Done,
    DataError,   // bad CRC or bad compressed data (libzip's error in zipError)
    ReadError,   // the archive could not be read where the member lies
    WriteError,  // errno in writeErrno
    LimitReached // the next piece would pass the byte limit
};

class Extraction
{
public:
    Extraction(const UnzipOptionRecord& dcl, UnzipCallbackTable& uf) : dcl_(dcl), uf_(uf) {}
    int32_t Run();

private:
    // What UnZip prints at MessageLevel 0 only.
    void Info(const QByteArray& text);
    // Warnings and errors: printed at MessageLevel 0 and 1.
    void Warn(const QByteArray& text);
    // The result is the worst code met, as UnZip keeps it.
    void Raise(int32_t code) { result_ = std::max(result_, code); }

    bool OpenArchive();
    bool CheckDirectory();
    bool OpenTargetFolder();
    void ProcessMember(zip_uint64_t index);
    void ListMember(const zip_stat_t& st);
    void MakeFolders(const MendedName& mended, const QByteArray& display);
    Fd OpenFolder(const QList<QByteArray>& folders, bool create, int& error);
    bool ShouldWrite(int dirFd, const QByteArray& file, const QByteArray& display,
                     const zip_stat_t& st);
    // Opens and copies the member, asking for passwords as needed; fd -1
    // discards the data (testing).
    void ExtractData(zip_uint64_t index, const zip_stat_t& st, const QByteArray& display, int dirFd,
                     const QByteArray& file, mode_t unixMode);
    // One copy of the member's data into a new temporary file (or nowhere).
    CopyResult CopyMember(zip_file_t* zf, int fd);
    void ReportCopyFailure(CopyResult result, const QByteArray& display);
    std::optional<QByteArray> AskPassword(const QByteArray& name, int& remaining, bool first);
    QByteArray DisplayPath(const QByteArray& relative) const;

    const UnzipOptionRecord& dcl_;
    UnzipCallbackTable& uf_;
    int32_t result_ = UnzipCode::Ok;
    ZipPtr zip_;
    Fd root_;
    bool stop_ = false;
    bool overwriteAll_ = false;
    bool overwriteNone_ = false;
    std::optional<QByteArray> key_;
    bool noPasswordPrompts_ = false;
    uint64_t fileMembers_ = 0;
    uint64_t badPasswords_ = 0;
    uint64_t bytesWritten_ = 0;
    int zipError_ = ZIP_ER_OK;
    int writeErrno_ = 0;
    std::unique_ptr<char[]> buffer_;
};

void Extraction::Info(const QByteArray& text)
{
    if (dcl_.fQuiet <= 0 && uf_.print)
        uf_.print(text.constData(), static_cast<uint32_t>(text.size()));
}

void Extraction::Warn(const QByteArray& text)
{
    if (dcl_.fQuiet <= 1 && uf_.print)
        uf_.print(text.constData(), static_cast<uint32_t>(text.size()));
}

QByteArray Extraction::DisplayPath(const QByteArray& relative) const
{
    if (dcl_.lpszExtractDir.isEmpty())
        return relative;
    if (dcl_.lpszExtractDir.endsWith('/'))
        return dcl_.lpszExtractDir + relative;
    return dcl_.lpszExtractDir + '/' + relative;
}

bool Extraction::OpenArchive()
{
    const QByteArray& path = dcl_.lpszZipFN;
    {
        Fd probe(path.isEmpty() ? -1 : ::open(path.constData(), O_RDONLY | O_CLOEXEC));
        struct stat sb
        {
        };
        if (!probe || ::fstat(probe.get(), &sb) != 0 || !S_ISREG(sb.st_mode)) {
            Warn("error:  cannot find or open " + path + ".\n");
            Raise(UnzipCode::NoZip);
            return false;
        }
    }
    Info("Archive:  " + path + "\n");
    int error = ZIP_ER_OK;
    zip_.reset(zip_open(path.constData(), ZIP_RDONLY, &error));
    if (zip_)
        return true;
    if (error == ZIP_ER_NOZIP) {
        Warn("  End-of-central-directory signature not found.  Either this file is not\n"
             "  a zipfile, or it constitutes one disk of a multi-part archive.\n");
        Raise(UnzipCode::NoZip);
        return false;
    }
    zip_error_t ze;
    zip_error_init_with_code(&ze, error);
    Warn("error [" + path + "]:  " + QByteArray(zip_error_strerror(&ze)) + "\n");
    zip_error_fini(&ze);
    Raise(UnzipCode::BadError);
    return false;
}

bool Extraction::CheckDirectory()
{
    const UnzipLimits& limits = ExtractionLimits();
    const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
    if (count < 0 || static_cast<uint64_t>(count) > limits.maxMembers) {
        Warn("error:  " + dcl_.lpszZipFN + " has " +
             QByteArray::number(static_cast<qint64>(count)) + " members, more than the " +
             QByteArray::number(static_cast<quint64>(limits.maxMembers)) +
             " allowed; nothing extracted (possible zip bomb)\n");
        Raise(UnzipCode::Bomb);
        return false;
    }
    const ZipDirectory dir =
        ZipDirectory::Read(QString::fromLocal8Bit(dcl_.lpszZipFN), limits.maxMembers);
    if (dir.status() != ZipDirectory::Status::Ok ||
        dir.entries().size() != static_cast<size_t>(count)) {
        Warn("error [" + dcl_.lpszZipFN + "]:  the central directory is damaged\n");
        Raise(UnzipCode::BadError);
        return false;
    }
    if (dir.HasOverlappingMembers()) {
        Warn("error: invalid zip file with overlapped components (possible zip bomb)\n");
        Raise(UnzipCode::Bomb);
        return false;
    }
    uint64_t declared = 0;
    uint64_t compressed = 0;
    for (const ZipDirectory::Entry& entry : dir.entries()) {
        declared += std::min(entry.size, limits.maxTotalBytes + 1);
        compressed += entry.compressedSize;
    }
    uf_.totalSize = declared;
    uf_.totalSizeComp = compressed;
    uf_.numMembers = static_cast<uint32_t>(count);
    uf_.compFactor =
        declared == 0
            ? 0
            : static_cast<int32_t>(100 - std::min<uint64_t>(100, compressed * 100 / declared));
    if (!dcl_.ntflag && !dcl_.nvflag && declared > limits.maxTotalBytes) {
        Warn("error:  " + dcl_.lpszZipFN + " would expand to more than " +
             QByteArray::number(static_cast<quint64>(limits.maxTotalBytes)) +
             " bytes; nothing extracted (possible zip bomb)\n");
        Raise(UnzipCode::Bomb);
        return false;
    }
    return true;
}

bool Extraction::OpenTargetFolder()
{
    const QByteArray folder = dcl_.lpszExtractDir.isEmpty() ? QByteArray(".") : dcl_.lpszExtractDir;
    root_.reset(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root_ && errno == ENOENT && QDir().mkpath(QString::fromLocal8Bit(folder)))
        root_.reset(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root_)
        return true;
    Warn("checkdir:  cannot create extraction directory: " + folder + "\n           " +
         ErrnoText(errno) + "\n");
    Raise(UnzipCode::DiskFull);
    return false;
}

int32_t Extraction::Run()
{
    if (!OpenArchive() || !CheckDirectory())
        return result_;
    int commentLength = 0;
    const char* comment = zip_get_archive_comment(zip_.get(), &commentLength, 0);
    uf_.cchComment = static_cast<uint16_t>(std::clamp(commentLength, 0, 0xffff));
    if (dcl_.nzflag && comment && commentLength > 0)
        Warn(QByteArray(comment, commentLength) + "\n");
    const zip_int64_t count = zip_get_num_entries(zip_.get(), 0);
    if (count == 0) {
        Warn("warning [" + dcl_.lpszZipFN + "]:  zipfile is empty\n");
        Raise(UnzipCode::Warning);
        return result_;
    }
    if (!dcl_.ntflag && !dcl_.nvflag && !OpenTargetFolder())
        return result_;
    buffer_ = std::make_unique<char[]>(kCopyBufferSize);
    for (zip_int64_t i = 0; i < count && !stop_; ++i)
        ProcessMember(static_cast<zip_uint64_t>(i));
    if (stop_)
        return result_;
    if (dcl_.ntflag) {
        if (result_ == UnzipCode::Ok)
            Info("No errors detected in compressed data of " + dcl_.lpszZipFN + ".\n");
        else
            Warn("At least one error was detected in " + dcl_.lpszZipFN + ".\n");
    }
    // UnZip's summary rule: all members skipped for their password is its own
    // code, some of them a warning.
    if (badPasswords_ > 0 && badPasswords_ == fileMembers_ && result_ <= UnzipCode::Warning)
        result_ = UnzipCode::BadPassword;
    else if (badPasswords_ > 0)
        Raise(UnzipCode::Warning);
    return result_;
}

void Extraction::ListMember(const zip_stat_t& st)
{
    if (!uf_.listMember)
        return;
    UnzipMemberReport report;
    report.size = st.size;
    report.compressedSize = st.comp_size;
    report.compressionFactor =
        st.size == 0
            ? 0
            : static_cast<int32_t>(100 - std::min<uint64_t>(100, st.comp_size * 100 / st.size));
    const QDateTime when = QDateTime::fromSecsSinceEpoch(st.mtime);
    report.month = when.date().month();
    report.day = when.date().day();
    report.year = when.date().year();
    report.hour = when.time().hour();
    report.minute = when.time().minute();
    report.name = st.name;
    report.method = st.comp_method == ZIP_CM_STORE ? "Stored" : "Defl:N";
    report.crc = st.crc;
    report.encrypted = st.encryption_method != ZIP_EM_NONE;
    uf_.listMember(report);
}

void Extraction::ProcessMember(zip_uint64_t index)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(zip_.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
        Warn("error:  member " + QByteArray::number(static_cast<quint64>(index) + 1) +
             " cannot be read\n");
        Raise(UnzipCode::BadError);
        return;
    }
    const QByteArray name(st.name);
    if (uf_.service && uf_.service(st.name, st.size) != 0) {
        Raise(UnzipCode::UserAbort);
        stop_ = true;
        return;
    }
    if (dcl_.nvflag) {
        ListMember(st);
        return;
    }

    zip_uint8_t opsys = 0;
    zip_uint32_t attributes = 0;
    zip_file_get_external_attributes(zip_.get(), index, 0, &opsys, &attributes);
    const mode_t unixMode = opsys == ZIP_OPSYS_UNIX ? static_cast<mode_t>(attributes >> 16) : 0;
    if (S_ISLNK(unixMode)) {
        Warn("warning:  symbolic link not extracted: " + name + "\n");
        Raise(UnzipCode::Warning);
        return;
    }

    const MendedName mended = MendMemberName(name, dcl_.ndflag != 0, dcl_.SpaceToUnderscore != 0);
    if (mended.strippedAbsolute) {
        Warn("warning:  stripped absolute path spec from " + name + "\n");
        Raise(UnzipCode::Warning);
    }
    if (mended.strippedParent) {
        Warn("warning:  skipped \"../\" path component(s) in " + name + "\n");
        Raise(UnzipCode::Warning);
    }
    if (mended.unusable) {
        Warn("warning:  skipped " + name + ":  no usable file name\n");
        Raise(UnzipCode::Warning);
        return;
    }
    QByteArray relative = mended.folders.join('/');
    if (!mended.isFolder)
        relative += (relative.isEmpty() ? "" : "/") + mended.file;
    const QByteArray display = DisplayPath(mended.isFolder ? relative + '/' : relative);

    if (mended.isFolder) {
        if (dcl_.ntflag)
            Info("    testing: " + Pad22(name) + "   OK\n");
        else if (dcl_.ndflag && !mended.folders.isEmpty())
            MakeFolders(mended, display);
        return;
    }
    ++fileMembers_;
    if (dcl_.ntflag) {
        ExtractData(index, st, name, -1, QByteArray(), unixMode);
        return;
    }

    int error = 0;
    Fd folder = OpenFolder(mended.folders, true, error);
    if (!folder) {
        Warn("error:  cannot create " + display + "\n        " + ErrnoText(error) + "\n");
        Raise(UnzipCode::DiskFull);
        return;
    }
    if (!ShouldWrite(folder.get(), mended.file, display, st))
        return;
    ExtractData(index, st, display, folder.get(), mended.file, unixMode);
}

void Extraction::MakeFolders(const MendedName& mended, const QByteArray& display)
{
    int error = 0;
    if (OpenFolder(mended.folders, false, error))
        return; // there already
    Fd fd = OpenFolder(mended.folders, true, error);
    if (!fd) {
        Warn("error:  cannot create " + display + "\n        " + ErrnoText(error) + "\n");
        Raise(UnzipCode::DiskFull);
        return;
    }
    Info("   creating: " + display + "\n");
}

Fd Extraction::OpenFolder(const QList<QByteArray>& folders, bool create, int& error)
{
    Fd fd(::dup(root_.get()));
    for (const QByteArray& component : folders) {
        if (!fd) {
            error = errno;
            return fd;
        }
        // O_NOFOLLOW: a link planted in the target folder must not lead the
        // extraction out of it.
        int next = ::openat(fd.get(), component.constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(fd.get(), component.constData(), 0777) != 0 && errno != EEXIST) {
                error = errno;
                return Fd();
            }
            next = ::openat(fd.get(), component.constData(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        fd.reset(next);
    }
    if (!fd)
        error = errno;
    return fd;
}

bool Extraction::ShouldWrite(int dirFd, const QByteArray& file, const QByteArray& display,
                             const zip_stat_t& st)
{
    struct stat sb
    {
    };
    const bool exists = ::fstatat(dirFd, file.constData(), &sb, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists)
        return !dcl_.nfflag; // freshen only replaces files that are there
    if ((dcl_.nfflag || dcl_.ExtractOnlyNewer) && (st.valid & ZIP_STAT_MTIME) &&
        sb.st_mtime >= st.mtime)
        return false;
    if (dcl_.noflag || overwriteAll_)
        return true;
    if (!dcl_.PromptToOverwrite || overwriteNone_)
        return false;
    const int32_t answer = uf_.replace ? uf_.replace(display.left(kMaxReplaceName).constData())
                                       : UnzipReplaceAnswer::No;
    switch (answer) {
    case UnzipReplaceAnswer::Yes:
        return true;
    case UnzipReplaceAnswer::All:
        overwriteAll_ = true;
        return true;
    case UnzipReplaceAnswer::None:
        overwriteNone_ = true;
        return false;
    default:
        return false;
    }
}

std::optional<QByteArray> Extraction::AskPassword(const QByteArray& name, int& remaining,
                                                  bool first)
{
    char buffer[kPasswordBufferSize] = {};
    remaining = first ? kPasswordTries - 1 : remaining - 1;
    const char* prompt = first ? "Enter password for: " : "Password incorrect--reenter: ";
    const int32_t answer = uf_.password
                               ? uf_.password(buffer, kPasswordBufferSize, prompt, name.constData())
                               : UnzipPasswordAnswer::CancelAll;
    buffer[kPasswordBufferSize - 1] = '\0';
    if (answer == UnzipPasswordAnswer::CancelAll)
        noPasswordPrompts_ = true;
    if (answer != UnzipPasswordAnswer::Entered) {
        // UnZip tries the empty password once and then skips the member.
        remaining = 0;
        return QByteArray("");
    }
    return QByteArray(buffer);
}

void Extraction::ExtractData(zip_uint64_t index, const zip_stat_t& st, const QByteArray& display,
                             int dirFd, const QByteArray& file, mode_t unixMode)
{
    const bool encrypted =
        (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    const bool testing = dirFd < 0;
    int remaining = 0;
    bool first = true;
    if (encrypted && !zip_encryption_method_supported(st.encryption_method, 0)) {
        // Checked before opening: libzip 1.7 leaks the member's source when
        // it refuses the method, and no password would help anyway.
        Warn("   skipping: " + Pad22(QByteArray(st.name)) + "  unsupported encryption\n");
        Raise(UnzipCode::Unsupported);
        return;
    }
    std::optional<QByteArray> key = encrypted ? key_ : std::nullopt;
    for (;;) {
        if (encrypted && !key) {
            if (noPasswordPrompts_)
                break;
            key = AskPassword(QByteArray(st.name), remaining, first);
            first = false;
            key_ = key;
        }
        ZipFilePtr zf(encrypted ? zip_fopen_index_encrypted(zip_.get(), index, 0, key->constData())
                                : zip_fopen_index(zip_.get(), index, 0));
        if (!zf) {
            const int error = zip_error_code_zip(zip_get_error(zip_.get()));
            zip_error_clear(zip_.get());
            if (encrypted && error == ZIP_ER_WRONGPASSWD) {
                key.reset();
                if (first || remaining > 0)
                    continue;
                break;
            }
            if (error == ZIP_ER_COMPNOTSUPP || error == ZIP_ER_ENCRNOTSUPP) {
                Warn("   skipping: " + Pad22(QByteArray(st.name)) + "  " +
                     (error == ZIP_ER_COMPNOTSUPP ? "compression method not supported\n"
                                                  : "unsupported encryption\n"));
                Raise(UnzipCode::Unsupported);
                return;
            }
            Warn("error:  " + QByteArray(st.name) + ":  cannot read the member (" +
                 QByteArray(zip_strerror(zip_.get())) + ")\n");
            Raise(UnzipCode::BadError);
            return;
        }

        Fd out;
        QByteArray tempName;
        if (!testing) {
            static unsigned counter = 0;
            for (int attempt = 0; attempt < kTempNameTries && !out; ++attempt) {
                tempName = ".unzip-" + QByteArray::number(::getpid()) + "-" +
                           QByteArray::number(++counter) + ".part";
                out.reset(::openat(dirFd, tempName.constData(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
                if (!out && errno != EEXIST)
                    break;
            }
            if (!out) {
                const int error = errno;
                Warn("error:  cannot create " + display + "\n        " + ErrnoText(error) + "\n");
                Raise(UnzipCode::DiskFull);
                stop_ = error == ENOSPC || error == EDQUOT || error == EFBIG;
                return;
            }
        }
        const QByteArray verb = st.comp_method == ZIP_CM_STORE ? " extracting: " : "  inflating: ";
        CopyResult copied = CopyMember(zf.get(), out ? out.get() : -1);
        zf.reset();
        if (copied == CopyResult::Done && out) {
            // The member's own permissions, without set-id and sticky bits.
            if (S_ISREG(unixMode) && (unixMode & 0777) != 0)
                ::fchmod(out.get(), unixMode & 0777);
            if (st.valid & ZIP_STAT_MTIME) {
                const struct timespec times[2] = {{st.mtime, 0}, {st.mtime, 0}};
                ::futimens(out.get(), times);
            }
            if (::close(out.release()) != 0) {
                writeErrno_ = errno;
                copied = CopyResult::WriteError;
            }
        }
        if (copied != CopyResult::Done) {
            out.reset();
            if (!testing)
                ::unlinkat(dirFd, tempName.constData(), 0);
            if (encrypted && copied == CopyResult::DataError) {
                // The one-byte check of traditional encryption lets one wrong
                // password in 256 through; its data then fails the CRC.
                key.reset();
                if (first || remaining > 0)
                    continue;
                break;
            }
            ReportCopyFailure(copied, display);
            return;
        }
        if (testing) {
            Info("    testing: " + Pad22(display) + "   OK\n");
            return;
        }
        if (::renameat(dirFd, tempName.constData(), dirFd, file.constData()) != 0) {
            const int error = errno;
            ::unlinkat(dirFd, tempName.constData(), 0);
            Warn("error:  cannot create " + display + "\n        " + ErrnoText(error) + "\n");
            Raise(UnzipCode::DiskFull);
            return;
        }
        Info(verb + Pad22(display) + "  \n");
        return;
    }
    Warn("   skipping: " + Pad22(QByteArray(st.name)) + "  incorrect password\n");
    ++badPasswords_;
}

CopyResult Extraction::CopyMember(zip_file_t* zf, int fd)
{
    const uint64_t limit = ExtractionLimits().maxTotalBytes;
    char* buffer = buffer_.get();
    for (;;) {
        const zip_int64_t n = zip_fread(zf, buffer, kCopyBufferSize);
        if (n == 0)
            return CopyResult::Done;
        if (n < 0) {
            zipError_ = zip_error_code_zip(zip_file_get_error(zf));
            return zipError_ == ZIP_ER_CRC || zipError_ == ZIP_ER_ZLIB ||
                           zipError_ == ZIP_ER_COMPRESSED_DATA || zipError_ == ZIP_ER_INCONS
                       ? CopyResult::DataError
                       : CopyResult::ReadError;
        }
        if (fd < 0)
            continue;
        if (bytesWritten_ + static_cast<uint64_t>(n) > limit)
            return CopyResult::LimitReached;
        const char* p = buffer;
        zip_int64_t left = n;
        while (left > 0) {
            const ssize_t written = ::write(fd, p, static_cast<size_t>(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                writeErrno_ = written < 0 ? errno : ENOSPC;
                return CopyResult::WriteError;
            }
            p += written;
            left -= written;
        }
        bytesWritten_ += static_cast<uint64_t>(n);
    }
}

void Extraction::ReportCopyFailure(CopyResult result, const QByteArray& display)
{
    switch (result) {
    case CopyResult::Done:
        return;
    case CopyResult::DataError:
        Warn(display + ":  " +
             (zipError_ == ZIP_ER_CRC ? QByteArray("bad CRC")
                                      : QByteArray("invalid compressed data")) +
             "\n");
        Raise(UnzipCode::Error);
        return;
    case CopyResult::ReadError:
        Warn(display + ":  cannot read the member's data from the archive\n");
        Raise(UnzipCode::BadError);
        return;
    case CopyResult::WriteError:
        // A full disk stops the extraction: every later member would fail too.
        Warn(display + ":  write error (disk full?).  " + ErrnoText(writeErrno_) + "\n");
        Raise(UnzipCode::DiskFull);
        stop_ = true;
        return;
    case CopyResult::LimitReached:
        Warn("error:  extraction stopped at " + display + ": more than " +
             QByteArray::number(static_cast<quint64>(ExtractionLimits().maxTotalBytes)) +
             " bytes would be written (possible zip bomb)\n");
        Raise(UnzipCode::Bomb);
        stop_ = true;
        return;
    }
}

} // namespace

UnzipLimits& ExtractionLimits()
{
    static UnzipLimits limits;
    return limits;
}

MendedName MendMemberName(const QByteArray& name, bool honorDirectories, bool spaceToUnderscore)
{
    MendedName mended;
    QByteArray rest = name;
    mended.isFolder = !rest.isEmpty() && IsSeparator(rest.back());
    if (rest.size() >= 2 && rest.at(1) == ':' &&
        std::isalpha(static_cast<unsigned char>(rest.at(0)))) {
        rest = rest.mid(2);
        mended.strippedAbsolute = true;
    }
    if (!rest.isEmpty() && IsSeparator(rest.front()))
        mended.strippedAbsolute = true;

    QList<QByteArray> components;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= rest.size(); ++i) {
        if (i == rest.size() || IsSeparator(rest.at(i))) {
            components.append(rest.mid(start, i - start));
            start = i + 1;
        }
    }
    if (mended.isFolder)
        components.removeLast(); // the empty text after the final separator
    if (spaceToUnderscore) {
        for (QByteArray& component : components)
            component.replace(' ', '_');
    }

    QByteArray last;
    if (!mended.isFolder && !components.isEmpty())
        last = components.takeLast();
    if (honorDirectories) {
        for (const QByteArray& component : components) {
            if (component == "..")
                mended.strippedParent = true;
            else if (!component.isEmpty() && component != ".")
                mended.folders.append(component);
        }
    }
    if (mended.isFolder)
        return mended;
    mended.file = last;
    mended.unusable = last.isEmpty() || last == "." || last == "..";
    return mended;
}

int32_t Wiz_SingleEntryUnzip(const UnzipOptionRecord& dcl, UnzipCallbackTable& uf)
{
    uf.totalSizeComp = 0;
    uf.totalSize = 0;
    uf.compFactor = 0;
    uf.numMembers = 0;
    uf.cchComment = 0;
    Extraction extraction(dcl, uf);
    return extraction.Run();
}
