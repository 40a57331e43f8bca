#include "cDownload.h"

#include "cPartialDownload.h"
#include "cThread.h"
#include "cTimeCount.h"
#include "mInternet.h"
#include "startup/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// Set from the moment a download hands its connection to the worker until its
// clean-up: the process-wide "download in progress".
std::atomic<bool> downloadInProgress{false};
std::atomic<int> connectionDelayMs{0};

// Longest pause between two services of the event loop in the connection
// wait; the wait sleeps on the worker's signal rather than spinning.
constexpr std::chrono::milliseconds kConnectPollStep{2};
// Step of the wait before a retry: the event loop and the stop request are
// looked at this often.
constexpr std::chrono::milliseconds kRetryPollStep{5};
// A fast body comes in chunks far quicker than the window needs its event
// loop serviced: once this long after the last pass is often enough, and
// well inside the 20 ms a window may go unanswered without it showing.
constexpr uint32_t kEventLoopEveryMs = 4;
// What a file sink gathers before it writes: one system call per this many
// bytes rather than per chunk.
constexpr qsizetype kWriteBuffer = 256 * 1024;

// One connection attempt, shared by the caller and the worker. Each attempt
// has its own, so a worker that finishes after its caller gave up can only
// see its own attempt abandoned and close what it opened; it never reaches a
// later download.
struct ConnectJob
{
    QByteArray userAgent;
    QByteArray url;
    QList<QByteArray> headers;
    int delayMs = 0;
    std::mutex mutex;
    std::condition_variable opened;
    std::atomic<bool> abandoned{false};
    // Written by the worker once, under mutex, unless abandoned.
    mInternet::Session* root = nullptr;
    mInternet::Request* request = nullptr;
};

int32_t DownloadConnectProc(const std::intptr_t* args, int32_t count)
{
    if (count != 1)
        return 0;
    auto* handed = reinterpret_cast<std::shared_ptr<ConnectJob>*>(args[0]);
    const std::shared_ptr<ConnectJob> job = std::move(*handed);
    delete handed;

    mInternet::Session* root = mInternet::InternetOpen(job->userAgent);
    mInternet::Request* request = mInternet::InternetOpenUrl(
        root, job->url, [&job] { return job->abandoned.load(std::memory_order_relaxed); },
        job->headers);
    if (job->delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(job->delayMs));
    {
        std::lock_guard lock(job->mutex);
        if (!job->abandoned) {
            job->root = root;
            job->request = request;
            job->opened.notify_all();
            return 1;
        }
    }
    // The caller has given up: nobody will take these.
    mInternet::InternetCloseHandle(request);
    mInternet::InternetCloseHandle(root);
    return 0;
}

QByteArray UserAgent()
{
    const QString version =
        Settings::Read(Settings::AppInfo, QStringLiteral("EditorVersion"), QStringLiteral("0000"));
    const QString user = Settings::Read(Settings::AppInfo, QStringLiteral("UserName"));
    return (QStringLiteral("Ksvro/") + version + QStringLiteral(" (") + user + QStringLiteral(")"))
        .toLocal8Bit();
}

// The process-wide "download in progress", held for the whole of one
// download however it ends (an event handler may throw).
struct DownloadSlot
{
    DownloadSlot() { downloadInProgress.store(true); }
    ~DownloadSlot() { downloadInProgress.store(false); }
    DownloadSlot(const DownloadSlot&) = delete;
    DownloadSlot& operator=(const DownloadSlot&) = delete;
};

} // namespace

// The handles of one connection, taken over from the worker; closed when the
// connection is done with, however that happens.
struct cDownload::Connection
{
    mInternet::Session* root = nullptr;
    mInternet::Request* request = nullptr;
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }
    void Close()
    {
        mInternet::InternetCloseHandle(std::exchange(request, nullptr));
        mInternet::InternetCloseHandle(std::exchange(root, nullptr));
    }
};

// Where the body goes. Per connection: the request headers, Begin with the
// answer before the first read, Write per chunk, End after the last; once at
// the end of the download, Finish with how it ended.
class cDownload::Sink
{
public:
    struct Start
    {
        enum Kind
        {
            Body,   // the body is written from byte `from` of what the sink holds
            Again,  // the answer does not continue what is held: ask again from byte 0
            Failed, // a run-time error (the file cannot be opened)
        } kind = Failed;
        int64_t from = 0;
        int64_t total = -1; // the whole body's length; -1 when unknown
    };
    virtual ~Sink() = default;
    virtual QList<QByteArray> RequestHeaders() const { return {}; }
    // Whether a body cut off by the line is asked for again in the same download.
    virtual bool Retries() const { return false; }
    virtual Start Begin(const mInternet::Request* answer) = 0;
    virtual bool Write(const char* data, int32_t size) = 0;
    virtual bool End() = 0;
    // Whether the body is whole; kept tells whether what arrived stays for a
    // later download to continue.
    virtual bool Finish(Ending ending, bool& kept)
    {
        kept = false;
        return ending == Ending::Whole;
    }
};

class cDownload::FileSink : public Sink
{
public:
    explicit FileSink(const QString& path) : file_(path) {}
    Start Begin(const mInternet::Request* answer) override
    {
        // A folder "exists" too; removing it fails and so does the download.
        if (QFileInfo::exists(file_.fileName()) && !file_.remove())
            return {};
        return Open(QIODevice::Truncate, 0, mInternet::ContentLength(answer));
    }
    // Every write reaches the file at the latest in End, and each one is
    // checked there: a full disk fails the download also in its last bytes.
    bool Write(const char* data, int32_t size) override
    {
        gathered_.append(data, size);
        return gathered_.size() < kWriteBuffer || Flush();
    }
    bool End() override
    {
        const bool flushed = Flush();
        file_.close();
        return flushed && file_.error() == QFileDevice::NoError;
    }

protected:
    Start Open(QIODevice::OpenMode mode, int64_t from, int64_t total)
    {
        // Unbuffered below our own gathering, so a full disk fails the write
        // that hits it instead of a flush at close that nobody would hear of.
        gathered_.clear();
        gathered_.reserve(kWriteBuffer + cDownload::kChunkSize);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered | mode) ||
            (from > 0 && (file_.size() != from || !file_.seek(from))))
            return {};
        return {Start::Body, from, total};
    }
    bool Flush()
    {
        const bool written = gathered_.isEmpty() || file_.write(gathered_) == gathered_.size();
        gathered_.resize(0);
        return written;
    }
    QFile file_;
    QByteArray gathered_;
};

// A file that continues what an earlier download left (cPartialDownload).
class cDownload::PartFileSink : public FileSink
{
public:
    explicit PartFileSink(const QString& path) : FileSink(path), part_(path) {}
    QList<QByteArray> RequestHeaders() const override { return part_.RequestHeaders(); }
    bool Retries() const override { return true; }
    Start Begin(const mInternet::Request* answer) override
    {
        const long status = mInternet::HttpStatus(answer);
        const int64_t asked = part_.ResumableBytes(); // what RequestHeaders asked after
        if (asked > 0) {
            if (part_.Continues(asked, status,
                                mInternet::ResponseHeader(answer, "Content-Range"))) {
                resumedFrom_ = asked;
                return Open(QIODevice::Append, asked, part_.RecordedTotal());
            }
            // A rest that does not fit (416, another length) is of no use:
            // ask for the whole body. A whole body (the copy changed, or the
            // server ignores ranges) or an error page is taken as it comes.
            part_.Forget();
            if (status == 206 || status == 416)
                return {Start::Again};
        }
        // The record goes before the file it describes changes.
        part_.Forget();
        resumedFrom_ = 0;
        const int64_t length = mInternet::ContentLength(answer);
        const Start start = Open(QIODevice::Truncate, 0, length);
        if (start.kind == Start::Body && status == 200)
            part_.Record(length, mInternet::ResponseHeader(answer, "ETag"),
                         mInternet::ResponseHeader(answer, "Last-Modified"));
        return start;
    }
    bool Finish(Ending ending, bool& kept) override
    {
        const int64_t total = part_.RecordedTotal();
        kept = false;
        // A clean end short of the recorded length (a range the server cut)
        // is continued like a cut-off body.
        if (ending == Ending::Whole && (total < 0 || QFileInfo(part_.PartPath()).size() == total)) {
            part_.Forget(); // the caller gives the file its name
            return true;
        }
        kept = ending != Ending::Abandoned && part_.ResumableBytes() > 0;
        if (!kept)
            part_.Remove();
        return false;
    }
    int64_t ResumedFrom() const { return resumedFrom_; }

private:
    cPartialDownload part_;
    int64_t resumedFrom_ = 0;
};

class cDownload::BufferSink : public Sink
{
public:
    explicit BufferSink(ByteArray& buffer) : buffer_(buffer) {}
    Start Begin(const mInternet::Request* answer) override
    {
        return {Start::Body, 0, mInternet::ContentLength(answer)};
    }
    bool Write(const char* data, int32_t size) override
    {
        if (!started_)
            buffer_.emplace(data, size);
        else
            buffer_->append(data, size);
        started_ = true;
        return true;
    }
    bool End() override { return true; }

private:
    ByteArray& buffer_;
    bool started_ = false;
};

cDownload::cDownload(cTimeCount::Clock clock) : clock_(clock), worker_(std::make_unique<cThread>())
{
}

cDownload::~cDownload() = default;

bool cDownload::InProgress()
{
    return downloadInProgress.load();
}

void cDownload::DelayConnectionsForTests(int ms)
{
    connectionDelayMs.store(ms);
}

bool cDownload::IsConnected() const
{
    return mInternet::InternetGetConnectedState();
}

int32_t cDownload::DownloadToFile(const QString& sURL, const QString& strFile)
{
    FileSink sink(strFile);
    return Download(sURL, sink);
}

int32_t cDownload::DownloadToPartFile(const QString& sURL, const QString& strPart)
{
    PartFileSink sink(strPart);
    const int32_t total = Download(sURL, sink);
    resumedFrom_ = sink.ResumedFrom();
    return total;
}

int32_t cDownload::DownloadToBuffer(const QString& sURL, ByteArray& bytBuffer)
{
    BufferSink sink(bytBuffer);
    return Download(sURL, sink);
}

void cDownload::Raise(int32_t status, int32_t byteCount, bool withSpeed)
{
    if (!eventsOn_ || !DownloadEvent)
        return;
    const int32_t speed = withSpeed ? speedMeter_->Speed() : 0;
    DownloadEvent(status, byteCount, speed);
}

bool cDownload::Connect(const QByteArray& userAgent, const QString& url,
                        const QList<QByteArray>& headers, Connection& held)
{
    auto job = std::make_shared<ConnectJob>();
    job->userAgent = userAgent;
    job->url = url.toUtf8();
    job->headers = headers;
    job->delayMs = connectionDelayMs.load();
    const std::intptr_t argument =
        reinterpret_cast<std::intptr_t>(new std::shared_ptr<ConnectJob>(job));
    if (ThreadRecord* thread = worker_->BeginThreadEx(&DownloadConnectProc, &argument, 1))
        cThread::Dereference(thread);
    else
        delete reinterpret_cast<std::shared_ptr<ConnectJob>*>(argument);

    // Wait for the connection, servicing the event loop; the clock may wrap.
    const uint32_t start = GetTickCount();
    for (;;) {
        {
            std::unique_lock lock(job->mutex);
            if (job->request != nullptr)
                break;
        }
        mInternet::DoEvents();
        // A stop asked for while the connection opens abandons the wait.
        if (stop_ || connTimeout_ <= 0 ||
            GetTickCount() - start >= static_cast<uint32_t>(connTimeout_))
            break;
        {
            std::unique_lock lock(job->mutex);
            job->opened.wait_for(lock, kConnectPollStep, [&] { return job->request != nullptr; });
        }
        mInternet::DoEvents();
    }
    std::lock_guard lock(job->mutex);
    job->abandoned = true;
    held.root = std::exchange(job->root, nullptr);
    held.request = std::exchange(job->request, nullptr);
    return held.request != nullptr && !stop_;
}

bool cDownload::WaitBeforeRetry(int32_t ms)
{
    const uint32_t start = GetTickCount();
    while (!stop_ && GetTickCount() - start < static_cast<uint32_t>(ms)) {
        mInternet::DoEvents();
        std::this_thread::sleep_for(kRetryPollStep);
    }
    return !stop_;
}

int32_t cDownload::Download(const QString& url, Sink& sink)
{
    if (downloadInProgress.load())
        return 0;
    mInternet::InitInternet();
    const QByteArray userAgent = UserAgent();
    if (!speedMeter_)
        speedMeter_ = std::make_unique<cTimeCount>(clock_);
    else
        speedMeter_->Clear();
    httpStatus_ = 0;
    contentLength_ = -1;
    complete_ = false;
    partKept_ = false;
    resumedFrom_ = 0;
    stop_ = false;

    if (!mInternet::InternetGetConnectedState()) {
        Raise(NotConnected, 0, false);
        return 0;
    }
    Raise(Connected, 0, false);
    const DownloadSlot slot;

    bool failure = false;
    bool begun = false;
    Ending ending = Ending::Abandoned;
    int32_t total = byteCountStart_;
    int retries = 0;
    bool askedAgain = false;
    for (;;) {
        Connection held;
        if (!Connect(userAgent, url, sink.RequestHeaders(), held)) {
            // The first connection fails as it always has; one for a retry
            // leaves what arrived for the next download.
            failure = true;
            ending = begun && !stop_ ? Ending::Cut : Ending::Abandoned;
            break;
        }
        httpStatus_ = mInternet::HttpStatus(held.request);
        const Sink::Start start = sink.Begin(held.request);
        if (start.kind == Sink::Start::Again && !askedAgain) {
            askedAgain = true;
            continue;
        }
        if (start.kind != Sink::Start::Body) {
            failure = true;
            break;
        }
        begun = true;
        contentLength_ = start.total;
        // The kept bytes count: a continued body starts at the share it had.
        total = static_cast<int32_t>(std::min<int64_t>(int64_t{byteCountStart_} + start.from,
                                                       std::numeric_limits<int32_t>::max()));
        char chunk[kChunkSize];
        bool cut = false;
        const auto stopped = [this] { return stop_; };
        uint32_t serviced = GetTickCount();
        do {
            int32_t read = 0;
            if (!mInternet::InternetReadFile(held.request, chunk, kChunkSize, read, readTimeout_,
                                             stopped)) {
                cut = true;
                break;
            }
            if (read < 1) {
                ending = Ending::Whole;
                break;
            }
            // A body past 2 GiB does not fit the count: a run-time error.
            if (read > std::numeric_limits<int32_t>::max() - total || !sink.Write(chunk, read)) {
                failure = true;
                break;
            }
            total += read;
            speedMeter_->count(read);
            Raise(ChunkReceived, total, true);
            if (GetTickCount() - serviced >= kEventLoopEveryMs) {
                mInternet::DoEvents();
                serviced = GetTickCount();
            }
        } while (!stop_);
        // The file is closed in every case; a failed close fails the download.
        if (!sink.End())
            failure = true;
        if (failure || stop_ || !cut) {
            if (failure || stop_)
                ending = Ending::Abandoned;
            break;
        }
        ending = Ending::Cut;
        if (!sink.Retries() || retries >= static_cast<int>(std::size(kRetryDelaysMs)))
            break;
        held.Close();
        ++retries;
        if (eventsOn_ && RetryEvent)
            RetryEvent(retries + 1, static_cast<int32_t>(std::size(kRetryDelaysMs)) + 1);
        if (!WaitBeforeRetry(kRetryDelaysMs[retries - 1])) {
            ending = Ending::Abandoned;
            break;
        }
    }
    complete_ = sink.Finish(ending, partKept_);
    if (failure)
        Raise(Failed, 0, true);
    else
        Raise(TransferEnded, total, true);
    return total;
}
