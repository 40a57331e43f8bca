// The check of a message read from an ICMP socket against the echo request
// in flight. The first byte chooses the socket kind (bit 0: raw) and whether
// the sender is the address asked (bit 1); the rest is the message, copied to
// an allocation of exactly its size.

#include "FuzzSupport.h"
#include "net/cPing.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool raw = (data[0] & 1) != 0;
    IcmpEchoRequest request;
    request.address = 0x0100007F; // 127.0.0.1
    request.identifier = 0x1234;
    request.sequence = 0x0007;
    const uint32_t from = (data[0] & 2) != 0 ? request.address : 0x0200007F;

    const size_t length = size - 1;
    const auto message = std::make_unique<unsigned char[]>(length);
    std::copy(data + 1, data + size, message.get());
    const bool answers = IcmpMessageAnswers(message.get(), length, from, request, raw);

    // An answer always has a whole ICMP header after the IP header.
    if (answers)
        FUZZ_CHECK(length >= (raw ? 28u : 8u));
    return 0;
}
