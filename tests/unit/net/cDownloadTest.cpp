// The downloader against the real local vendor site, faults included.

#include "net/cDownload.h"

#include "net/mInternet.h"
#include "startup/Settings.h"
#include "support/LocalSite.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

struct Event
{
    int32_t status;
    int32_t byteCount;
    bool operator==(const Event& other) const
    {
        return status == other.status && byteCount == other.byteCount;
    }
};

void PrintTo(const Event& event, std::ostream* os)
{
    *os << "(" << event.status << ", " << event.byteCount << ")";
}

using Events = std::vector<Event>;

// Records every event of a download.
void Record(cDownload& download, Events& events)
{
    download.DownloadEvent = [&events](int32_t status, int32_t byteCount, int32_t speed) {
        EXPECT_GE(speed, 0);
        events.push_back({status, byteCount});
    };
}

// Processes events until cond holds or 5 s have passed.
template <typename Condition> bool ProcessUntil(Condition cond)
{
    QElapsedTimer timer;
    timer.start();
    while (!cond()) {
        if (timer.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class DownloadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        root_ = new QTemporaryDir;
        const QString r = root_->path();
        QDir(r).mkpath(QStringLiteral("hub"));
        QDir(r).mkpath(QStringLiteral("update"));
        WriteFile(r + "/empty.bin", QByteArray());
        WriteFile(r + "/b2048.bin", PseudoRandomBytes(2048, 1));
        WriteFile(r + "/b2049.bin", PseudoRandomBytes(2049, 2));
        WriteFile(r + "/hub/small.Z", PseudoRandomBytes(5000, 3));
        WriteFile(r + "/hub/large.Z", PseudoRandomBytes(3 * 1024 * 1024 + 17, 4));
        WriteFile(r + "/update/tvh_endpoint.txt", "http://127.0.0.1:1");
        site_ = new LocalSite(r);
    }
    static void TearDownTestSuite()
    {
        delete site_;
        delete root_;
    }
    void SetUp() override
    {
        ASSERT_TRUE(site_->IsRunning()) << site_->Error().toStdString();
        mInternet::SetConnectedStateForTests(true);
        Settings::Write(Settings::AppInfo, QStringLiteral("EditorVersion"), QStringLiteral("1316"));
        Settings::Write(Settings::AppInfo, QStringLiteral("UserName"), QStringLiteral("alice"));
        ASSERT_TRUE(out_.isValid());
        Record(download_, events_);
    }
    void TearDown() override
    {
        mInternet::SetConnectedStateForTests(std::nullopt);
        EXPECT_FALSE(cDownload::InProgress());
    }
    static QByteArray Served(const QString& name) { return ReadFile(root_->path() + name); }
    QString Target() const { return out_.filePath(QStringLiteral("target.bin")); }

    static QTemporaryDir* root_;
    static LocalSite* site_;
    QTemporaryDir out_;
    cDownload download_;
    Events events_;
};

QTemporaryDir* DownloadTest::root_ = nullptr;
LocalSite* DownloadTest::site_ = nullptr;

TEST_F(DownloadTest, SmallBodyToBuffer_ChunksOf2048AndCompleteWith200)
{
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/hub/small.Z"), buffer), 5000);
    ASSERT_TRUE(buffer.has_value());
    EXPECT_EQ(Hex(*buffer), Hex(Served("/hub/small.Z")));
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 2048}, {2, 4096}, {2, 5000}, {3, 5000}}));
    EXPECT_EQ(download_.HttpStatus(), 200);
    EXPECT_TRUE(download_.Complete());
}

TEST_F(DownloadTest, LargeBodyToFile_ByteExactAndEveryChunkAtMost2048)
{
    WriteFile(Target(), "old content that must go");
    const QByteArray expected = Served("/hub/large.Z");
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/large.Z"), Target()), expected.size());
    EXPECT_TRUE(ReadFile(Target()) == expected) << "file differs from the served body";
    ASSERT_GE(events_.size(), 3u);
    int32_t previous = 0;
    for (size_t i = 1; i + 1 < events_.size(); ++i) {
        ASSERT_EQ(events_[i].status, 2);
        ASSERT_GT(events_[i].byteCount, previous);
        ASSERT_LE(events_[i].byteCount - previous, 2048);
        previous = events_[i].byteCount;
    }
    EXPECT_EQ(events_.back(), (Event{3, static_cast<int32_t>(expected.size())}));
    EXPECT_TRUE(download_.Complete());
}

TEST_F(DownloadTest, Exactly2048Bytes_OneChunkThenEnd)
{
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/b2048.bin"), buffer), 2048);
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 2048}, {3, 2048}}));
    EXPECT_EQ(Hex(buffer.value_or(QByteArray())), Hex(Served("/b2048.bin")));
    EXPECT_TRUE(download_.Complete());
}

TEST_F(DownloadTest, Exactly2049Bytes_TwoChunks)
{
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/b2049.bin"), Target()), 2049);
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 2048}, {2, 2049}, {3, 2049}}));
    EXPECT_EQ(Hex(ReadFile(Target())), Hex(Served("/b2049.bin")));
}

TEST_F(DownloadTest, EmptyBody_FileReplacedByEmptyOneAndBufferKept)
{
    WriteFile(Target(), "previous");
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/empty.bin"), Target()), 0);
    EXPECT_EQ(events_, (Events{{0, 0}, {3, 0}}));
    EXPECT_TRUE(QFileInfo::exists(Target()));
    EXPECT_EQ(ReadFile(Target()).size(), 0);
    EXPECT_TRUE(download_.Complete());

    events_.clear();
    ByteArray buffer = QByteArray("kept");
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/empty.bin"), buffer), 0);
    EXPECT_EQ(buffer, ByteArray(QByteArray("kept")));
    ByteArray none;
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/empty.bin"), none), 0);
    EXPECT_FALSE(none.has_value());
}

TEST_F(DownloadTest, BufferWithOldContent_HoldsExactlyTheNewBody)
{
    ByteArray buffer = QByteArray(10000, 'x');
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/b2049.bin"), buffer), 2049);
    EXPECT_EQ(Hex(buffer.value_or(QByteArray())), Hex(Served("/b2049.bin")));
}

TEST_F(DownloadTest, EventsOff_NoEventSameResult)
{
    download_.RaiseDownloadEvent(false);
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), Target()), 5000);
    EXPECT_TRUE(events_.empty());
    EXPECT_EQ(Hex(ReadFile(Target())), Hex(Served("/hub/small.Z")));
}

TEST_F(DownloadTest, StopFromProgressHandler_EndsAfterThatChunkWithStatus3)
{
    download_.DownloadEvent = [this](int32_t status, int32_t byteCount, int32_t) {
        events_.push_back({status, byteCount});
        if (status == 2)
            download_.StopDownload();
    };
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/large.Z"), Target()), 2048);
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 2048}, {3, 2048}}));
    EXPECT_EQ(ReadFile(Target()).size(), 2048);
    EXPECT_FALSE(download_.Complete());
}

TEST_F(DownloadTest, StopBeforeTransfer_HasNoEffect)
{
    download_.StopDownload();
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), Target()), 5000);
    EXPECT_TRUE(download_.Complete());
}

TEST_F(DownloadTest, SecondDownloadFromHandler_ReturnsZeroAtOnceWithoutEvents)
{
    cDownload second;
    Events secondEvents;
    Record(second, secondEvents);
    std::vector<int32_t> nestedResults;
    download_.DownloadEvent = [&](int32_t status, int32_t byteCount, int32_t) {
        events_.push_back({status, byteCount});
        if (status == 2) {
            ByteArray buffer;
            nestedResults.push_back(second.DownloadToBuffer(site_->Url("/b2048.bin"), buffer));
            EXPECT_FALSE(buffer.has_value());
        }
    };
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), Target()), 5000);
    EXPECT_EQ(nestedResults, (std::vector<int32_t>{0, 0, 0}));
    EXPECT_TRUE(secondEvents.empty());
    EXPECT_EQ(events_.back(), (Event{3, 5000}));
}

TEST_F(DownloadTest, ErrorPage_StoredLikeAnyBodyWithItsStatus)
{
    ByteArray buffer;
    const int32_t result = download_.DownloadToBuffer(site_->Url("/no/such/file"), buffer);
    ASSERT_GT(result, 0);
    EXPECT_TRUE(buffer->contains("404 Not Found"));
    EXPECT_EQ(download_.HttpStatus(), 404);
    EXPECT_TRUE(download_.Complete());
    EXPECT_EQ(events_.back(), (Event{3, result}));

    LocalSite failing(root_->path(), {QStringLiteral("*=status:500")});
    ASSERT_TRUE(failing.IsRunning()) << failing.Error().toStdString();
    EXPECT_GT(download_.DownloadToFile(failing.Url("/hub/small.Z"), Target()), 0);
    EXPECT_TRUE(ReadFile(Target()).contains("500 Internal Server Error"));
    EXPECT_EQ(download_.HttpStatus(), 500);
}

TEST_F(DownloadTest, CutOffBody_BytesSoFarStatus3AndNotComplete)
{
    LocalSite cut(root_->path(), {QStringLiteral("/hub/=truncate:100")});
    ASSERT_TRUE(cut.IsRunning()) << cut.Error().toStdString();
    EXPECT_EQ(download_.DownloadToFile(cut.Url("/hub/small.Z"), Target()), 100);
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 100}, {3, 100}}));
    EXPECT_EQ(Hex(ReadFile(Target())), Hex(Served("/hub/small.Z").left(100)));
    EXPECT_EQ(download_.HttpStatus(), 200);
    EXPECT_FALSE(download_.Complete());
}

TEST_F(DownloadTest, UserAgent_VersionAndUserOrZerosWithoutVersion)
{
    ByteArray buffer;
    ASSERT_GT(download_.DownloadToBuffer(site_->Url("/update/tvh_endpoint.txt"), buffer), 0);
    ASSERT_TRUE(Settings::Delete(Settings::AppInfo, QStringLiteral("EditorVersion")));
    Settings::Write(Settings::AppInfo, QStringLiteral("UserName"), QStringLiteral("bob smith"));
    ASSERT_GT(download_.DownloadToBuffer(site_->Url("/update/tvh_endpoint.txt?second"), buffer), 0);
    const QStringList log = site_->LogLines();
    EXPECT_TRUE(log.contains(QStringLiteral("GET /update/tvh_endpoint.txt Ksvro/1316 (alice)")))
        << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(
        log.contains(QStringLiteral("GET /update/tvh_endpoint.txt?second Ksvro/0000 (bob smith)")))
        << log.join(QLatin1Char('\n')).toStdString();
}

TEST_F(DownloadTest, Offline_Event1NothingFetchedFileUntouched)
{
    mInternet::SetConnectedStateForTests(false);
    WriteFile(Target(), "untouched");
    const qsizetype requestsBefore = site_->LogLines().size();
    EXPECT_FALSE(download_.IsConnected());
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), Target()), 0);
    EXPECT_EQ(events_, (Events{{1, 0}}));
    EXPECT_EQ(ReadFile(Target()), QByteArray("untouched"));
    EXPECT_EQ(site_->LogLines().size(), requestsBefore);
    EXPECT_FALSE(cDownload::InProgress());
}

TEST_F(DownloadTest, ServerHangs_FailsAfterConnTimeoutWhileEventLoopRuns)
{
    LocalSite hanging(root_->path(), {QStringLiteral("*=hang")});
    ASSERT_TRUE(hanging.IsRunning()) << hanging.Error().toStdString();
    WriteFile(Target(), "untouched");
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    download_.ConnTimeout(300);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(download_.DownloadToFile(hanging.Url("/hub/small.Z"), Target()), 0);
    const qint64 ms = elapsed.elapsed();
    EXPECT_GE(ms, 299); // a millisecond clock: up to 1 ms short
    EXPECT_LT(ms, 1500);
    EXPECT_GE(ticks, 10) << "the event loop was not serviced during the wait";
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
    EXPECT_EQ(ReadFile(Target()), QByteArray("untouched"));
    EXPECT_EQ(download_.HttpStatus(), 0);
    // The worker, still blocked when the caller gave up, closes its attempt.
    EXPECT_TRUE(ProcessUntil([] { return mInternet::OpenRequests() == 0; }));
}

TEST_F(DownloadTest, ConnTimeoutZeroOrNegative_FailsAfterFirstPoll)
{
    for (const int32_t timeout : {0, -1}) {
        events_.clear();
        download_.ConnTimeout(timeout);
        ByteArray buffer;
        EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/hub/small.Z"), buffer), 0);
        EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
        EXPECT_FALSE(buffer.has_value());
    }
    EXPECT_TRUE(ProcessUntil([] { return mInternet::OpenRequests() == 0; }));
}

TEST_F(DownloadTest, AnswerAfterTimeout_AttemptAbandonedAndNextDownloadUnaffected)
{
    LocalSite late(root_->path(), {QStringLiteral("/hub/=delay:400")});
    ASSERT_TRUE(late.IsRunning()) << late.Error().toStdString();
    download_.ConnTimeout(100);
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(late.Url("/hub/small.Z"), buffer), 0);
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));

    // At once, while the late answer is still on its way: not blocked, and it
    // gets its own body, not the late one.
    cDownload next;
    EXPECT_EQ(next.DownloadToBuffer(late.Url("/b2049.bin"), buffer), 2049);
    EXPECT_EQ(Hex(buffer.value_or(QByteArray())), Hex(Served("/b2049.bin")));
    EXPECT_TRUE(ProcessUntil([] { return mInternet::OpenRequests() == 0; }));
}

TEST_F(DownloadTest, UrlOpenedAfterCallerGaveUp_ClosedByWorkerNeverTakenUp)
{
    cDownload::DelayConnectionsForTests(400);
    download_.ConnTimeout(100);
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(site_->Url("/hub/small.Z"), buffer), 0);
    cDownload::DelayConnectionsForTests(0);
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
    EXPECT_FALSE(buffer.has_value());
    // The URL is open on the worker now, waiting to be handed over to nobody.
    EXPECT_TRUE(ProcessUntil([] { return mInternet::OpenRequests() == 1; }));

    cDownload next;
    Events nextEvents;
    Record(next, nextEvents);
    EXPECT_EQ(next.DownloadToBuffer(site_->Url("/b2048.bin"), buffer), 2048);
    EXPECT_EQ(Hex(buffer.value_or(QByteArray())), Hex(Served("/b2048.bin")));
    EXPECT_EQ(nextEvents, (Events{{0, 0}, {2, 2048}, {3, 2048}}));
    EXPECT_TRUE(ProcessUntil([] { return mInternet::OpenRequests() == 0; }))
        << "the late URL was never closed";
}

TEST_F(DownloadTest, ConnectionRefusedOrDropped_WaitsConnTimeoutThenFails)
{
    QString closedUrl;
    {
        LocalSite gone(root_->path());
        ASSERT_TRUE(gone.IsRunning());
        closedUrl = gone.Url("/hub/small.Z");
    }
    LocalSite dropping(root_->path(), {QStringLiteral("*=close")});
    ASSERT_TRUE(dropping.IsRunning()) << dropping.Error().toStdString();
    download_.ConnTimeout(300);
    for (const QString& url : {closedUrl, dropping.Url("/hub/small.Z")}) {
        events_.clear();
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(download_.DownloadToFile(url, Target()), 0) << url.toStdString();
        EXPECT_GE(elapsed.elapsed(), 299); // a millisecond clock: up to 1 ms short
        EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
        EXPECT_FALSE(QFileInfo::exists(Target()));
    }
}

TEST_F(DownloadTest, StalledRead_GivesUpAfterReadTimeout)
{
    LocalSite dripping(root_->path(), {QStringLiteral("/hub/=drip:1")});
    ASSERT_TRUE(dripping.IsRunning()) << dripping.Error().toStdString();
    download_.ReadTimeout(300);
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start(10);
    QElapsedTimer elapsed;
    elapsed.start();
    const int32_t result = download_.DownloadToFile(dripping.Url("/hub/small.Z"), Target());
    EXPECT_LT(elapsed.elapsed(), 900);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(events_, (Events{{0, 0}, {2, 1}, {3, 1}}));
    EXPECT_FALSE(download_.Complete());
    EXPECT_GE(ticks, 10) << "the event loop was not serviced while the read waited";
}

// A chain of n redirects /<name>1 -> /<name>2 -> ... -> target.
QStringList RedirectChain(const QString& name, int n, const QString& target)
{
    QStringList faults;
    for (int i = 1; i <= n; ++i) {
        const QString next = i == n ? target : QStringLiteral("/%1%2").arg(name).arg(i + 1);
        faults << QStringLiteral("/%1%2=redirect:%3").arg(name).arg(i).arg(next);
    }
    return faults;
}

TEST_F(DownloadTest, FiveRedirects_FollowedToTheBody)
{
    LocalSite redirecting(root_->path(),
                          RedirectChain(QStringLiteral("r"), 5, QStringLiteral("/hub/small.Z")));
    ASSERT_TRUE(redirecting.IsRunning()) << redirecting.Error().toStdString();
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(redirecting.Url("/r1"), buffer), 5000);
    EXPECT_EQ(Hex(buffer.value_or(QByteArray())), Hex(Served("/hub/small.Z")));
    EXPECT_EQ(download_.HttpStatus(), 200);
    EXPECT_TRUE(download_.Complete());
}

TEST_F(DownloadTest, SixRedirects_NotFollowedAndNotComplete)
{
    LocalSite redirecting(root_->path(),
                          RedirectChain(QStringLiteral("r"), 6, QStringLiteral("/hub/small.Z")));
    ASSERT_TRUE(redirecting.IsRunning()) << redirecting.Error().toStdString();
    download_.ConnTimeout(1000);
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(redirecting.Url("/r1"), buffer), 0);
    EXPECT_FALSE(buffer.has_value());
    EXPECT_FALSE(download_.Complete());
    // The sixth answer is a redirect again: it ends the transfer as a failed
    // read, and the body it points to is never asked for.
    EXPECT_EQ(events_, (Events{{0, 0}, {3, 0}}));
    EXPECT_EQ(download_.HttpStatus(), 302);
    EXPECT_EQ(redirecting.LogLines().filter(QStringLiteral("/hub/small.Z")).size(), 0);
    EXPECT_EQ(redirecting.LogLines().size(), 6);
}

TEST_F(DownloadTest, RedirectToFileScheme_Refused)
{
    const QString secret = out_.filePath(QStringLiteral("secret.txt"));
    WriteFile(secret, "local file");
    LocalSite redirecting(root_->path(), {QStringLiteral("/f=redirect:file://") + secret});
    ASSERT_TRUE(redirecting.IsRunning()) << redirecting.Error().toStdString();
    download_.ConnTimeout(300);
    ByteArray buffer;
    EXPECT_EQ(download_.DownloadToBuffer(redirecting.Url("/f"), buffer), 0);
    EXPECT_FALSE(buffer.has_value());
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
}

TEST_F(DownloadTest, TargetCannotBeCreated_Status4AndNothingWritten)
{
    const QString inMissingFolder = out_.filePath(QStringLiteral("no/such/folder/file.bin"));
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), inMissingFolder), 0);
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));

    events_.clear();
    const QString folder = out_.filePath(QStringLiteral("a-folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/hub/small.Z"), folder), 0);
    EXPECT_EQ(events_, (Events{{0, 0}, {4, 0}}));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST_F(DownloadTest, StartFromConnectedHandler_RunsWholeNestedDownload)
{
    // Event 0 comes before the download takes the process-wide slot, so a
    // download started from it runs on its own.
    cDownload nested;
    int32_t nestedResult = -1;
    download_.DownloadEvent = [&](int32_t status, int32_t byteCount, int32_t) {
        events_.push_back({status, byteCount});
        if (status == 0 && nestedResult < 0) {
            ByteArray buffer;
            nestedResult = nested.DownloadToBuffer(site_->Url("/b2048.bin"), buffer);
        }
    };
    EXPECT_EQ(download_.DownloadToFile(site_->Url("/b2049.bin"), Target()), 2049);
    EXPECT_EQ(nestedResult, 2048);
}

} // namespace
