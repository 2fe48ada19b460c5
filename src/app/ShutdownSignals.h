#pragma once
// Turns the signals that end a desktop program (SIGTERM at shutdown and from
// a session manager, SIGHUP when its terminal closes, SIGINT from Ctrl+C)
// into a Qt signal on the GUI thread, so that the program can save what it
// holds before it quits. The handler only writes the signal's number into a
// socket pair; everything else happens in the event loop.

#include <QObject>

class QSocketNotifier;

namespace tovik {

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; one instance at a time. The destructor puts the
    // previous handlers back.
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void Received(int signalNumber);

private:
    void Read();
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tovik
