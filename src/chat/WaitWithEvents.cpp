#include "chat/WaitWithEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <thread>

namespace tovik {

void WaitWithEvents(std::int32_t ms) {
    QElapsedTimer clock;  // monotonic, so clock changes and wrap-around do not matter
    clock.start();
    const qint64 deadlineNs = static_cast<qint64>(ms) * 1000000;

    // Whatever is pending runs at least once, even for a zero wait.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (clock.nsecsElapsed() >= deadlineNs) return;

    if (QCoreApplication::instance() == nullptr) {
        // No event loop to serve: there is nothing to do but sleep.
        std::this_thread::sleep_for(std::chrono::nanoseconds(deadlineNs - clock.nsecsElapsed()));
        return;
    }

    // Sleep in the event loop until an event arrives or the timer wakes it at
    // the deadline. Handlers that run here may wait themselves (a nested
    // reply); this loop then simply finds its own time used up afterwards.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (qint64 left = deadlineNs - clock.nsecsElapsed(); left > 0; left = deadlineNs - clock.nsecsElapsed()) {
        const qint64 leftMs = (left + 999999) / 1000000;
        wake.start(static_cast<int>(leftMs));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace tovik
