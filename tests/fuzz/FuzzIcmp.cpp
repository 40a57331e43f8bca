// The check of a message read from an ICMP socket against the echo request in
// flight. The first byte chooses the socket kind (bit 0: raw) and whether the
// sender is the address asked (bit 1); the rest is the message.

#include "FuzzSupport.h"
#include "net/cPing.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const IcmpEchoRequest request{0x0100007F, 0x1234, 0x0007}; // 127.0.0.1
    const uint32_t from = (data[0] & 2) != 0 ? request.address : 0x0200007F;
    const std::vector<unsigned char> message(data + 1, data + size); // exactly sized
    // An answer always has a whole ICMP header after the IP header.
    const bool raw = (data[0] & 1) != 0;
    if (IcmpMessageAnswers(message.data(), message.size(), from, request, raw))
        FUZZ_CHECK(message.size() >= (raw ? 28u : 8u));
    return 0;
}
