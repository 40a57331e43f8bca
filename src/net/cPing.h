#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

// The connectivity probe: resolves a host and sends it one ICMP echo request
// with the payload "ECHO_MSG", waiting for the answer in steps of at most
// 10 ms while the event loop keeps running. Holds no socket between calls.
class cPing
{
public:
    // Outcomes of Ping.
    enum Outcome : int32_t
    {
        Answered = 0,    // the request completed (a reply or an error report came)
        TimedOut = -1,   // nothing within PingTimeout
        WaitFailed = -2, // waiting for the socket failed
    };

    static constexpr int32_t kDefaultPingTimeout = 800;

    int32_t PingTimeout() const { return pingTimeout_; }
    void PingTimeout(int32_t value) { pingTimeout_ = value; }

    // Whether the system reports an internet connection (as the downloader).
    bool IsConnected() const;

    // Normalises host (a "www." or "http://" name becomes its dotted address,
    // which the caller's variable receives), sends one echo request and waits
    // for it. PingReturn is raised exactly once, before the return, with
    // success true and a round-trip time of 0 whatever the outcome: they say
    // that the request was issued. When no ICMP socket can be opened (no
    // permission) nothing is sent and the wait runs into its time-out; nothing
    // is sent to the address 0 (a name that did not resolve) either.
    int32_t Ping(QString& host);

    // The first IPv4 address of the name as dotted text; empty when it does
    // not resolve. A name not beginning with "www." is normalised first.
    static QString GetIPFromHostName(const QString& sHostName);

    // Raised inside Ping: (ipAddress, successStatus, roundTripMilliseconds).
    std::function<void(QString& ipAddress, bool& successStatus, int32_t& roundTripMilliseconds)>
        PingReturn;

    // "http://name" (any letter case) becomes "www.name" unless the name
    // already starts with "www."; a text beginning neither with "www." nor
    // with "http" (a dotted address) comes back unchanged. With nameOnly false
    // a "www." or "http" name is resolved with GetIPFromHostName.
    static QString NormalizeHost(const QString& host, bool nameOnly);

    // Four dot-separated whole numbers give the address whose bytes in memory
    // are those numbers modulo 256, in order (network byte order); any other
    // text gives 0.
    static uint32_t AddressFromText(const QString& text);

    // Whether this process may open an ICMP socket (datagram or raw).
    static bool IcmpAvailable();
    // Makes every ICMP socket fail to open, as without permission.
    static void SetIcmpUnavailableForTests(bool unavailable);

private:
    int32_t pingTimeout_ = kDefaultPingTimeout;
};

// The echo request in flight: where it went and how its answer is recognised.
struct IcmpEchoRequest
{
    uint32_t address = 0; // network byte order
    uint16_t identifier = 0;
    uint16_t sequence = 0;
};

// Whether one message read from an ICMP socket answers the request: its echo
// reply, or an error report (unreachable, time exceeded) that quotes it. A raw
// socket's message begins with the IP header and from (the sender, network
// byte order) must be the address asked; a ping socket's message is the bare
// ICMP message, whose identifier the kernel rewrites, so only the sequence is
// compared there. Reads no byte past size.
bool IcmpMessageAnswers(const unsigned char* message, size_t size, uint32_t from,
                        const IcmpEchoRequest& request, bool raw);
