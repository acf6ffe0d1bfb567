// Log lines about dropped packets stay few however many packets are dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ratelog.h"

namespace {

std::vector<std::string> lines;
void keep(const char* line) { lines.emplace_back(line); }

} // namespace

TEST(RateLog, AFloodBecomesAFewLinesASecondThatCountWhatWasHeldBack)
{
    net::setLogSink(keep);
    lines.clear();
    net::RateLog log(3);
    for (uint32_t ms = 0; ms < 2000; ms += 1)
        log.line(1000000 + ms, "dropped %u", ms);  // a thousand datagrams a second
    net::setLogSink(nullptr);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(log.written(), 6u);
    EXPECT_EQ(log.heldBack(), 1994u);
    EXPECT_EQ(lines[0], "dropped 0");
    EXPECT_EQ(lines[2], "dropped 2");
    EXPECT_EQ(lines[3], "dropped 1000 (997 similar lines held back)");
    // The clock wrapping does not silence it.
    lines.clear();
    net::setLogSink(keep);
    net::RateLog wrap(1);
    wrap.line(0xFFFFFF00u, "a");
    wrap.line(0x00000400u, "b");
    net::setLogSink(nullptr);
    EXPECT_EQ(lines.size(), 2u);
}
