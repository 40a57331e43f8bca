#include "cDownload.h"

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

// One connection attempt, shared by the caller and the worker. Each attempt
// has its own, so a worker that finishes after its caller gave up can only
// see its own attempt abandoned and close what it opened; it never reaches a
// later download.
struct ConnectJob
{
    QByteArray userAgent;
    QByteArray url;
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
        root, job->url, [&job] { return job->abandoned.load(std::memory_order_relaxed); });
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

} // namespace

// Where the body goes: Begin before the first read, Write per chunk, End after
// the loop. A false result is a run-time error of the transfer.
class cDownload::Sink
{
public:
    virtual ~Sink() = default;
    virtual bool Begin() = 0;
    virtual bool Write(const char* data, int32_t size) = 0;
    virtual bool End() = 0;
};

class cDownload::FileSink : public Sink
{
public:
    explicit FileSink(const QString& path) : file_(path) {}
    bool Begin() override
    {
        // A folder "exists" too; removing it fails and so does the download.
        if (QFileInfo::exists(file_.fileName()) && !file_.remove())
            return false;
        // Unbuffered, so a full disk fails the write of the chunk it hits
        // instead of a flush at close that nobody would hear of.
        return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    }
    bool Write(const char* data, int32_t size) override { return file_.write(data, size) == size; }
    bool End() override
    {
        file_.close();
        return file_.error() == QFileDevice::NoError;
    }

private:
    QFile file_;
};

class cDownload::BufferSink : public Sink
{
public:
    explicit BufferSink(ByteArray& buffer) : buffer_(buffer) {}
    bool Begin() override { return true; }
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
    stop_ = false;

    if (!mInternet::InternetGetConnectedState()) {
        Raise(NotConnected, 0, false);
        return 0;
    }
    Raise(Connected, 0, false);

    // Held until the end of this call, however it ends (an event handler may
    // throw): the handles taken over from the worker and the in-progress flag.
    struct Held
    {
        mInternet::Session* root = nullptr;
        mInternet::Request* request = nullptr;
        ~Held()
        {
            mInternet::InternetCloseHandle(request);
            mInternet::InternetCloseHandle(root);
            downloadInProgress.store(false);
        }
    } held;
    downloadInProgress.store(true);

    auto job = std::make_shared<ConnectJob>();
    job->userAgent = userAgent;
    job->url = url.toUtf8();
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
    {
        std::lock_guard lock(job->mutex);
        job->abandoned = true;
        held.root = std::exchange(job->root, nullptr);
        held.request = std::exchange(job->request, nullptr);
    }

    bool failure = held.request == nullptr || stop_;
    int32_t total = byteCountStart_;
    if (!failure) {
        httpStatus_ = mInternet::HttpStatus(held.request);
        contentLength_ = mInternet::ContentLength(held.request);
        if (!sink.Begin()) {
            failure = true;
        } else {
            char chunk[kChunkSize];
            bool ended = false;
            const auto stopped = [this] { return stop_; };
            do {
                int32_t read = 0;
                if (!mInternet::InternetReadFile(held.request, chunk, kChunkSize, read,
                                                 readTimeout_, stopped)) {
                    break;
                }
                if (read < 1) {
                    ended = true;
                    break;
                }
                // A body past 2 GiB does not fit the count: a run-time error.
                if (read > std::numeric_limits<int32_t>::max() - total ||
                    !sink.Write(chunk, read)) {
                    failure = true;
                    break;
                }
                total += read;
                speedMeter_->count(read);
                Raise(ChunkReceived, total, true);
                mInternet::DoEvents();
            } while (!stop_);
            // The file is closed in every case; a failed close fails the download.
            if (!sink.End())
                failure = true;
            if (!failure) {
                complete_ = ended;
                Raise(TransferEnded, total, true);
            }
        }
    }
    if (failure)
        Raise(Failed, 0, true);
    return total;
}
