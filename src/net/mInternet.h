#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>
#include <optional>

// The internet module: the few operations the downloader and the probe need
// (connected state, open, open URL, read, close) over libcurl's multi
// interface. A URL handle belongs to one thread at a time: the thread that
// opens it until InternetOpenUrl returns, then whoever it is handed to.
namespace mInternet {

// Initialises libcurl once per process. The program's main and test mains call
// it before any thread starts; every other entry point calls it as well, so a
// forgotten call costs nothing but thread safety of the first use.
void InitInternet();

// True when the system reports a connection: an interface other than loopback
// is up and running, or the vendor's site itself is on this computer (a local
// site needs no network). Tests decide it with SetConnectedStateForTests.
bool InternetGetConnectedState();
// std::nullopt returns to asking the system.
void SetConnectedStateForTests(std::optional<bool> connected);

// Services the calling thread's event loop once (QCoreApplication::
// processEvents) when an application object exists.
void DoEvents();

struct Session;
struct Request;

// The root handle: the user agent every URL opened under it sends.
Session* InternetOpen(const QByteArray& userAgent);

// Opens url under root and returns once the final response's headers are in
// (redirects followed, at most 5, http and https only), or nullptr when the
// request failed before that or cancelled() returned true. Blocks: this is
// what runs on the worker thread. cancelled is asked between short polls.
// url is UTF-8 as built, unescaped; what a request line cannot carry (space,
// control characters, bytes above 0x7E) is percent-encoded on the way out.
// headers are sent as they are ("Range: bytes=10-"), on every request of a
// redirect chain.
Request* InternetOpenUrl(Session* root, const QByteArray& url,
                         const std::function<bool()>& cancelled = {},
                         const QList<QByteArray>& headers = {});

// Reads up to size bytes of the body. While nothing has arrived it waits in
// steps of a few milliseconds and services the event loop between them.
// Returns true with bytesRead > 0 for data, true with 0 at the clean end of
// the body, false when the transfer failed (connection lost, body shorter
// than announced, ...), no byte came for stallTimeoutMs milliseconds, or
// cancelled() returned true. cancelled is asked before every wait step and
// after every service of the event loop; a transfer given up stays given up.
bool InternetReadFile(Request* request, char* buffer, int32_t size, int32_t& bytesRead,
                      int32_t stallTimeoutMs, const std::function<bool()>& cancelled = {});

// The HTTP status of the final response; 0 when none was seen.
long HttpStatus(const Request* request);
// The body's length as the final response announced it; -1 when it did not.
int64_t ContentLength(const Request* request);
// The value of a header of the final response (name without the colon, any
// case), blanks around it removed; empty when the response had none.
QByteArray ResponseHeader(const Request* request, const QByteArray& name);

// URL handles opened and not yet closed in this process (tests check that a
// connection nobody took up was closed).
int OpenRequests();

// Closing a null handle does nothing.
void InternetCloseHandle(Request* request);
void InternetCloseHandle(Session* root);

} // namespace mInternet
