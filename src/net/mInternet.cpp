#include "mInternet.h"

#include "VendorUrl.h"
#include "cTimeCount.h"

#include <QCoreApplication>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <curl/curl.h>
#include <ifaddrs.h>
#include <mutex>
#include <net/if.h>
#include <string_view>

namespace mInternet {

namespace {

// Browsers follow about 20; the vendor's site never chains more than one, so
// a short chain is plenty and a loop ends quickly.
constexpr long kMaxRedirects = 5;
// libcurl's receive buffer. Larger than the caller's 2048-byte reads so a
// fast body costs few system calls; the caller still sees 2048-byte chunks.
constexpr long kReceiveBufferSize = 128 * 1024;
// Unread body kept per transfer before libcurl is paused; resumed below half.
constexpr qsizetype kPauseAbove = 1024 * 1024;
constexpr qsizetype kResumeBelow = kPauseAbove / 2;
// Poll steps: short enough that the window never waits noticeably.
constexpr int kReadPollMs = 5;
constexpr int kOpenPollMs = 20;

std::atomic<int> connectedOverride{-1}; // -1 ask the system, 0 offline, 1 online
std::atomic<int> openRequests{0};

bool IsLoopbackHost(const QString& host)
{
    return host == QLatin1String("localhost") || host.startsWith(QLatin1String("127.")) ||
           host == QLatin1String("::1");
}

bool NonLoopbackInterfaceUp()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    bool up = false;
    for (ifaddrs* entry = list; entry != nullptr && !up; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr)
            continue;
        const int family = entry->ifa_addr->sa_family;
        const unsigned flags = entry->ifa_flags;
        up = (family == AF_INET || family == AF_INET6) && (flags & IFF_UP) &&
             (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return up;
}

} // namespace

struct Session
{
    QByteArray userAgent;
};

struct Request
{
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    // Body received and not yet read: pending[offset..].
    QByteArray pending;
    qsizetype offset = 0;
    bool paused = false;
    bool headersDone = false;
    bool finished = false;
    CURLcode result = CURLE_OK;
    long status = 0;
    int64_t contentLength = -1; // of the final response; -1 when not announced
    // Header lines of the response whose headers are arriving; after the
    // headers, those of the final response.
    QList<QByteArray> responseHeaders;
    curl_slist* requestHeaders = nullptr;
    // Bookkeeping of the response whose headers are arriving.
    long redirectsFollowed = 0;
    bool locationSeen = false;

    qsizetype Unread() const { return pending.size() - offset; }
};

namespace {

bool IsFollowedRedirect(long code)
{
    return code >= 300 && code < 400 && code != 304;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user)
{
    auto* request = static_cast<Request*>(user);
    const size_t length = size * count;
    const std::string_view line(data, length);
    if (line.substr(0, 5) == "HTTP/") {
        request->locationSeen = false;
        request->responseHeaders.clear();
    } else if (line.size() >= 9 && strncasecmp(line.data(), "location:", 9) == 0) {
        request->locationSeen = true;
    } else if (line == "\r\n" || line == "\n") {
        long code = 0;
        curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 100 && code < 200)
            return length; // interim answer; the real one follows
        if (IsFollowedRedirect(code) && request->locationSeen &&
            request->redirectsFollowed < kMaxRedirects) {
            ++request->redirectsFollowed;
            return length;
        }
        request->status = code;
        curl_off_t length = -1;
        if (curl_easy_getinfo(request->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) ==
            CURLE_OK)
            request->contentLength = length;
        request->headersDone = true;
    } else if (!request->headersDone) {
        request->responseHeaders.append(QByteArray(data, static_cast<qsizetype>(length)));
    }
    return length;
}

size_t OnBody(char* data, size_t size, size_t count, void* user)
{
    auto* request = static_cast<Request*>(user);
    const size_t length = size * count;
    if (request->Unread() >= kPauseAbove) {
        request->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (request->offset > 0 && request->offset >= request->pending.size() / 2) {
        request->pending.remove(0, request->offset);
        request->offset = 0;
    }
    request->pending.append(data, static_cast<qsizetype>(length));
    request->headersDone = true;
    return length;
}

// What goes on the wire: the URL as built, with every byte that cannot stand
// as itself in a request target percent-encoded, so that the server decodes
// exactly the text the URL was built from. libcurl refuses spaces and
// control characters outright, a line break must never split the request,
// and a '#' would end the target there (the rest, a fragment, is never
// sent). '+' is encoded as well: a query decoder reads it as a space. '&',
// '=' and a '%' that starts an escape stay as they are: the query is the
// caller's and the server reads it as written.
QByteArray RequestLineUrl(const QByteArray& url)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto isHex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
    QByteArray wire;
    wire.reserve(url.size());
    for (qsizetype i = 0; i < url.size(); ++i) {
        const char c = url[i];
        const auto byte = static_cast<unsigned char>(c);
        const bool escape =
            c == '%' && i + 2 < url.size() && isHex(url[i + 1]) && isHex(url[i + 2]);
        if (escape || (byte > 0x20 && byte < 0x7F && !std::strchr("\"#%+<>\\^`{|}", c)))
            wire.append(c);
        else
            wire.append('%').append(kHex[byte >> 4]).append(kHex[byte & 0xF]);
    }
    return wire;
}

void CollectResult(Request* request)
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(request->multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == request->easy) {
            request->finished = true;
            request->result = message->data.result;
            if (request->status == 0)
                curl_easy_getinfo(request->easy, CURLINFO_RESPONSE_CODE, &request->status);
        }
    }
}

void Drive(Request* request)
{
    int running = 0;
    if (curl_multi_perform(request->multi, &running) != CURLM_OK) {
        request->finished = true;
        request->result = CURLE_FAILED_INIT;
        return;
    }
    CollectResult(request);
}

void Resume(Request* request)
{
    if (!request->paused)
        return;
    request->paused = false;
    // May call OnBody at once, which may pause again.
    curl_easy_pause(request->easy, CURLPAUSE_CONT);
}

} // namespace

void InitInternet()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool InternetGetConnectedState()
{
    const int forced = connectedOverride.load();
    if (forced >= 0)
        return forced == 1;
    return IsLoopbackHost(VendorHost()) || NonLoopbackInterfaceUp();
}

void SetConnectedStateForTests(std::optional<bool> connected)
{
    connectedOverride.store(connected ? (*connected ? 1 : 0) : -1);
}

void DoEvents()
{
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents();
}

Session* InternetOpen(const QByteArray& userAgent)
{
    InitInternet();
    return new Session{userAgent};
}

Request* InternetOpenUrl(Session* root, const QByteArray& url,
                         const std::function<bool()>& cancelled, const QList<QByteArray>& headers)
{
    if (root == nullptr)
        return nullptr;
    InitInternet();
    auto* request = new Request;
    openRequests.fetch_add(1);
    request->multi = curl_multi_init();
    request->easy = curl_easy_init();
    if (request->multi == nullptr || request->easy == nullptr) {
        InternetCloseHandle(request);
        return nullptr;
    }
    CURL* easy = request->easy;
    const QByteArray wire = RequestLineUrl(url);
    curl_easy_setopt(easy, CURLOPT_URL, wire.constData());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, root->userAgent.constData());
    // Threads and signals do not mix: name resolution must not use alarms.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, request);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, request);
    for (const QByteArray& header : headers)
        request->requestHeaders = curl_slist_append(request->requestHeaders, header.constData());
    if (request->requestHeaders != nullptr)
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, request->requestHeaders);
    if (curl_multi_add_handle(request->multi, easy) != CURLM_OK) {
        InternetCloseHandle(request);
        return nullptr;
    }
    while (!request->headersDone && !request->finished) {
        if (cancelled && cancelled()) {
            InternetCloseHandle(request);
            return nullptr;
        }
        Drive(request);
        if (request->headersDone || request->finished)
            break;
        curl_multi_poll(request->multi, nullptr, 0, kOpenPollMs, nullptr);
    }
    // A transfer that failed before its headers were in opened nothing; one
    // that failed later (a cut-off body) is open, and its reads report it.
    if (!request->headersDone && request->result != CURLE_OK) {
        InternetCloseHandle(request);
        return nullptr;
    }
    return request;
}

bool InternetReadFile(Request* request, char* buffer, int32_t size, int32_t& bytesRead,
                      int32_t stallTimeoutMs, const std::function<bool()>& cancelled)
{
    bytesRead = 0;
    if (request == nullptr || buffer == nullptr || size <= 0)
        return false;
    // A stop asked for while the body waits (the user's cancel, serviced in
    // DoEvents below) ends the read at once, even on a line that went silent.
    const auto giveUp = [request](CURLcode why) {
        request->finished = true;
        request->result = why;
        return false;
    };
    const uint32_t waitStart = GetTickCount();
    for (;;) {
        const qsizetype unread = request->Unread();
        if (unread > 0) {
            const auto n = static_cast<int32_t>(std::min<qsizetype>(unread, size));
            std::memcpy(buffer, request->pending.constData() + request->offset,
                        static_cast<size_t>(n));
            request->offset += n;
            if (request->offset == request->pending.size()) {
                request->pending.resize(0);
                request->offset = 0;
            }
            if (request->Unread() < kResumeBelow)
                Resume(request);
            bytesRead = n;
            return true;
        }
        if (request->finished)
            return request->result == CURLE_OK;
        if (cancelled && cancelled())
            return giveUp(CURLE_ABORTED_BY_CALLBACK);
        Resume(request);
        Drive(request);
        if (request->Unread() > 0 || request->finished)
            continue;
        // The server went silent: give the transfer up for good.
        if (GetTickCount() - waitStart >= static_cast<uint32_t>(std::max(stallTimeoutMs, 0)))
            return giveUp(CURLE_OPERATION_TIMEDOUT);
        curl_multi_poll(request->multi, nullptr, 0, kReadPollMs, nullptr);
        DoEvents();
        if (cancelled && cancelled())
            return giveUp(CURLE_ABORTED_BY_CALLBACK);
    }
}

int OpenRequests()
{
    return openRequests.load();
}

long HttpStatus(const Request* request)
{
    return request == nullptr ? 0 : request->status;
}

int64_t ContentLength(const Request* request)
{
    return request == nullptr ? -1 : request->contentLength;
}

QByteArray ResponseHeader(const Request* request, const QByteArray& name)
{
    if (request == nullptr)
        return {};
    for (const QByteArray& line : request->responseHeaders) {
        const qsizetype colon = line.indexOf(':');
        if (colon == name.size() && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void InternetCloseHandle(Request* request)
{
    if (request == nullptr)
        return;
    if (request->multi != nullptr && request->easy != nullptr)
        curl_multi_remove_handle(request->multi, request->easy);
    if (request->easy != nullptr)
        curl_easy_cleanup(request->easy);
    if (request->multi != nullptr)
        curl_multi_cleanup(request->multi);
    curl_slist_free_all(request->requestHeaders);
    delete request;
    openRequests.fetch_sub(1);
}

void InternetCloseHandle(Session* root)
{
    delete root;
}

} // namespace mInternet
