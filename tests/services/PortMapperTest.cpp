// The router's forward: asked on its own thread, renewed while wanted, and
// withdrawn when no longer wanted and when the mapper goes.

#include "services/PortMapper.h"

#include <QSignalSpy>
#include <QThread>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

// A router that answers as told and notes each request, and whether it
// came on the GUI thread.
struct Router {
    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::string> calls;
    bool onGuiThread = false;
    bool refuse = false;
    bool hold = false;  // a forward waits inside the router until let go
    void Release() {
        const std::lock_guard lock(mutex);
        hold = false;
        released.notify_all();
    }
    std::vector<std::string> Calls() {
        const std::lock_guard lock(mutex);
        return calls;
    }
    RouterAnswer Note(std::string call, RouterAnswer answer) {
        std::unique_lock lock(mutex);
        calls.push_back(std::move(call));
        onGuiThread = onGuiThread || QThread::currentThread() == QCoreApplication::instance()->thread();
        released.wait(lock, [this] { return !hold; });
        return answer;
    }
};

class FakeProtocol final : public RouterProtocol {
public:
    explicit FakeProtocol(Router& router) : router_(router) {}
    RouterAnswer ExternalAddress() override { return router_.Note("address", {true, "203.0.113.1", 0, {}, {}}); }
    RouterAnswer Forward(quint16 port, std::chrono::seconds lease) override {
        return router_.Note("forward " + std::to_string(port) + " " + std::to_string(lease.count()),
                            {!router_.refuse, "203.0.113.1", static_cast<quint16>(port + 1), lease, "nein"});
    }
    void Withdraw(quint16 port) override { router_.Note("withdraw " + std::to_string(port), {}); }

private:
    Router& router_;
};

TEST(PortMapperTest, ForwardsRenewsAtHalfTheLeaseAndWithdrawsWhenDoneAndAtTheEnd) {
    test::EnsureApp();
    Router router;
    auto mapper = std::make_unique<PortMapper>(std::make_unique<FakeProtocol>(router));
    mapper->SetLease(std::chrono::seconds(2));
    mapper->LookUp();
    mapper->Forward(5678);
    ASSERT_TRUE(test::WaitUntil([&] { return mapper->ForwardedPort() == 5679; }, 2000));
    EXPECT_EQ(mapper->Address(), "203.0.113.1");
    ASSERT_TRUE(test::WaitUntil([&] { return router.Calls().size() == 3; }, 3000));  // renewed after a second
    mapper->Withdraw();
    EXPECT_EQ(mapper->ForwardedPort(), std::nullopt);
    mapper->Forward(6000);
    ASSERT_TRUE(test::WaitUntil([&] { return mapper->ForwardedPort() == 6001; }, 2000));
    mapper.reset();  // the end of the program
    EXPECT_EQ(router.Calls(), (std::vector<std::string>{"address", "forward 5678 2", "forward 5678 2",
                                                         "withdraw 5679", "forward 6000 2", "withdraw 6001"}));
    EXPECT_FALSE(router.onGuiThread);
}

TEST(PortMapperTest, ARenewalAnsweredAfterAWithdrawalLeavesTheNextForwardOfThePortStanding) {
    test::EnsureApp();
    Router router;
    auto mapper = std::make_unique<PortMapper>(std::make_unique<FakeProtocol>(router));
    mapper->SetLease(std::chrono::seconds(2));
    mapper->Forward(5678);
    ASSERT_TRUE(test::WaitUntil([&] { return mapper->ForwardedPort() == 5679; }, 2000));
    {
        const std::lock_guard lock(router.mutex);
        router.hold = true;
    }
    ASSERT_TRUE(test::WaitUntil([&] { return router.Calls().size() == 2; }, 3000));  // the renewal, held
    mapper->Withdraw();
    mapper->Forward(5678);
    router.Release();
    ASSERT_TRUE(test::WaitUntil([&] { return mapper->ForwardedPort() == 5679; }, 2000));
    mapper.reset();
    EXPECT_EQ(router.Calls(), (std::vector<std::string>{"forward 5678 2", "forward 5678 2", "withdraw 5679",
                                                         "forward 5678 2", "withdraw 5679"}));
}

TEST(PortMapperTest, ARefusalIsToldInGermanAndNothingStands) {
    test::EnsureApp();
    Router router;
    router.refuse = true;
    PortMapper mapper(std::make_unique<FakeProtocol>(router));
    QSignalSpy failed(&mapper, &PortMapper::Failed);
    mapper.Forward(5678);
    ASSERT_TRUE(failed.wait(2000));
    EXPECT_EQ(failed.at(0).at(0).value<std::string>(), "Der Router leitet Port 5678 nicht weiter: nein");
    EXPECT_TRUE(mapper.Refused());
    EXPECT_EQ(mapper.ForwardedPort(), std::nullopt);
}

}  // namespace
}  // namespace tovik
