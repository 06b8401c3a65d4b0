#include <gtest/gtest.h>

#include <string>

#include "platform/ExchangeLog.h"

using namespace ostrel;

namespace {

Exchange numbered(int n) {
    return {.url = "http://127.0.0.1/" + std::to_string(n),
            .bodyIn = std::string(static_cast<std::size_t>(n % 7) * 100, 'x')};
}

}  // namespace

// Once full, the ring overwrites its oldest; what is asked for by number is that exchange or nothing.
TEST(ExchangeLog, KeepsTheNewestInOrderAndForgetsOverwrittenNumbers) {
    int told = 0;
    ExchangeLog log(3);
    log.setListener([&told] { ++told; });
    EXPECT_FALSE(log.at(0));
    EXPECT_EQ(log.oldest(), 0u);
    for (int n = 0; n < 8; ++n) {
        Exchange exchange = numbered(n);
        log.exchanged(exchange);
    }

    EXPECT_EQ(told, 8);
    EXPECT_EQ(log.next(), 8u);
    EXPECT_EQ(log.oldest(), 5u);
    EXPECT_FALSE(log.at(4));
    EXPECT_FALSE(log.at(8));
    ASSERT_TRUE(log.at(6));
    EXPECT_EQ(log.at(6)->url, numbered(6).url);
    EXPECT_EQ(log.at(6)->bodyIn, numbered(6).bodyIn);

    std::string seen;
    EXPECT_EQ(log.visitFrom(2,
                            [&](std::uint64_t n, const Exchange& e) {
                                seen += std::to_string(n) + "=" + e.url.substr(e.url.rfind('/') + 1) + " ";
                            }),
              5u);
    EXPECT_EQ(seen, "5=5 6=6 7=7 ");
    const std::vector<Exchange> kept = log.kept();
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept.front().url, numbered(5).url);
    EXPECT_EQ(kept.back().bodyIn, numbered(7).bodyIn);
}
