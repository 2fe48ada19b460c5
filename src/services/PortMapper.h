#pragma once
// Asks the home router to forward a TCP port to this machine, for as long
// as a listener needs it, and tells the router's external address.
//
// Behind a router nobody outside can connect to the bot unless the router
// forwards the port. Routers take such requests by UPnP-IGD or NAT-PMP (and
// PCP routers answer NAT-PMP too). Each forward has a lease of its own and
// is renewed while it is wanted, so that a bot that crashes leaves nothing
// open for good; it is withdrawn when no longer wanted and when the mapper
// goes.
//
// Talking to a router blocks (discovery alone waits two seconds), so every
// call runs on a thread of the mapper's own, bounded in time; the GUI
// thread only hears the outcome.

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QThread;

namespace tovik {

struct RouterAnswer {
    bool ok = false;
    std::string address;            // the router's external address
    quint16 port = 0;               // the external port forwarded
    std::chrono::seconds lease{0};  // how long the router keeps it
    std::string error;              // why not, Windows-1252
};

// One conversation with a router. Every call blocks for a bounded time; all
// calls come from one thread, one at a time.
class RouterProtocol {
public:
    virtual ~RouterProtocol() = default;
    virtual RouterAnswer ExternalAddress() = 0;
    virtual RouterAnswer Forward(quint16 port, std::chrono::seconds lease) = 0;
    virtual void Withdraw(quint16 externalPort) = 0;
};

// UPnP-IGD, else NAT-PMP.
std::unique_ptr<RouterProtocol> MakeRouterProtocol();

namespace detail {
// Lives on the mapper's thread and owns the protocol there; its signal
// carries each answer back to the GUI thread.
class PortMapperWorker : public QObject {
    Q_OBJECT
public:
    explicit PortMapperWorker(std::unique_ptr<RouterProtocol> protocol) : protocol_(std::move(protocol)) {}
    RouterProtocol& Protocol() { return *protocol_; }
signals:
    void Answered(quint64 round, quint16 port, tovik::RouterAnswer answer);

private:
    std::unique_ptr<RouterProtocol> protocol_;
};
}  // namespace detail

class PortMapper : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kDefaultLease{20 * 60};
    // The longest the end of the program waits for the router to withdraw.
    static constexpr int kShutdownWaitMs = 5000;

    explicit PortMapper(std::unique_ptr<RouterProtocol> protocol, QObject* parent = nullptr);
    ~PortMapper() override;

    void SetLease(std::chrono::seconds lease) { lease_ = lease; }

    // Learns the external address, forwarding nothing.
    void LookUp();
    // Forwards `port` (the same number outside) and keeps it renewed.
    void Forward(quint16 port);
    void Withdraw();

    // The router's external address as it last told; empty: not known.
    const std::string& Address() const { return address_; }
    // The external port while a forward stands.
    std::optional<quint16> ForwardedPort() const { return forwarded_; }
    // The last request for a forward was refused (or found no router).
    bool Refused() const { return refused_; }

signals:
    // A request failed; the text says why, in German (Windows-1252).
    void Failed(const std::string& text);

private:
    // Runs `call` on the mapper's thread; its answer comes back tagged.
    template <typename Call>
    void Ask(quint16 port, Call call);
    void Send(std::function<void(RouterProtocol&)> call);
    void Answered(quint64 round, quint16 port, const RouterAnswer& answer);

    QThread* thread_;
    detail::PortMapperWorker* worker_;  // the jobs run in its thread's event loop
    QTimer renew_;
    std::chrono::seconds lease_ = kDefaultLease;
    std::optional<quint16> wanted_;
    std::optional<quint16> forwarded_;
    std::optional<quint16> withdrawn_;  // the external port the last Withdraw gave up
    std::string address_;
    bool refused_ = false;
    quint64 round_ = 0;  // answers to requests overtaken by a Withdraw are old news
};

}  // namespace tovik
