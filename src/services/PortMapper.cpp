#include "services/PortMapper.h"

#include <QThread>
#include <algorithm>

#include "text/Literal.h"

namespace tovik {

using namespace literals;

PortMapper::PortMapper(std::unique_ptr<RouterProtocol> protocol, QObject* parent)
    : QObject(parent), thread_(new QThread), worker_(new detail::PortMapperWorker(std::move(protocol))) {
    worker_->moveToThread(thread_);
    QObject::connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &detail::PortMapperWorker::Answered, this, &PortMapper::Answered, Qt::QueuedConnection);
    thread_->start();
    renew_.setSingleShot(true);
    connect(&renew_, &QTimer::timeout, this, [this] {
        if (wanted_) Forward(*wanted_);
    });
}

PortMapper::~PortMapper() {
    // The program ends: a forward that stands goes with it, if the router
    // answers in time; else its lease runs out by itself.
    renew_.stop();
    if (forwarded_ || wanted_) {
        const quint16 port = forwarded_.value_or(wanted_.value_or(0));
        Send([port](RouterProtocol& protocol) { protocol.Withdraw(port); });
    }
    // After the jobs already queued, not before them.
    QMetaObject::invokeMethod(worker_, [thread = thread_] { thread->quit(); }, Qt::QueuedConnection);
    if (thread_->wait(kShutdownWaitMs)) {
        delete thread_;
        return;
    }
    // A router that does not answer holds the thread in a call that ends by
    // its own time-out; the thread and its worker are left to the end of the
    // process rather than torn down under that call.
}

void PortMapper::Send(std::function<void(RouterProtocol&)> call) {
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, call = std::move(call)] { call(worker->Protocol()); }, Qt::QueuedConnection);
}

template <typename Call>
void PortMapper::Ask(quint16 port, Call call) {
    QMetaObject::invokeMethod(
        worker_,
        [worker = worker_, round = round_, port, call = std::move(call)] {
            emit worker->Answered(round, port, call(worker->Protocol()));
        },
        Qt::QueuedConnection);
}

void PortMapper::LookUp() {
    Ask(0, [](RouterProtocol& protocol) { return protocol.ExternalAddress(); });
}

void PortMapper::Forward(quint16 port) {
    if (wanted_ != port) {
        if (forwarded_) Withdraw();
        wanted_ = port;
    }
    Ask(port, [port, lease = lease_](RouterProtocol& protocol) { return protocol.Forward(port, lease); });
}

void PortMapper::Withdraw() {
    renew_.stop();
    ++round_;
    wanted_.reset();
    withdrawn_ = std::exchange(forwarded_, std::nullopt);
    if (withdrawn_) Send([port = *withdrawn_](RouterProtocol& protocol) { protocol.Withdraw(port); });
}

void PortMapper::Answered(quint64 round, quint16 port, const RouterAnswer& answer) {
    if (round != round_) {
        // Withdrawn meanwhile: a forward the router granted since goes too.
        // A renewal of the port just withdrawn needs nothing more (the
        // withdrawal was asked after it), and a second withdrawal, arriving
        // after a new forward of that port, would take the new one away.
        if (port != 0 && answer.ok && answer.port != withdrawn_ && answer.port != forwarded_)
            Send([external = answer.port](RouterProtocol& protocol) { protocol.Withdraw(external); });
        return;
    }
    if (answer.ok && !answer.address.empty()) address_ = answer.address;
    if (port == 0) {
        if (!answer.ok) emit Failed(std::string("Der Router nennt seine äußere Adresse nicht: "_w1252) + answer.error);
        return;
    }
    refused_ = !answer.ok;
    if (!answer.ok) {
        forwarded_.reset();
        emit Failed("Der Router leitet Port " + std::to_string(port) + " nicht weiter: " + answer.error);
        return;
    }
    forwarded_ = answer.port;
    // Renewed at half the lease the router granted, so that one lost
    // request still leaves time for the next.
    const std::chrono::seconds lease = answer.lease.count() > 0 ? answer.lease : lease_;
    renew_.start(std::max<std::chrono::milliseconds>(lease / 2, std::chrono::seconds(1)));
}

}  // namespace tovik
