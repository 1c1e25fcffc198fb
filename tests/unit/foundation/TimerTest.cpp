#include "platform/os/Clock.h"
#include "render/DXTimer.h"
#include "toolkit/Application.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A frame timer on an injected clock, with the application forced active.
class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        os::SetClockForTesting([this] { return now_; });
        Application->SetActive(true);
        timer_.OnTimer = [this](TCustomDXTimer*, std::int32_t lag) { ticks_.push_back(lag); };
        timer_.SetInterval(10);
    }
    void TearDown() override {
        timer_.SetEnabled(false);
        os::SetClockForTesting(nullptr);
        Application->SetActive(true);
    }
    // One idle pass at the given clock reading.
    bool IdleAt(std::uint32_t now) {
        now_ = now;
        bool done = true;
        timer_.AppOnIdle(done);
        return done;
    }
    void Start(std::uint32_t at) {
        now_ = at;
        timer_.SetEnabled(false);
        timer_.SetEnabled(true);
    }

    std::uint32_t now_ = 1000;
    TDXTimer timer_;
    std::vector<std::int32_t> ticks_;
};

TEST_F(TimerTest, TicksAtMostOncePerIntervalWithTheLagCount) {
    Start(1000);
    EXPECT_TRUE(Application->HasIdleHandler());
    EXPECT_FALSE(IdleAt(1009));  // the routine always asks to be called again
    EXPECT_TRUE(ticks_.empty());
    IdleAt(1035);
    ASSERT_EQ(ticks_, (std::vector<std::int32_t>{3}));
    IdleAt(1044);  // measured from the previous tick, not accumulated
    IdleAt(1045);
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{3, 1}));
}

TEST_F(TimerTest, IntervalZeroTicksOnEveryPassAndNegativeIsClamped) {
    timer_.SetInterval(0);
    Start(500);
    IdleAt(500);
    IdleAt(507);
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{1, 7}));
    timer_.SetInterval(-5);
    EXPECT_EQ(timer_.Interval(), 0);
    EXPECT_EQ(timer_.TickDivisor(), 1);
}

TEST_F(TimerTest, ClockWrapGivesTheRightElapsedTime) {
    Start(0xFFFFFFF0u);
    IdleAt(0x00000004u);  // 20 ms later, across the wrap
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{2}));
}

TEST_F(TimerTest, DisableEnableResetsTheLastTickButSameValueDoesNothing) {
    Start(1000);
    now_ = 1500;
    timer_.SetEnabled(true);  // unchanged: no restart
    EXPECT_EQ(timer_.LastTick(), 1000u);
    timer_.SetEnabled(false);
    EXPECT_FALSE(Application->HasIdleHandler());
    EXPECT_FALSE(timer_.Armed());
    timer_.SetEnabled(true);
    EXPECT_EQ(timer_.LastTick(), 1500u);
    IdleAt(1509);
    EXPECT_TRUE(ticks_.empty());
    IdleAt(1510);
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{1}));
}

TEST_F(TimerTest, ActiveOnlyPausesWhileInactiveAndResumesAfterAnInterval) {
    Application->SetActive(false);
    Start(1000);
    EXPECT_TRUE(timer_.Armed());
    EXPECT_FALSE(Application->HasIdleHandler());
    now_ = 5000;
    Application->SetActive(true);  // attaching resets the last tick
    EXPECT_TRUE(Application->HasIdleHandler());
    IdleAt(5009);
    EXPECT_TRUE(ticks_.empty());
    IdleAt(5010);
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{1}));  // inactive time not counted

    Application->SetActive(false);
    EXPECT_FALSE(Application->HasIdleHandler());
    EXPECT_TRUE(timer_.Enabled());
    EXPECT_TRUE(timer_.Armed());

    // Switching ActiveOnly off while paused attaches nothing, and activation no
    // longer attaches either: only a restart does.
    timer_.SetActiveOnly(false);
    Application->SetActive(true);
    EXPECT_FALSE(Application->HasIdleHandler());
    timer_.SetEnabled(false);
    timer_.SetEnabled(true);
    Application->SetActive(false);
    EXPECT_TRUE(Application->HasIdleHandler());  // no longer paused by deactivation
}

TEST_F(TimerTest, LoadingDefersTheStartUntilLoaded) {
    TDXTimer loaded;
    loaded.BeginLoading();
    loaded.SetEnabled(false);
    loaded.SetEnabled(true);
    EXPECT_FALSE(loaded.Armed());
    loaded.EndLoading();
    EXPECT_TRUE(loaded.Armed());
    loaded.SetEnabled(false);
}

TEST_F(TimerTest, MaxLagRecordsTheLargestLagWithoutBoundingIt) {
    timer_.SetMaxLag(10);
    Start(0);
    IdleAt(250);
    EXPECT_EQ(ticks_, (std::vector<std::int32_t>{25}));
    EXPECT_EQ(timer_.MaxLag(), 25);
}

// The real loop: the idle step must run the timer without a busy loop.
TEST(TimerLoop, TicksFromTheEventLoopAtTheInterval) {
    Application->SetActive(true);
    TDXTimer timer;
    timer.SetInterval(10);
    int ticks = 0;
    timer.OnTimer = [&](TCustomDXTimer*, std::int32_t) {
        if (++ticks == 5) QCoreApplication::exit(0);
    };
    timer.SetEnabled(false);  // a new timer reads enabled but has not started
    timer.SetEnabled(true);
    std::uint32_t start = os::timeGetTime();
    QTimer::singleShot(2000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_GE(os::timeGetTime() - start, 40u);
    timer.SetEnabled(false);
}

}  // namespace
