// The downloader against the real local vendor site: one table of situations
// (site fault, URL, target, what the event handler does) -> events, result,
// HTTP status, completeness, requests and what the buffer or file holds.

#include "net/cDownload.h"

#include "net/cThread.h"
#include "net/mInternet.h"
#include "startup/Settings.h"
#include "support/LocalSite.h"
#include "support/LoopGapMeter.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

using Events = std::vector<std::tuple<std::string, int32_t, int32_t>>;
const QByteArray kOld("old");
uint32_t now = 0; // a stepping clock for the speed meter

QByteArray Body(int size, qsizetype n = -1)
{
    return PseudoRandomBytes(size, size).left(n < 0 ? size : n);
}

QString Digest(const ByteArray& bytes) // size and SHA-1, or "none"
{
    const auto sha1 = [&] { return QCryptographicHash::hash(*bytes, QCryptographicHash::Sha1); };
    return bytes ? QString::number(bytes->size()) + " " + sha1().toHex() : "none";
}

void FileSizeLimit(rlim_t bytes)
{
    const rlimit limit{bytes, RLIM_INFINITY};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
}

// Events as "0:0 2x3:5000 3:5000": a run of chunk events is 2xRUN:LAST ("x*"
// where the run's length may vary); "n" marks a nested download's events,
// "N:r" its result.
std::string Summary(const Events& ev, bool any)
{
    std::string out;
    for (size_t i = 0, run = 1; i < ev.size(); ++i, ++run) {
        const auto& [who, status, count] = ev[i];
        if (status == 2 && i + 1 < ev.size() &&
            ev[i + 1] == std::tuple(who, 2, std::get<2>(ev[i + 1])))
            continue;
        out += (out.empty() ? "" : " ") + who + (status < 0 ? "" : std::to_string(status)) +
               (status == 2 ? "x" + (any ? std::string("*") : std::to_string(run)) : "") + ":" +
               std::to_string(count);
        run = 0;
    }
    return out;
}

class DownloadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        signal(SIGXFSZ, SIG_IGN); // past the file-size limit a write fails instead
        for (int size : {0, 2048, 2049, 5000, 40000, 3145745})
            WriteFile(root.filePath(QString("b%1").arg(size)), Body(size));
        site = std::make_unique<LocalSite>(root.path());
        ASSERT_TRUE(site->IsRunning()) << site->Error().toStdString();
        mInternet::SetConnectedStateForTests(true);
    }
    QTemporaryDir root;
    std::unique_ptr<LocalSite> site;
};

// Situation: the URL (a path on the row's own site, or a whole URL), then
// "file" (into a file that holds "old"; "file:PATH" elsewhere in the work
// folder; else into a buffer that holds "old"), the site's faults ("/..."
// and "*..."), and switches of the test. Expected: events (see Summary) |
// result HttpStatus [complete] | requests the site saw.
TEST_F(DownloadTest, Situations_EventsResultAndWhatIsStored)
{
    const QByteArray p500 = "<html><head><title>500 Internal Server Error</title></head><body>"
                            "<h1>500 Internal Server Error</h1></body></html>\n";
    // clang-format off
    const struct
    {
        const char *situation, *expect;
        ByteArray after; // what the buffer or file holds afterwards; none: no file
    } rows[] = {
        {"/b5000", "0:0 2x3:5000 3:5000 | 5000 200 complete | 1", Body(5000)},
        {"/b3145745 file", "0:0 2x*:3145745 3:3145745 | 3145745 200 complete | 1", Body(3145745)},
        {"/b2048 file", "0:0 2x1:2048 3:2048 | 2048 200 complete | 1", Body(2048)},
        {"/b0 file", "0:0 3:0 | 0 200 complete | 1", QByteArray("")},
        {"/b0", "0:0 3:0 | 0 200 complete | 1", kOld},
        {"/b5000 file *=status:500", "0:0 2x1:114 3:114 | 114 500 complete | 1", p500},
        {"/b5000 file /=truncate:100", "0:0 2x1:100 3:100 | 100 200 | 1", Body(5000, 100)},
        {"/b5000 /=drip:1", "0:0 2x1:1 3:1 | 1 200 | 1", Body(5000, 1)}, // stalled: given up
        {"/b5000 file /=stall:100", "0:0 2x1:100 3:100 | 100 200 | 1", Body(5000, 100)},
        {"/b5000 file offline", "1:0 | 0 0 | 0", kOld},
        {"/b5000 file *=hang wait:300", "0:0 4:0 | 0 0 | 1", kOld},
        {"http://127.0.0.1:1/ wait:300", "0:0 4:0 | 0 0 | 0", kOld}, // refused
        {"http://127.0.0.1:1/ wait:-1", "0:0 4:0 | 0 0 | 0", kOld},
        {"/b5000 /=delay:400 wait:100", "0:0 4:0 | 0 0 | 1", kOld},
        {"/b5000 late wait:100", "0:0 4:0 | 0 0 | 1", kOld}, // opened after the caller gave up
        {"/b5000 nothread wait:300", "0:0 4:0 | 0 0 | 0", kOld},
        {"/r1 redirects:5", "0:0 2x3:5000 3:5000 | 5000 200 complete | 6", Body(5000)},
        {"/r1 redirects:6", "0:0 3:0 | 0 302 | 6", kOld},
        {"/f /f=redirect:file:///etc/hostname wait:300", "0:0 4:0 | 0 0 | 1", kOld},
        {"/b5000 file:no/", "0:0 4:0 | 0 200 | 1", std::nullopt},
        {"/b5000 file folder", "0:0 4:0 | 0 200 | 1", std::nullopt},
        // Writes are gathered: a full disk fails the write that flushes them,
        // in the body or at its end.
        {"/b3145745 file fsize:3000", "0:0 2x127:260096 4:0 | 260096 200 | 1", Body(3145745, 3000)},
        {"/b40000 file fsize:3000", "0:0 2x20:40000 4:0 | 40000 200 | 1", Body(40000, 3000)},
        {"/b40000 file fsize:39900", "0:0 2x20:40000 4:0 | 40000 200 | 1", Body(40000, 39900)},
        {"/b2049 count:2147481598", "0:0 2x2:2147483647 3:2147483647 | 2147483647 200 complete | 1",
         Body(2049)},
        {"/b2049 count:2147481599", "0:0 2x1:2147483647 4:0 | 2147483647 200 | 1", Body(2049, 2048)},
        {"/b3145745 file stop", "0:0 2x1:2048 3:2048 | 2048 200 | 1", Body(3145745, 2048)},
        {"/b5000 stopfirst", "0:0 2x3:5000 3:5000 | 5000 200 complete | 1", Body(5000)},
        {"/b5000 file *=hang cancelwait", "0:0 4:0 | 0 0 | 1", kOld}, // abandoned at once
        {"/b40000 file /=stall:3000 read:9000 cancelwait", "0:0 2x2:3000 3:3000 | 3000 200 | 1",
         Body(40000, 3000)}, // a stop reaches the read that waits
        {"/b5000 /=chunked:1000000", "0:0 2x3:5000 3:5000 | 5000 200 complete | 1", Body(5000)},
        {"/b5000 file quiet", " | 5000 200 complete | 1", Body(5000)},
        {"/b5000 nested", // a second download from a chunk event: 0 at once, no events
         "0:0 2x1:2048 N:0 2x1:4096 N:0 2x1:5000 N:0 3:5000 | 5000 200 complete | 1", Body(5000)},
        {"/b2049 nested0", // one from the connect event runs whole
         "0:0 n0:0 n2x1:2048 n3:2048 N:2048 2x2:2049 3:2049 | 2049 200 complete | 2", Body(2049)},
    };
    // clang-format on
    for (const auto& [situation, expect, after] : rows) {
        SCOPED_TRACE(situation);
        const QStringList setup = QString(situation).split(' ');
        const auto on = [&setup](const QString& key) -> qint64 { // "key" 1, "key:N" N, absent 0
            const QStringList hit = setup.filter(QRegularExpression("^" + key + "(:|$)"));
            return hit.isEmpty() ? 0 : hit[0] == key ? 1 : hit[0].mid(key.size() + 1).toLongLong();
        };
        QStringList faults = setup.filter(QRegularExpression("^[/*].*="));
        for (int i = 1, n = int(on("redirects")); i <= n; ++i)
            faults << QString("/r%1=redirect:/%2")
                          .arg(i)
                          .arg(i < n ? QString("r%1").arg(i + 1) : "b5000");
        LocalSite rowSite(root.path(), faults);
        ASSERT_TRUE(rowSite.IsRunning()) << rowSite.Error().toStdString();
        QTemporaryDir work;
        const QStringList into = setup.filter(QRegularExpression("^file"));
        const QString target = into.isEmpty() ? "" : work.filePath(into[0].mid(5) + "t");
        if (!target.isEmpty())
            on("folder") ? QDir().mkpath(target) : WriteFile(target, kOld);
        mInternet::SetConnectedStateForTests(!on("offline"));
        if (on("nothread"))
            cThread::FailNextStartForTests();
        cDownload::DelayConnectionsForTests(on("late") ? 400 : 0);

        cDownload download, nested;
        Events ev;
        const auto wait = static_cast<int32_t>(on("wait") ? on("wait") : 3000);
        download.ConnTimeout(wait);
        download.ReadTimeout(on("read") ? static_cast<int32_t>(on("read")) : 500);
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
        if (on("cancelwait"))
            QTimer::singleShot(100, [&download] { download.StopDownload(); });
        ByteArray buffer = kOld;
        const QString url = setup[0].startsWith("http") ? setup[0] : rowSite.Url(setup[0]);
        FileSizeLimit(on("fsize") ? on("fsize") : RLIM_INFINITY);
        LoopGapMeter gaps;
        const int32_t result = target.isEmpty() ? download.DownloadToBuffer(url, buffer)
                                                : download.DownloadToFile(url, target);
        const qint64 ms = gaps.ElapsedMs();
        QCoreApplication::processEvents(); // the gap up to the end of the download
        FileSizeLimit(RLIM_INFINITY);
        mInternet::SetConnectedStateForTests(true);
        cDownload::DelayConnectionsForTests(0);

        EXPECT_EQ(QString::asprintf("%s | %d %ld%s | %lld",
                                    Summary(ev, strstr(expect, "x*")).c_str(), result,
                                    download.HttpStatus(), download.Complete() ? " complete" : "",
                                    static_cast<long long>(rowSite.LogLines().size())),
                  expect);
        EXPECT_LT(gaps.LongestMs(), 250) << "the event loop was not serviced";
        EXPECT_TRUE(!on("cancelwait") || ms < 1000) << ms;
        if (download.Complete() && result > 0) { // the length the site announced, if any
            EXPECT_EQ(download.ContentLength(), on("/=chunked") ? -1 : result - on("count"));
        }
        EXPECT_TRUE(wait <= 0 || wait >= 3000 || ms >= wait - 1); // a ms clock: up to 1 ms short
        const bool file = QFileInfo(target).isFile();
        EXPECT_EQ(Digest(target.isEmpty() ? buffer
                         : file           ? ReadFile(target)
                                          : ByteArray()),
                  Digest(after));
        // Whatever the worker still holds must not reach or block the next download.
        ByteArray next;
        EXPECT_EQ(cDownload().DownloadToBuffer(site->Url("/b2049"), next), 2049);
        EXPECT_EQ(Digest(next), Digest(Body(2049)));
        for (LoopGapMeter t; mInternet::OpenRequests() > 0 && t.ElapsedMs() < 5000;)
            QCoreApplication::processEvents();
        EXPECT_EQ(mInternet::OpenRequests(), 0) << "a connection nobody took up stays open";
    }
}

// The request as the site logs it: the user agent, and the URL as built with
// only what a request line cannot carry percent-encoded. Speed is bytes since
// the previous reading over the time between, here on a stepping clock.
TEST_F(DownloadTest, Request_UserAgentEncodedUrlAndSpeed)
{
    const QString rows[][4] = {
        {"/k/?u=hidden user 01&s=a=b%41&t=\u00e9\x7f", "hidden user 01", "",
         "GET /k/?u=hidden%20user%2001&s=a=b%41&t=%C3%A9%7F Ksvro/0000 (hidden user 01)"},
        {"/svc\r\n/kvxta_user_ext_info/?u=x\ty", "bob", "1.2",
         "GET /svc%0D%0A/kvxta_user_ext_info/?u=x%09y Ksvro/1.2 (bob)"},
        {"/k/?u=studio#2 50%off+ 佳能%4", "bob", "1.2",
         "GET /k/?u=studio%232%2050%25off%2B%20%E4%BD%B3%E8%83%BD%254 Ksvro/1.2 (bob)"},
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
    cDownload download([] { return now += 250; }); // 250 ms on per reading
    QString seen;
    download.DownloadEvent = [&](int32_t status, int32_t count, int32_t speed) {
        seen += QString("%1:%2@%3 ").arg(status).arg(count).arg(speed);
    };
    ByteArray buffer;
    ASSERT_EQ(download.DownloadToBuffer(site->Url("/b5000"), buffer), 5000);
    EXPECT_EQ(seen, "0:0@0 2:2048@8192 2:4096@8192 2:5000@3616 3:5000@3616 ");
}

} // namespace
