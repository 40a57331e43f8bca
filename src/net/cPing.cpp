#include "cPing.h"

#include "cTimeCount.h"
#include "mInternet.h"

#include <QStringList>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr char kPayload[] = "ECHO_MSG"; // 8 bytes sent, without the terminator
constexpr int kPayloadSize = 8;
constexpr int kWaitStepMs = 10;

std::atomic<bool> icmpUnavailable{false};
std::atomic<uint16_t> nextSequence{1};

struct IcmpSocket
{
    int fd = -1;
    bool raw = false;

    IcmpSocket()
    {
        if (icmpUnavailable.load())
            return;
        // Unprivileged "ping" sockets first (net.ipv4.ping_group_range), then
        // a raw socket for processes with CAP_NET_RAW.
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd < 0) {
            fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
            raw = fd >= 0;
        }
    }
    ~IcmpSocket()
    {
        if (fd >= 0)
            ::close(fd);
    }
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;
};

uint16_t InternetChecksum(const unsigned char* data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2 != 0)
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

using EchoRequest = IcmpEchoRequest;

bool SendEcho(const IcmpSocket& socket, EchoRequest& request)
{
    unsigned char packet[8 + kPayloadSize] = {};
    request.identifier = static_cast<uint16_t>(::getpid());
    request.sequence = nextSequence.fetch_add(1);
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<unsigned char>(request.identifier >> 8);
    packet[5] = static_cast<unsigned char>(request.identifier);
    packet[6] = static_cast<unsigned char>(request.sequence >> 8);
    packet[7] = static_cast<unsigned char>(request.sequence);
    std::memcpy(packet + 8, kPayload, kPayloadSize);
    const uint16_t checksum = InternetChecksum(packet, sizeof packet);
    packet[2] = static_cast<unsigned char>(checksum >> 8);
    packet[3] = static_cast<unsigned char>(checksum);

    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = request.address;
    return ::sendto(socket.fd, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&target),
                    sizeof target) == static_cast<ssize_t>(sizeof packet);
}

// Whether an ICMP message answers the request: its echo reply, or an error
// report (unreachable, time exceeded) that quotes it. Kernel ping sockets
// rewrite the identifier and deliver only their own replies, so only the
// sequence is compared there.
bool Answers(const unsigned char* message, size_t size, const EchoRequest& request, bool raw)
{
    if (size < 8)
        return false;
    const auto sequenceOf = [](const unsigned char* icmp) {
        return static_cast<uint16_t>(icmp[6] << 8 | icmp[7]);
    };
    const auto identifierOf = [](const unsigned char* icmp) {
        return static_cast<uint16_t>(icmp[4] << 8 | icmp[5]);
    };
    if (message[0] == ICMP_ECHOREPLY)
        return sequenceOf(message) == request.sequence &&
               (!raw || identifierOf(message) == request.identifier);
    if (message[0] == ICMP_DEST_UNREACH || message[0] == ICMP_TIME_EXCEEDED) {
        // 8 bytes of header, then the quoted IP header and our echo header.
        if (size < 8 + 20)
            return false;
        const size_t quotedHeader = static_cast<size_t>(message[8] & 0x0F) * 4;
        if (size < 8 + quotedHeader + 8)
            return false;
        const unsigned char* quoted = message + 8 + quotedHeader;
        return quoted[0] == ICMP_ECHO && sequenceOf(quoted) == request.sequence;
    }
    return false;
}

// Reads every waiting message; true when one of them answers the request.
bool DrainAnswers(const IcmpSocket& socket, const EchoRequest& request)
{
    bool answered = false;
    unsigned char buffer[1500];
    for (;;) {
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(socket.fd, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0)
            return answered;
        answered = answered || IcmpMessageAnswers(buffer, static_cast<size_t>(got),
                                                  from.sin_addr.s_addr, request, socket.raw);
    }
}

enum class Wait
{
    Signalled,
    TimedOut,
    Failed
};

// Waits up to one step for the answer; without a request in flight the step
// simply passes.
Wait WaitStep(const IcmpSocket& socket, const EchoRequest* request)
{
    if (request == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
        return Wait::TimedOut;
    }
    pollfd entry{socket.fd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, kWaitStepMs);
    if (ready < 0)
        return errno == EINTR ? Wait::TimedOut : Wait::Failed;
    if (ready == 0)
        return Wait::TimedOut;
    if (entry.revents & POLLERR) {
        // An error report for a ping socket: the request has completed.
        char ignored[512];
        ::recv(socket.fd, ignored, sizeof ignored, MSG_ERRQUEUE | MSG_DONTWAIT);
        return Wait::Signalled;
    }
    if (entry.revents & POLLNVAL)
        return Wait::Failed;
    return DrainAnswers(socket, *request) ? Wait::Signalled : Wait::TimedOut;
}

bool IsWholeNumber(const QString& part)
{
    if (part.isEmpty() || part.size() > 9)
        return false;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

bool IcmpMessageAnswers(const unsigned char* message, size_t size, uint32_t from,
                        const IcmpEchoRequest& request, bool raw)
{
    if (raw) {
        // Raw sockets deliver the IP header too. A header shorter than the
        // minimum, or one that leaves no room for an ICMP header, is no answer:
        // the bytes after it were never received.
        if (size < 20)
            return false;
        const size_t ipHeader = static_cast<size_t>(message[0] & 0x0F) * 4;
        if (ipHeader < 20 || size < ipHeader + 8)
            return false;
        message += ipHeader;
        size -= ipHeader;
        if (message[0] == ICMP_ECHOREPLY && from != request.address)
            return false;
    }
    return Answers(message, size, request, raw);
}

bool cPing::IsConnected() const
{
    return mInternet::InternetGetConnectedState();
}

QString cPing::NormalizeHost(const QString& host, bool nameOnly)
{
    const QString a = host.left(4).trimmed().toLower();
    const QString b = host.left(11).trimmed().toLower();
    if (a != QLatin1String("www.") && a != QLatin1String("http"))
        return host;
    QString result = host;
    if (a == QLatin1String("http")) {
        result = host.mid(7).trimmed();
        if (b != QLatin1String("http://www."))
            result = QStringLiteral("www.") + result;
    }
    return nameOnly ? result : GetIPFromHostName(result);
}

QString cPing::GetIPFromHostName(const QString& sHostName)
{
    QString name = sHostName;
    if (name.left(4).trimmed().toLower() != QLatin1String("www."))
        name = NormalizeHost(name, true);
    if (name.isEmpty())
        return QString();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name.toLocal8Bit().constData(), nullptr, &hints, &found) != 0 ||
        found == nullptr) {
        return QString();
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const bool ok = ::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr;
    ::freeaddrinfo(found);
    return ok ? QString::fromLatin1(text) : QString();
}

uint32_t cPing::AddressFromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return 0;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) {
        if (!IsWholeNumber(parts.at(i)))
            return 0;
        bytes[i] = static_cast<unsigned char>(parts.at(i).toUInt() % 256);
    }
    uint32_t address = 0;
    std::memcpy(&address, bytes, sizeof address);
    return address;
}

bool cPing::IcmpAvailable()
{
    return IcmpSocket().fd >= 0;
}

void cPing::SetIcmpUnavailableForTests(bool unavailable)
{
    icmpUnavailable.store(unavailable);
}

int32_t cPing::Ping(QString& host)
{
    host = NormalizeHost(host, false);

    IcmpSocket socket;
    EchoRequest request;
    request.address = AddressFromText(host);
    const bool sent = socket.fd >= 0 && request.address != 0 && SendEcho(socket, request);

    int32_t outcome = Answered;
    const uint32_t start = GetTickCount();
    for (;;) {
        const Wait wait = WaitStep(socket, sent ? &request : nullptr);
        const uint32_t now = GetTickCount();
        mInternet::DoEvents();
        if (pingTimeout_ <= 0 || now - start >= static_cast<uint32_t>(pingTimeout_)) {
            outcome = TimedOut;
            break;
        }
        if (wait == Wait::Failed) {
            mInternet::DoEvents();
            outcome = WaitFailed;
            break;
        }
        if (wait == Wait::Signalled) {
            outcome = Answered;
            break;
        }
        mInternet::DoEvents();
    }

    bool success = true;
    int32_t roundTrip = 0;
    if (PingReturn)
        PingReturn(host, success, roundTrip);
    return outcome;
}
