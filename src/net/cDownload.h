#pragma once

#include "cTimeCount.h"
#include "startup/TextHelpers.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class cThread;

// Fetches the body of one URL into a file or a byte array. The connection is
// opened on a worker thread while the calling (window) thread waits at most
// ConnTimeout milliseconds, servicing its event loop; the body is then read on
// the calling thread in chunks of at most 2048 bytes with the event loop
// serviced after each. Only one download runs in the process at a time: a
// call made while another is in progress (from an event handler, say) returns
// 0 at once and raises nothing.
class cDownload
{
public:
    // DownloadEvent statuses.
    enum Status : int32_t
    {
        Connected = 0,     // the system reports a connection; the download begins
        NotConnected = 1,  // no connection; nothing is fetched
        ChunkReceived = 2, // ByteCount = bytes so far
        TransferEnded = 3, // end of data, failed read or stop request
        Failed = 4,        // time-out, missing handle, a write that fails (a full disk) or
                           // a body too long for the 32-bit byte count
    };

    // Largest chunk read at a time; the event loop is serviced after each.
    static constexpr int32_t kChunkSize = 2048;
    static constexpr int32_t kDefaultConnTimeout = 5000;
    static constexpr int32_t kDefaultReadTimeout = 30000;
    // Pauses before the retries of a cut-off body in DownloadToPartFile:
    // short enough that a brief drop costs little, long enough that a line
    // coming back up gets its chance.
    static constexpr int32_t kRetryDelaysMs[] = {1000, 3000};

    // clock drives the speed meter (tests give their own).
    explicit cDownload(cTimeCount::Clock clock = &GetTickCount);
    ~cDownload();
    cDownload(const cDownload&) = delete;
    cDownload& operator=(const cDownload&) = delete;

    // Raised synchronously inside the download call, on the calling thread,
    // while events are on: (Status, ByteCount, Speed in bytes per second).
    std::function<void(int32_t status, int32_t byteCount, int32_t speed)> DownloadEvent;
    // Raised, while events are on, when DownloadToPartFile is about to wait
    // before asking again: try attempt (2 or 3) of attempts. StopDownload
    // during the wait ends the download like a stop during the body.
    std::function<void(int32_t attempt, int32_t attempts)> RetryEvent;

    // Writes the body to strFile (an existing file is deleted first). Result:
    // bytes written; 0 when nothing was fetched.
    int32_t DownloadToFile(const QString& sURL, const QString& strFile);
    // Writes the body to the partial file strPart and continues what an
    // earlier download left there (cPartialDownload): the rest is asked for
    // with a range, and appended when the server sends exactly that rest of
    // the same copy; otherwise the file starts again from the first byte. A
    // body that the line or the server cuts off is asked for again, after
    // each of kRetryDelaysMs, before the download ends; a retry whose
    // connection does not open fails it (status 4). Whole (Complete()),
    // the file's record is gone and the caller gives the file its name; cut
    // off for good, the file and its record stay when they can be continued
    // (PartKept()); stopped, failed to write or not continuable, both are
    // removed. Result and ByteCount count the file's bytes, kept ones too.
    int32_t DownloadToPartFile(const QString& sURL, const QString& strPart);
    // Replaces bytBuffer by the body when at least one byte arrives; otherwise
    // leaves it as it was. Result: bytes received.
    int32_t DownloadToBuffer(const QString& sURL, ByteArray& bytBuffer);

    // Ends the running transfer at once, also while a read waits for a line
    // that went silent: it finishes like a complete one (status 3) but is not
    // Complete(). Asked for while the connection opens, it abandons the wait:
    // the download fails (status 4). A transfer that starts clears it.
    void StopDownload() { stop_ = true; }

    bool IsConnected() const;
    void RaiseDownloadEvent(bool bNew) { eventsOn_ = bNew; }
    int32_t ConnTimeout() const { return connTimeout_; }
    void ConnTimeout(int32_t vNewValue) { connTimeout_ = vNewValue; }

    // Milliseconds a read may wait without receiving a byte before the
    // transfer is given up like a failed read, so a server that stops sending
    // cannot hold the window for ever.
    int32_t ReadTimeout() const { return readTimeout_; }
    void ReadTimeout(int32_t vNewValue) { readTimeout_ = vNewValue; }

    // Of the last download of this object: the HTTP status of the final
    // response (0 when none came), and whether the whole body arrived - the
    // transfer reached the clean end of the body, not stopped, cut off, failed
    // or given up. Callers that must not keep an error page or a partial file
    // check both.
    long HttpStatus() const { return httpStatus_; }
    bool Complete() const { return complete_; }
    // The body's length as the server announced it, of the whole body when
    // the server sent a rest; -1 when it did not.
    int64_t ContentLength() const { return contentLength_; }
    // Of the last DownloadToPartFile: the bytes of an earlier download the
    // file continued (0 when it began at the first byte), and whether the
    // partial file and its record were left to be continued.
    int64_t ResumedFrom() const { return resumedFrom_; }
    bool PartKept() const { return partKept_; }

    // Whether any instance is downloading right now.
    static bool InProgress();

    // Makes every connection attempt started from now on hold its opened URL
    // for ms milliseconds before handing it over, so tests can make a
    // connection complete after its caller gave up.
    static void DelayConnectionsForTests(int ms);

    // Makes the byte count of the next transfers start at count instead of 0,
    // as if that much had arrived already, so tests reach the 2 GiB limit of
    // the count without sending 2 GiB.
    void ByteCountStartForTests(int32_t count) { byteCountStart_ = count; }

private:
    enum class Ending
    {
        Whole,     // the clean end of the body
        Cut,       // the line or the server ended it early
        Abandoned, // stopped, a run-time error, or nothing to continue
    };
    struct Connection;
    class Sink;
    class FileSink;
    class PartFileSink;
    class BufferSink;

    int32_t Download(const QString& url, Sink& sink);
    // Opens url on the worker and waits for it (ConnTimeout, the stop
    // request); false when no connection came.
    bool Connect(const QByteArray& userAgent, const QString& url, const QList<QByteArray>& headers,
                 Connection& held);
    // Waits ms milliseconds servicing the event loop; false when stopped.
    bool WaitBeforeRetry(int32_t ms);
    void Raise(int32_t status, int32_t byteCount, bool withSpeed);

    bool stop_ = false;
    bool eventsOn_ = true;
    cTimeCount::Clock clock_;
    std::unique_ptr<cTimeCount> speedMeter_;
    std::unique_ptr<cThread> worker_;
    int32_t connTimeout_ = kDefaultConnTimeout;
    int32_t readTimeout_ = kDefaultReadTimeout;
    long httpStatus_ = 0;
    int64_t contentLength_ = -1;
    bool complete_ = false;
    bool partKept_ = false;
    int64_t resumedFrom_ = 0;
    int32_t byteCountStart_ = 0;
};
