// The line pacing: a busy line keeps its rate although the reader wakes late, and an idle
// line saves no time for the bytes that come later.
#include "tools/termsim/token_bucket.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using termsim::Clock;
using termsim::TokenBucket;

TEST(TokenBucket, LateReaderTakesWhatTheBusyLineCarriedUpToTheBucket) {
    const Clock::time_point t0{};
    TokenBucket line;
    line.Configure(1000.0, 40.0, t0);  // 1 byte per ms, 40 bytes of catch-up
    line.Take(line.Available(t0));
    EXPECT_EQ(0u, line.Available(t0));
    EXPECT_EQ(30u, line.Available(t0 + milliseconds(30)));  // woke 20 ms after a 10-byte need
    EXPECT_EQ(40u, line.Available(t0 + milliseconds(90)));  // never more than the bucket
    line.Take(25);
    EXPECT_EQ(t0 + milliseconds(90 + 5), line.ReadyAt(20));
}

TEST(TokenBucket, IdleLineSavesOneByteOnlyUntilBytesFlowAgain) {
    const Clock::time_point t0{};
    TokenBucket line;
    line.Configure(1000.0, 40.0, t0);
    line.Idle(t0);
    EXPECT_EQ(0u, line.Available(t0));
    EXPECT_EQ(1u, line.Available(t0 + milliseconds(500)));  // half a second idle, one byte
    line.Take(1);
    EXPECT_EQ(0u, line.Available(t0 + milliseconds(500)));
    EXPECT_EQ(12u, line.Available(t0 + milliseconds(512)));  // busy again: the rate resumes
}

TEST(TokenBucket, WithoutARateEverythingPassesAndIdleChangesNothing) {
    const Clock::time_point t0{};
    TokenBucket line;
    line.Configure(0.0, 40.0, t0);
    line.Idle(t0);
    EXPECT_FALSE(line.Enabled());
    EXPECT_EQ(static_cast<size_t>(-1), line.Available(t0));
}

}  // namespace
