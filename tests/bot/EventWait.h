#pragma once
// Waiting for a condition while the event loop runs at full speed. The bot's
// reply timers and the test's sockets share this thread, so a wait that
// sleeps between polls would hold back the very replies a test measures;
// this one blocks only until the next event (or a 10 ms tick).

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QTimer>
#include <functional>

namespace tovik::test {

inline bool AwaitCondition(const std::function<bool()>& pred, int ms = 5000) {
    const QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(10);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

}  // namespace tovik::test
