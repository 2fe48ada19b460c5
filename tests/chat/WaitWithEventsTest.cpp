#include "chat/WaitWithEvents.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace tovik {
namespace {

// Counts the events posted to it.
class EventCounter : public QObject {
public:
    int count = 0;
    bool event(QEvent* e) override {
        if (e->type() != QEvent::User) return QObject::event(e);
        ++count;
        return true;
    }
};

class WaitWithEventsTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApp(); }
    void TearDown() override { QCoreApplication::removePostedEvents(nullptr); }
};

TEST_F(WaitWithEventsTest, ZeroAndNegativeWaitsStillProcessPendingEvents) {
    for (int ms : {0, -1, -2147483647 - 1}) {
        EventCounter counter;
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
        QElapsedTimer clock;
        clock.start();
        WaitWithEvents(ms);
        EXPECT_EQ(2, counter.count) << ms;
        EXPECT_LT(clock.elapsed(), 1000) << ms;
    }
}

TEST_F(WaitWithEventsTest, ReturnsOnlyAfterTheTimeHasPassed) {
    for (int ms : {1, 30, 250}) {
        QElapsedTimer clock;
        clock.start();
        WaitWithEvents(ms);
        const qint64 elapsed = clock.elapsed();
        EXPECT_GE(elapsed, ms);
        EXPECT_LT(elapsed, ms + 2000);  // loose: the machine may be busy
    }
}

TEST_F(WaitWithEventsTest, EventsArrivingDuringTheWaitAreHandledInsideIt) {
    EventCounter counter;
    bool timerFired = false;
    qint64 firedAt = -1;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(50, [&] {
        timerFired = true;
        firedAt = clock.elapsed();
        QCoreApplication::postEvent(&counter, new QEvent(QEvent::User));
    });
    WaitWithEvents(300);
    EXPECT_TRUE(timerFired);
    EXPECT_LT(firedAt, 300);
    EXPECT_EQ(1, counter.count);
    EXPECT_GE(clock.elapsed(), 300);
}

TEST_F(WaitWithEventsTest, ANestedWaitRunsToItsEndBeforeTheOuterWaitReturns) {
    std::vector<std::string> order;
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(20, [&] {
        order.push_back("inner start");
        WaitWithEvents(400);
        order.push_back("inner end");
    });
    WaitWithEvents(100);
    order.push_back("outer end");
    EXPECT_EQ((std::vector<std::string>{"inner start", "inner end", "outer end"}), order);
    EXPECT_GE(clock.elapsed(), 420);
}

TEST_F(WaitWithEventsTest, AnOuterWaitEndsAsSoonAsItsOwnTimeIsUp) {
    // The outer wait's own deadline passes during the inner wait; it then ends
    // at once instead of waiting again.
    QElapsedTimer clock;
    clock.start();
    qint64 innerEnd = -1;
    QTimer::singleShot(10, [&] {
        WaitWithEvents(600);
        innerEnd = clock.elapsed();
    });
    WaitWithEvents(200);
    ASSERT_GE(innerEnd, 0);
    EXPECT_LT(clock.elapsed() - innerEnd, 150);  // not another 200 ms
}

}  // namespace
}  // namespace tovik
