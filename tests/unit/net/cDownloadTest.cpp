// The downloader against the real local vendor site: one table of situations
// (site fault, URL, target, what the event handler does) -> events, result,
// HTTP status, completeness and what the buffer or file holds afterwards.

#include "net/cDownload.h"

#include "net/cThread.h"
#include "net/mInternet.h"
#include "startup/Settings.h"
#include "support/LocalSite.h"
#include "support/LoopGapMeter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

constexpr int32_t kMax = 2147483647;
const QByteArray kOld("old");

struct Row
{
    const char* name;
    QString url = "/b5000";     // on the row's site, or a whole URL
    QStringList setup = {};     // the site's faults ("/..." "*..."), then the test's own switches
    QString target = "";        // a file under a work folder; empty: into a buffer
    int32_t connTimeout = 3000; // below 3000 the wait runs out
    const char* expect = "";    // events (see Summary) | result HttpStatus [complete]
    ByteArray after = kOld;     // the buffer or file afterwards; none: no buffer, no file
    int requests = 1;           // requests the site saw; -1: any
};

// Size and SHA-1 of bytes, or "none".
QString Digest(const ByteArray& bytes)
{
    const auto sha1 = [&] { return QCryptographicHash::hash(*bytes, QCryptographicHash::Sha1); };
    return bytes ? QString::number(bytes->size()) + " " + sha1().toHex() : "none";
}

void FileSizeLimit(rlim_t bytes)
{
    const rlimit limit{bytes, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

// The value of a switch "key:N" (1 for a bare "key", 0 when absent).
qint64 Switch(const QStringList& setup, const QString& key)
{
    for (const QString& s : setup)
        if (s == key || s.startsWith(key + ':'))
            return s == key ? 1 : s.mid(key.size() + 1).toLongLong();
    return 0;
}

// Events as "0:0 2x3:5000 3:5000": a run of chunk events is 2xRUN:LAST ("x*"
// where the run's length may vary, every chunk of a run 1..2048 bytes); "n"
// marks a nested download's events, "N:r" its result.
std::string Summary(const std::vector<std::tuple<std::string, int32_t, int32_t>>& ev, bool any)
{
    std::string out;
    for (size_t i = 0; i < ev.size(); ++i) {
        const auto& [who, status, count] = ev[i];
        std::string t = status < 0 ? who : who + std::to_string(status);
        if (status == 2) {
            const size_t first = i;
            for (;
                 i + 1 < ev.size() && std::get<1>(ev[i + 1]) == 2 && std::get<0>(ev[i + 1]) == who;
                 ++i)
                EXPECT_LE(unsigned(std::get<2>(ev[i + 1]) - std::get<2>(ev[i]) - 1), 2047u);
            t += "x" + (any ? std::string("*") : std::to_string(i - first + 1));
        }
        out += (out.empty() ? "" : " ") + t + ":" + std::to_string(std::get<2>(ev[i]));
    }
    return out;
}

class DownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        signal(SIGXFSZ, SIG_IGN); // past the file-size limit a write fails instead
        for (int size : {0, 2048, 2049, 5000, 40000, 3 * 1024 * 1024 + 17})
            WriteFile(root.filePath(QString("b%1").arg(size)), PseudoRandomBytes(size, size));
        site = std::make_unique<LocalSite>(root.path());
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        mInternet::SetConnectedStateForTests(true);
        Settings::Write(Settings::AppInfo, "EditorVersion", "1316");
        Settings::Write(Settings::AppInfo, "UserName", "alice");
    }
    void TearDown() override { mInternet::SetConnectedStateForTests(std::nullopt); }
    QByteArray Served(int size, qsizetype n = -1) const
    {
        const QByteArray body = ReadFile(root.filePath(QString("b%1").arg(size)));
        return n < 0 ? body : body.left(n);
    }
    QTemporaryDir root;
    std::unique_ptr<LocalSite> site;
};

QStringList Redirects(int n)
{
    QStringList setup;
    for (int i = 1; i < n; ++i)
        setup << QString("/r%1=redirect:/r%2").arg(i).arg(i + 1);
    return setup << QString("/r%1=redirect:/b5000").arg(n);
}

TEST_F(DownloadTest, Situations_EventsResultAndWhatIsStored)
{
    const auto page = [](const QByteArray& s) {
        return "<html><head><title>" + s + "</title></head><body><h1>" + s +
               "</h1></body></html>\n";
    };
    constexpr int32_t large = 3 * 1024 * 1024 + 17;
    // clang-format off
    const Row rows[] = {
        {.name = "5000 bytes into a buffer", .expect = "0:0 2x3:5000 3:5000 | 5000 200 complete",
         .after = Served(5000)},
        {.name = "large body replaces the old file", .url = "/b3145745", .target = "t",
         .expect = "0:0 2x*:3145745 3:3145745 | 3145745 200 complete", .after = Served(large)},
        {.name = "2048 bytes: a chunk, then the end", .url = "/b2048",
         .expect = "0:0 2x1:2048 3:2048 | 2048 200 complete", .after = Served(2048)},
        {.name = "2049 bytes: two chunks", .url = "/b2049", .target = "t",
         .expect = "0:0 2x2:2049 3:2049 | 2049 200 complete", .after = Served(2049)},
        {.name = "empty body: an empty file in place of the old", .url = "/b0", .target = "t",
         .expect = "0:0 3:0 | 0 200 complete", .after = QByteArray("")},
        {.name = "empty body: the buffer kept", .url = "/b0", .expect = "0:0 3:0 | 0 200 complete"},
        {.name = "404 page stored", .url = "/none", .expect = "0:0 2x1:90 3:90 | 90 404 complete",
         .after = page("404 Not Found")},
        {.name = "500 page stored", .setup = {"*=status:500"}, .target = "t",
         .expect = "0:0 2x1:114 3:114 | 114 500 complete",
         .after = page("500 Internal Server Error")},
        {.name = "cut-off body", .setup = {"/=truncate:100"}, .target = "t",
         .expect = "0:0 2x1:100 3:100 | 100 200", .after = Served(5000, 100)},
        {.name = "stalled body given up", .setup = {"/=drip:1"}, .expect = "0:0 2x1:1 3:1 | 1 200",
         .after = Served(5000, 1)},
        {.name = "offline: nothing fetched", .setup = {"offline"}, .target = "t",
         .expect = "1:0 | 0 0", .requests = 0},
        {.name = "site hangs", .setup = {"*=hang"}, .target = "t", .connTimeout = 300,
         .expect = "0:0 4:0 | 0 0"},
        {.name = "connection dropped", .setup = {"*=close"}, .connTimeout = 300,
         .expect = "0:0 4:0 | 0 0"},
        {.name = "connection refused", .url = "http://127.0.0.1:1/b5000", .connTimeout = 300,
         .expect = "0:0 4:0 | 0 0", .requests = 0},
        {.name = "ConnTimeout 0", .connTimeout = 0, .expect = "0:0 4:0 | 0 0", .requests = -1},
        {.name = "ConnTimeout -1", .connTimeout = -1, .expect = "0:0 4:0 | 0 0", .requests = -1},
        {.name = "answer after the time-out", .setup = {"/=delay:400"}, .connTimeout = 100,
         .expect = "0:0 4:0 | 0 0"},
        {.name = "URL opened after the caller gave up", .setup = {"late"}, .connTimeout = 100,
         .expect = "0:0 4:0 | 0 0"},
        {.name = "worker cannot start", .setup = {"nothread"}, .connTimeout = 300,
         .expect = "0:0 4:0 | 0 0", .requests = 0},
        {.name = "five redirects followed", .url = "/r1", .setup = Redirects(5),
         .expect = "0:0 2x3:5000 3:5000 | 5000 200 complete", .after = Served(5000), .requests = 6},
        {.name = "sixth redirect not followed", .url = "/r1", .setup = Redirects(6),
         .expect = "0:0 3:0 | 0 302", .requests = 6},
        {.name = "redirect to a local file refused", .url = "/f",
         .setup = {"/f=redirect:file:///etc/hostname"}, .connTimeout = 300,
         .expect = "0:0 4:0 | 0 0"},
        {.name = "target in a missing folder", .target = "no/t", .expect = "0:0 4:0 | 0 200",
         .after = {}},
        {.name = "target is a folder", .setup = {"folder"}, .target = "t",
         .expect = "0:0 4:0 | 0 200", .after = {}},
        {.name = "file-size limit early in the body", .url = "/b40000", .setup = {"fsize:3000"},
         .target = "t", .expect = "0:0 2x1:2048 4:0 | 2048 200", .after = Served(40000, 3000)},
        {.name = "file-size limit in the last 16 KiB", .url = "/b40000", .setup = {"fsize:39900"},
         .target = "t", .expect = "0:0 2x19:38912 4:0 | 38912 200", .after = Served(40000, 39900)},
        {.name = "byte count reaches 2^31-1", .url = "/b2049", .setup = {"count:2147481598"},
         .expect = "0:0 2x2:2147483647 3:2147483647 | 2147483647 200 complete",
         .after = Served(2049)},
        {.name = "byte count would pass 2^31-1", .url = "/b2049", .setup = {"count:2147481599"},
         .expect = "0:0 2x1:2147483647 4:0 | 2147483647 200", .after = Served(2049, 2048)},
        {.name = "stop from a chunk event", .url = "/b3145745", .setup = {"stop"}, .target = "t",
         .expect = "0:0 2x1:2048 3:2048 | 2048 200", .after = Served(large, 2048)},
        {.name = "stop before the transfer: no effect", .setup = {"stopfirst"},
         .expect = "0:0 2x3:5000 3:5000 | 5000 200 complete", .after = Served(5000)},
        {.name = "events off: none raised, same result", .setup = {"quiet"}, .target = "t",
         .expect = " | 5000 200 complete", .after = Served(5000)},
        {.name = "second download from a chunk event: 0, no events", .setup = {"nested"},
         .expect = "0:0 2x1:2048 N:0 2x1:4096 N:0 2x1:5000 N:0 3:5000 | 5000 200 complete",
         .after = Served(5000)},
        {.name = "download from the connect event runs whole", .url = "/b2049",
         .setup = {"nested0"},
         .expect = "0:0 n0:0 n2x1:2048 n3:2048 N:2048 2x2:2049 3:2049 | 2049 200 complete",
         .after = Served(2049), .requests = 2},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto on = [&row](const char* key) { return Switch(row.setup, key); };
        LocalSite rowSite(root.path(), row.setup.filter(QRegularExpression("^[/*]")));
        ASSERT_TRUE(rowSite.IsRunning()) << rowSite.Error().toStdString();
        QTemporaryDir work;
        const QString target = work.filePath(row.target);
        if (!row.target.isEmpty())
            on("folder") ? QDir().mkpath(target) : WriteFile(target, kOld);
        mInternet::SetConnectedStateForTests(!on("offline"));
        if (on("nothread"))
            cThread::FailNextStartForTests();
        cDownload::DelayConnectionsForTests(on("late") ? 400 : 0);

        cDownload download, nested;
        std::vector<std::tuple<std::string, int32_t, int32_t>> ev;
        download.ConnTimeout(row.connTimeout);
        download.ReadTimeout(500);
        download.ByteCountStartForTests(static_cast<int32_t>(on("count")));
        download.RaiseDownloadEvent(!on("quiet"));
        download.DownloadEvent = [&](int32_t status, int32_t count, int32_t) {
            ev.emplace_back("", status, count);
            if (on("stop") && status == 2)
                download.StopDownload();
            if ((on("nested") && status == 2) || (on("nested0") && status == 0)) {
                ByteArray none;
                ev.emplace_back("N", -1, nested.DownloadToBuffer(rowSite.Url("/b2048"), none));
                EXPECT_EQ(none.has_value(), on("nested0") != 0);
            }
        };
        nested.DownloadEvent = [&ev](int32_t s, int32_t n, int32_t) { ev.emplace_back("n", s, n); };
        if (on("stopfirst"))
            download.StopDownload();
        ByteArray buffer = kOld;
        const QString url = row.url.startsWith("http") ? row.url : rowSite.Url(row.url);
        FileSizeLimit(on("fsize") ? on("fsize") : RLIM_INFINITY);
        QElapsedTimer clock;
        clock.start();
        LoopGapMeter gaps;
        const int32_t result = row.target.isEmpty() ? download.DownloadToBuffer(url, buffer)
                                                    : download.DownloadToFile(url, target);
        const qint64 ms = clock.elapsed();
        QCoreApplication::processEvents(); // the gap up to the end of the download
        FileSizeLimit(RLIM_INFINITY);
        mInternet::SetConnectedStateForTests(true);
        cDownload::DelayConnectionsForTests(0);

        EXPECT_EQ(Summary(ev, QString(row.expect).contains("x*")) + " | " + std::to_string(result) +
                      " " + std::to_string(download.HttpStatus()) +
                      (download.Complete() ? " complete" : ""),
                  row.expect);
        EXPECT_LT(gaps.LongestMs(), 250) << "the event loop was not serviced";
        const ByteArray stored = row.target.isEmpty()         ? buffer
                                 : QFileInfo(target).isFile() ? ByteArray(ReadFile(target))
                                                              : std::nullopt;
        EXPECT_EQ(Digest(stored), Digest(row.after));
        EXPECT_TRUE(row.requests < 0 || rowSite.LogLines().size() == row.requests)
            << rowSite.LogLines().join('\n').toStdString();
        // The wait runs out on a millisecond clock: up to 1 ms short.
        EXPECT_TRUE(row.connTimeout <= 0 || row.connTimeout >= 3000 || ms >= row.connTimeout - 1);
        // Whatever the worker still holds must not reach or block the next download.
        ByteArray next;
        EXPECT_EQ(cDownload().DownloadToBuffer(site->Url("/b2049"), next), 2049);
        EXPECT_EQ(Digest(next), Digest(Served(2049)));
        clock.restart();
        while (mInternet::OpenRequests() > 0 && clock.elapsed() < 5000)
            QCoreApplication::processEvents();
        EXPECT_EQ(mInternet::OpenRequests(), 0) << "a connection nobody took up stays open";
    }
}

// The request as the site logs it: the user agent, and the URL as built with
// only what a request line cannot carry percent-encoded.
TEST_F(DownloadTest, RequestLine_UserAgentAndEncodedUrl)
{
    const QString rows[][4] = {
        {"/update/e.txt", "alice", "1316", "GET /update/e.txt Ksvro/1316 (alice)"},
        {"/k/?u=hidden user 01&s=a=b%41&t=\u00e9\x7f", "hidden user 01", "",
         "GET /k/?u=hidden%20user%2001&s=a=b%41&t=%C3%A9%7F Ksvro/0000 (hidden user 01)"},
        {"/svc\r\n/kvxta_user_ext_info/?u=x\ty", "bob", "1.2",
         "GET /svc%0D%0A/kvxta_user_ext_info/?u=x%09y Ksvro/1.2 (bob)"},
    };
    for (const auto& [path, user, version, logged] : rows) {
        Settings::Write(Settings::AppInfo, "UserName", user);
        Settings::Delete(Settings::AppInfo, "EditorVersion");
        if (!version.isEmpty())
            Settings::Write(Settings::AppInfo, "EditorVersion", version);
        ByteArray buffer;
        EXPECT_GT(cDownload().DownloadToBuffer(site->Url(path), buffer), 0) << logged.toStdString();
        EXPECT_EQ(site->LogLines().value(site->LogLines().size() - 1), logged);
    }
}

// Speed is bytes since the previous reading over the time between, here on a
// clock that advances 250 ms per reading.
uint32_t StepClock()
{
    static uint32_t now = 0;
    return now += 250;
}

TEST_F(DownloadTest, Speed_BytesPerSecondSinceThePreviousChunk)
{
    cDownload download(&StepClock);
    QString seen;
    download.DownloadEvent = [&](int32_t status, int32_t count, int32_t speed) {
        seen += QString("%1:%2@%3 ").arg(status).arg(count).arg(speed);
    };
    ByteArray buffer;
    ASSERT_EQ(download.DownloadToBuffer(site->Url("/b5000"), buffer), 5000);
    EXPECT_EQ(seen, "0:0@0 2:2048@8192 2:4096@8192 2:5000@3616 3:5000@3616 ");
}

} // namespace
