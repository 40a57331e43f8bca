// serve: the vendor's web site on this computer, for tests and the demo, with
// faults that tests switch on per path.

#include "VendorCommands.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <httplib.h>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The only address the site ever binds: it must never be reachable from
// another computer.
constexpr char kHost[] = "127.0.0.1";
// Each hanging or dripping request holds a thread; tests open a few at once.
constexpr size_t kThreads = 32;
// Granularity of every wait, so that a stop request is seen quickly.
constexpr auto kStep = std::chrono::milliseconds(20);
constexpr size_t kFileChunk = 64 * 1024;

std::atomic<bool> stopping{false};
std::mutex logMutex;
// Requests seen per path, for the faults of a first or a later request.
std::mutex countMutex;
std::map<std::string, int> requestsByPath;

enum class Mode
{
    Hang,
    Close,
    Status,
    Truncate,
    Drip,
    Chunked, // dripped like Drip, without a Content-Length
    Delay,
    Redirect,
    Stall, // the first N bytes, then the connection held open without another byte
    // These three combine with each other and with one of the above.
    Drop,     // the first request of each path: N body bytes, then the connection drops
    Change,   // from the second request of a path on, another file's bytes are served
    NoRanges, // Range is ignored: always the whole file with 200
};

bool Combines(Mode mode)
{
    return mode == Mode::Drop || mode == Mode::Change || mode == Mode::NoRanges;
}

struct Fault
{
    std::string prefix; // "*" for every path
    Mode mode = Mode::Hang;
    long long argument = 0;
    std::string target; // of a redirect; the file of a change
};

struct Site
{
    QString root;
    std::vector<Fault> faults;
    int port = 0;
};

bool ParseFault(const QString& text, Fault& fault, QString& error)
{
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        error = QStringLiteral("fault \"%1\": expected PATH_PREFIX=MODE[:ARG]").arg(text);
        return false;
    }
    fault.prefix = text.left(equals).toStdString();
    const QString spec = text.mid(equals + 1);
    const QString mode = spec.section(QLatin1Char(':'), 0, 0);
    const QString argument = spec.section(QLatin1Char(':'), 1);
    struct Known
    {
        const char* name;
        Mode mode;
        bool needsArgument;
    };
    static const Known known[] = {
        {"hang", Mode::Hang, false},         {"close", Mode::Close, false},
        {"status", Mode::Status, true},      {"truncate", Mode::Truncate, true},
        {"drip", Mode::Drip, true},          {"chunked", Mode::Chunked, true},
        {"delay", Mode::Delay, true},        {"redirect", Mode::Redirect, true},
        {"stall", Mode::Stall, true},        {"drop", Mode::Drop, true},
        {"change", Mode::Change, true},      {"noranges", Mode::NoRanges, false},
    };
    for (const Known& k : known) {
        if (mode != QLatin1String(k.name))
            continue;
        fault.mode = k.mode;
        if (k.mode == Mode::Redirect || k.mode == Mode::Change) {
            fault.target = argument.toStdString();
            if (fault.target.empty()) {
                error = QStringLiteral("fault \"%1\": %2 needs a path").arg(text, mode);
                return false;
            }
        } else if (k.needsArgument) {
            bool ok = false;
            fault.argument = argument.toLongLong(&ok);
            if (!ok || fault.argument < 0 ||
                ((k.mode == Mode::Drip || k.mode == Mode::Chunked) && fault.argument == 0)) {
                error = QStringLiteral("fault \"%1\": %2 needs a number").arg(text, mode);
                return false;
            }
        } else if (!argument.isEmpty()) {
            error = QStringLiteral("fault \"%1\": %2 takes no argument").arg(text, mode);
            return false;
        }
        return true;
    }
    error = QStringLiteral("fault \"%1\": unknown mode \"%2\"").arg(text, mode);
    return false;
}

// The first matching fault of the kinds that do not combine, or of mode.
const Fault* FindFault(const Site& site, const std::string& path,
                       std::optional<Mode> mode = std::nullopt)
{
    for (const Fault& fault : site.faults) {
        if ((mode ? fault.mode == *mode : !Combines(fault.mode)) &&
            (fault.prefix == "*" || path.compare(0, fault.prefix.size(), fault.prefix) == 0))
            return &fault;
    }
    return nullptr;
}

// What identifies a file's bytes, as a strong validator: a new copy renamed
// into place (a new inode), a new length or a new modification time gives a
// new tag.
std::string EntityTag(const struct stat& info)
{
    char tag[80];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx\"",
                  static_cast<unsigned long long>(info.st_ino),
                  static_cast<unsigned long long>(info.st_size),
                  static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ULL +
                      static_cast<unsigned long long>(info.st_mtim.tv_nsec));
    return tag;
}

std::string HttpDate(time_t seconds)
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", days[utc.tm_wday],
                  utc.tm_mday, months[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min,
                  utc.tm_sec);
    return text;
}

// The first byte a "Range: bytes=FIRST-[LAST]" asks for, with LAST (or the
// end); false for no range or one this site does not serve (several, a
// suffix).
bool ParseRange(const std::string& header, size_t size, size_t& first, size_t& last)
{
    const std::string prefix = "bytes=";
    if (header.compare(0, prefix.size(), prefix) != 0 || header.find(',') != std::string::npos)
        return false;
    const size_t dash = header.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size())
        return false;
    try {
        first = std::stoull(header.substr(prefix.size(), dash - prefix.size()));
        const std::string tail = header.substr(dash + 1);
        last = tail.empty() ? (size > 0 ? size - 1 : 0) : std::stoull(tail);
    } catch (const std::exception&) {
        return false;
    }
    if (last >= size)
        last = size > 0 ? size - 1 : 0;
    return true;
}

// Sleeps up to ms milliseconds; false when the site is stopping.
bool Pause(long long ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopping.load())
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            kStep, end - std::chrono::steady_clock::now()));
    }
    return !stopping.load();
}

// Ends the connection of req without a word: the library offers no way to
// drop a connection from a handler, so its socket is found by the client's
// port and shut down; the library then fails to answer and closes it.
void DropConnection(const httplib::Request& req, int sitePort)
{
    for (int fd = 3; fd < 65536; ++fd) {
        sockaddr_in peer{};
        sockaddr_in local{};
        socklen_t peerSize = sizeof peer;
        socklen_t localSize = sizeof local;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
            if (errno == EBADF && fd > 1024)
                return;
            continue;
        }
        if (peer.sin_family != AF_INET || ntohs(peer.sin_port) != req.remote_port)
            continue;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            ntohs(local.sin_port) != sitePort) {
            continue;
        }
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
}

std::string ErrorPage(int code)
{
    const char* reason = "Error";
    switch (code) {
    case 400:
        reason = "Bad Request";
        break;
    case 403:
        reason = "Forbidden";
        break;
    case 404:
        reason = "Not Found";
        break;
    case 500:
        reason = "Internal Server Error";
        break;
    case 502:
        reason = "Bad Gateway";
        break;
    case 503:
        reason = "Service Unavailable";
        break;
    default:
        break;
    }
    return "<html><head><title>" + std::to_string(code) + " " + std::string(reason) +
           "</title></head><body><h1>" + std::to_string(code) + " " + reason +
           "</h1></body></html>\n";
}

// The file a request names, or empty text when there is none: a profile is
// chosen by the query key "u"; anything else is the path under the root.
QString ResolveFile(const Site& site, const httplib::Request& req)
{
    const QString path = QString::fromStdString(req.path);
    QString relative;
    if (path == QLatin1String("/kvxta_user_ext_info/") ||
        path == QLatin1String("/kvxta_user_ext_info")) {
        const QString user = QString::fromStdString(req.get_param_value("u"));
        if (user.isEmpty() || user.contains(QLatin1Char('/')) || user == QLatin1String("..") ||
            user == QLatin1String("."))
            return QString();
        relative = QStringLiteral("kvxta_user_ext_info/") + user;
    } else {
        relative = path.mid(1);
    }
    const QFileInfo info(QDir(site.root).filePath(relative));
    const QString rootPath = QFileInfo(site.root).canonicalFilePath() + QLatin1Char('/');
    if (!info.isFile() || !info.canonicalFilePath().startsWith(rootPath))
        return QString();
    return info.canonicalFilePath();
}

void Log(const httplib::Request& req)
{
    std::string ranges;
    for (const char* name : {"Range", "If-Range"})
        if (req.has_header(name))
            ranges += std::string(" | ") + name + ": " + req.get_header_value(name);
    std::lock_guard lock(logMutex);
    std::fprintf(stderr, "%s %s %s%s\n", req.method.c_str(), req.target.c_str(),
                 req.get_header_value("User-Agent").c_str(), ranges.c_str());
    std::fflush(stderr);
}

void Handle(const Site& site, const httplib::Request& req, httplib::Response& res)
{
    Log(req);
    // The library's own range support answers any Range, If-Range unread and
    // never with 416; the site answers ranges itself below.
    const_cast<httplib::Request&>(req).ranges.clear();
    int request = 0;
    {
        std::lock_guard lock(countMutex);
        request = ++requestsByPath[req.path];
    }
    const Fault* fault = FindFault(site, req.path);
    const Fault* drop = request == 1 ? FindFault(site, req.path, Mode::Drop) : nullptr;
    const Fault* change = request > 1 ? FindFault(site, req.path, Mode::Change) : nullptr;
    const bool ranges = FindFault(site, req.path, Mode::NoRanges) == nullptr;
    if (fault != nullptr) {
        switch (fault->mode) {
        case Mode::Hang:
            while (!stopping.load())
                std::this_thread::sleep_for(kStep);
            DropConnection(req, site.port);
            return;
        case Mode::Close:
            DropConnection(req, site.port);
            return;
        case Mode::Status:
            res.status = static_cast<int>(fault->argument);
            res.set_content(ErrorPage(res.status), "text/html");
            return;
        case Mode::Redirect:
            res.set_redirect(fault->target, 302);
            return;
        case Mode::Delay:
            if (!Pause(fault->argument)) {
                DropConnection(req, site.port);
                return;
            }
            break;
        case Mode::Truncate:
        case Mode::Drip:
        case Mode::Chunked:
        case Mode::Stall:
        case Mode::Drop:
        case Mode::Change:
        case Mode::NoRanges:
            break;
        }
    }

    const QString path = change != nullptr && !ResolveFile(site, req).isEmpty()
                             ? QString::fromStdString(change->target)
                             : ResolveFile(site, req);
    if (path.isEmpty()) {
        res.status = 404;
        res.set_content(ErrorPage(404), "text/html");
        return;
    }
    auto file = std::shared_ptr<std::FILE>(std::fopen(path.toLocal8Bit().constData(), "rb"),
                                           [](std::FILE* f) {
                                               if (f != nullptr)
                                                   std::fclose(f);
                                           });
    if (!file) {
        res.status = 403;
        res.set_content(ErrorPage(403), "text/html");
        return;
    }
    struct stat info
    {
    };
    if (::fstat(::fileno(file.get()), &info) != 0) {
        res.status = 403;
        res.set_content(ErrorPage(403), "text/html");
        return;
    }
    const auto whole = static_cast<size_t>(info.st_size);
    const std::string tag = EntityTag(info), modified = HttpDate(info.st_mtim.tv_sec);
    res.set_header("ETag", tag);
    res.set_header("Last-Modified", modified);
    // A range is served when If-Range, if sent, names this copy; a range
    // past the end gets 416. A dripped body without length has no ranges.
    size_t first = 0, last = 0;
    const bool chunked = fault != nullptr && fault->mode == Mode::Chunked;
    const std::string ifRange = req.get_header_value("If-Range");
    if (ranges && !chunked && ParseRange(req.get_header_value("Range"), whole, first, last) &&
        (ifRange.empty() || ifRange == tag || ifRange == modified)) {
        if (first >= whole) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(whole));
            return;
        }
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                            std::to_string(last) + "/" + std::to_string(whole));
    } else {
        first = 0;
        last = whole > 0 ? whole - 1 : 0;
    }
    const size_t size = whole > 0 ? last - first + 1 : 0;
    size_t limit = size;
    size_t piece = kFileChunk;
    long long pauseMs = 0;
    if (fault != nullptr && (fault->mode == Mode::Truncate || fault->mode == Mode::Stall))
        limit = std::min(size, static_cast<size_t>(fault->argument));
    const bool stall = fault != nullptr && fault->mode == Mode::Stall;
    if (drop != nullptr)
        limit = std::min(limit, static_cast<size_t>(drop->argument));
    if (fault != nullptr && (fault->mode == Mode::Drip || fault->mode == Mode::Chunked)) {
        // Twenty pieces a second, or one byte at a time for slower rates.
        const long long rate = fault->argument;
        piece = static_cast<size_t>(std::max(1LL, rate / 20));
        pauseMs = std::max(1LL, static_cast<long long>(piece) * 1000 / rate);
    }
    if (fault != nullptr && fault->mode == Mode::Chunked) {
        res.set_chunked_content_provider(
            "application/octet-stream",
            [file, size, piece, pauseMs](size_t offset, httplib::DataSink& sink) {
                if (stopping.load())
                    return false;
                if (offset >= size) {
                    sink.done();
                    return true;
                }
                if (offset > 0 && !Pause(pauseMs))
                    return false;
                std::vector<char> buffer(std::min(piece, size - offset));
                if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0)
                    return false;
                const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
                return got > 0 && sink.write(buffer.data(), got);
            });
        return;
    }
    res.set_content_provider(
        size, "application/octet-stream",
        [file, first, limit, piece, pauseMs, stall](size_t offset, size_t length,
                                                    httplib::DataSink& sink) {
            while (offset >= limit && stall && !stopping.load())
                std::this_thread::sleep_for(kStep); // held open until the site stops
            if (offset >= limit || stopping.load())
                return false; // the connection closes short of the announced length
            if (pauseMs > 0 && offset > 0 && !Pause(pauseMs))
                return false;
            std::vector<char> buffer(std::min({length, piece, limit - offset}));
            if (std::fseek(file.get(), static_cast<long>(first + offset), SEEK_SET) != 0)
                return false;
            const size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
            return got > 0 && sink.write(buffer.data(), got);
        });
}

} // namespace

int RunServe(const QStringList& args)
{
    Site site;
    bool havePort = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (i + 1 >= args.size())
            return Fail(QStringLiteral("%1 needs a value (see --help)").arg(arg));
        const QString value = args.at(++i);
        if (arg == QLatin1String("--root")) {
            site.root = value;
        } else if (arg == QLatin1String("--port")) {
            bool ok = false;
            site.port = value.toInt(&ok);
            if (!ok || site.port < 0 || site.port > 65535)
                return Fail(QStringLiteral("bad port \"%1\"").arg(value));
            havePort = true;
        } else if (arg == QLatin1String("--fault")) {
            Fault fault;
            QString error;
            if (!ParseFault(value, fault, error))
                return Fail(error);
            site.faults.push_back(fault);
        } else {
            return Fail(QStringLiteral("unknown option \"%1\" (see --help)").arg(arg));
        }
    }
    if (site.root.isEmpty() || !havePort)
        return Fail(QStringLiteral("serve needs --root DIR and --port P"));
    if (!QFileInfo(site.root).isDir())
        return Fail(QStringLiteral("%1: no such folder").arg(site.root));

    // Stop requests are taken by one thread with sigwait; every other thread
    // (the server's included) inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_keep_alive_max_count(1);
    // Every path, a line break in it included ("." stops at one).
    server.Get(R"([\s\S]*)", [&site](const httplib::Request& req, httplib::Response& res) {
        Handle(site, req, res);
    });
    const int requestedPort = site.port;
    if (site.port == 0)
        site.port = server.bind_to_any_port(kHost);
    else if (!server.bind_to_port(kHost, site.port))
        site.port = -1;
    if (site.port <= 0)
        return Fail(QStringLiteral("cannot listen on %1 port %2")
                        .arg(QLatin1String(kHost))
                        .arg(requestedPort));
    Out() << "port " << site.port << "\n";
    Out().flush();

    std::thread stopper([&server, &stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        stopping.store(true);
        server.stop();
    });
    server.listen_after_bind();
    if (!stopping.load())
        ::kill(::getpid(), SIGTERM); // ends the stopper's wait
    stopper.join();
    return 0;
}
