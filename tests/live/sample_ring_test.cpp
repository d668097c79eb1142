#include "sample_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace vocalume {
namespace {

TEST(SampleRing, DropsWholeWritesThatDoNotFitAndKeepsOrderAcrossTheEnd)
{
    SampleRing ring(6);  // rounded up to 8
    ASSERT_EQ(ring.Capacity(), 8u);
    const int16_t a[5] = {1, 2, 3, 4, 5};
    const int16_t b[4] = {6, 7, 8, 9};
    EXPECT_TRUE(ring.Write(a, 5));
    EXPECT_FALSE(ring.Write(b, 4));  // 5 + 4 > 8: none of it goes in
    EXPECT_EQ(ring.Dropped(), 4u);
    int16_t out[8] = {};
    EXPECT_EQ(ring.Read(out, 3), 3u);
    EXPECT_TRUE(ring.Write(b, 4));  // wraps round the end of the storage
    EXPECT_EQ(ring.Available(), 6u);
    EXPECT_EQ(ring.Read(out, 8), 6u);
    EXPECT_EQ(std::vector<int16_t>(out, out + 6), (std::vector<int16_t>{4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(ring.Read(out, 8), 0u);
}

// A writer that retries what did not fit and a reader that takes odd amounts:
// every sample arrives once, in order, through many laps of a small ring.
TEST(SampleRingThreads, CarriesEverySampleInOrderBetweenTwoThreads)
{
    SampleRing ring(64);
    constexpr int32_t kTotal = 200000;
    std::atomic<bool> writerDone{false};
    std::thread writer([&] {
        int16_t chunk[7];
        int32_t next = 0;
        while (next < kTotal) {
            const int32_t n = std::min<int32_t>(7, kTotal - next);
            for (int32_t i = 0; i < n; ++i)
                chunk[i] = static_cast<int16_t>((next + i) % 32749);
            if (ring.Write(chunk, static_cast<size_t>(n)))
                next += n;
            else
                std::this_thread::yield();
        }
        writerDone.store(true);
    });
    int32_t expected = 0;
    bool inOrder = true;
    int16_t out[13];
    while (expected < kTotal) {
        const size_t got = ring.Read(out, 13);
        for (size_t i = 0; i < got; ++i)
            inOrder = inOrder && out[i] == static_cast<int16_t>((expected++) % 32749);
        if (got == 0) {
            if (writerDone.load() && ring.Available() == 0)
                break;  // samples went missing: fail below instead of waiting
            std::this_thread::yield();
        }
    }
    writer.join();
    EXPECT_TRUE(inOrder) << "sample " << expected - 1 << " out of order";
    EXPECT_EQ(expected, kTotal);
}

}  // namespace
}  // namespace vocalume
