// The packet decoder against arbitrary bytes: whatever arrives is one whole message or
// refused, and a message it accepts encodes back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "net/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    net::Message m;
    if (net::decode(data, size, m) != net::DecodeResult::Ok)
        return 0;
    uint8_t again[net::kMaxDatagram];
    size_t n = net::encode(m, again, sizeof again);
    if (n != size || std::memcmp(again, data, size) != 0)
        std::abort();
    return 0;
}
