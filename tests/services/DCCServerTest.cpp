#include "services/DCCServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <vector>

#include "ServiceTestClient.h"
#include "TestSupport.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::TestClient;
using test::WaitUntil;

constexpr int kQuietMs = 300;
constexpr int kTransferMs = 60000;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    return bytes;
}

// Compares sizes first: a several-MB mismatch printed in full helps nobody.
void ExpectSameBytes(const std::string& got, const std::string& want) {
    ASSERT_EQ(got.size(), want.size());
    EXPECT_TRUE(got == want) << "same size, different content";
}

class DCCServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        ASSERT_TRUE(dir_.isValid());
        picture_ = Path("bild.jpg");
        server_ = std::make_unique<DCCServer>(0, [this] { return picture_; });
        errors_ = std::make_unique<QSignalSpy>(server_.get(), &DCCServer::ErrorOccurred);
    }

    std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    std::string WritePicture(std::size_t size, unsigned seed = 1) {
        std::string bytes = RandomBytes(size, seed);
        test::WriteFileBytes(picture_, bytes);
        return bytes;
    }

    std::unique_ptr<TestClient> Receiver(bool acking) {
        auto client = std::make_unique<TestClient>(acking);
        EXPECT_TRUE(client->Connect(server_->Port()));
        return client;
    }

    QTemporaryDir dir_;
    std::string picture_;
    std::unique_ptr<DCCServer> server_;
    std::unique_ptr<QSignalSpy> errors_;
};

TEST_F(DCCServerTest, AckingReceiverGetsTheFileAndIsClosedAfterTheLastAck) {
    const std::string file = WritePicture(5 * 1024 * 1024 + 17);
    server_->SwitchOn();
    auto receiver = Receiver(true);
    ASSERT_TRUE(receiver->WaitClosed(kTransferMs));
    ExpectSameBytes(receiver->Received(), file);
    EXPECT_FALSE(server_->IsListening());
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
    EXPECT_EQ(errors_->count(), 0);
}

TEST_F(DCCServerTest, TwoReceiversEachGetTheWholeFileOnce) {
    const std::string file = WritePicture(3 * 1024 * 1024 + 5);
    server_->SwitchOn();
    TestClient first(true), second(true);
    ASSERT_TRUE(first.Connect(server_->Port()));
    ASSERT_TRUE(second.Connect(server_->Port()));
    ASSERT_TRUE(WaitUntil([&] { return first.Closed() && second.Closed(); }, kTransferMs));
    ExpectSameBytes(first.Received(), file);
    ExpectSameBytes(second.Received(), file);
}

TEST_F(DCCServerTest, FirstAckClosesTheListenerButNotOtherTransfers) {
    const std::string file = WritePicture(2 * 1024 * 1024 + 3);
    server_->SwitchOn();
    const quint16 port = server_->Port();
    TestClient quiet(false), acking(false);
    ASSERT_TRUE(quiet.Connect(port));
    ASSERT_TRUE(acking.Connect(port));
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 2; }));
    ASSERT_TRUE(acking.WaitReceived(1));
    EXPECT_TRUE(server_->IsListening());

    acking.SendAck(static_cast<std::uint32_t>(acking.Received().size()));
    ASSERT_TRUE(WaitUntil([&] { return !server_->IsListening(); }));
    TestClient late(false);
    EXPECT_FALSE(late.Connect(port));
    EXPECT_TRUE(late.Refused());

    acking.SetAcking(true);
    ASSERT_TRUE(quiet.WaitReceived(file.size(), kTransferMs));
    ASSERT_TRUE(acking.WaitReceived(file.size(), kTransferMs));
    acking.SendAck(static_cast<std::uint32_t>(file.size()));
    quiet.SendAck(static_cast<std::uint32_t>(file.size()));
    ASSERT_TRUE(WaitUntil([&] { return quiet.Closed() && acking.Closed(); }, kTransferMs));
    ExpectSameBytes(quiet.Received(), file);
    ExpectSameBytes(acking.Received(), file);
}

TEST_F(DCCServerTest, ReceiverWithoutAcksGetsEverythingAndClosesItself) {
    const std::string file = WritePicture(1024 * 1024 + 1);
    server_->SwitchOn();
    auto receiver = Receiver(false);
    ASSERT_TRUE(receiver->WaitReceived(file.size(), kTransferMs));
    EXPECT_FALSE(WaitUntil([&] { return receiver->Closed(); }, kQuietMs));
    EXPECT_EQ(server_->OpenConnections(), 1);
    EXPECT_TRUE(server_->IsListening());
    receiver->Socket().disconnectFromHost();
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
    ExpectSameBytes(receiver->Received(), file);
}

TEST_F(DCCServerTest, AckShortOfTheSizeKeepsTheConnection) {
    const std::string file = WritePicture(100000);
    server_->SwitchOn();
    auto receiver = Receiver(false);
    ASSERT_TRUE(receiver->WaitReceived(file.size(), kTransferMs));
    receiver->SendAck(99999);
    EXPECT_FALSE(WaitUntil([&] { return receiver->Closed(); }, kQuietMs));
    EXPECT_FALSE(server_->IsListening());
    // Coalesced with a stale one: the newest acknowledgement counts.
    receiver->Send(std::string("\x00\x01\x86\x9F\x00\x01\x86\xA0", 8));
    ASSERT_TRUE(receiver->WaitClosed());
    ExpectSameBytes(receiver->Received(), file);
}

TEST_F(DCCServerTest, SilentReceiverIsClosedAfterTheStallTimeout) {
    const std::string file = WritePicture(300000);
    server_->SetStallTimeoutMs(200);
    server_->SwitchOn();
    auto receiver = Receiver(false);
    ASSERT_TRUE(receiver->WaitClosed(kTransferMs));
    ExpectSameBytes(receiver->Received(), file);
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
}

TEST_F(DCCServerTest, ReceiverThatStopsReadingIsCutAfterTheStallTimeout) {
    WritePicture(8 * 1024 * 1024);
    server_->SetStallTimeoutMs(300);
    server_->SwitchOn();
    auto receiver = Receiver(false);
    // Small buffers all the way, so the file cannot vanish into the kernel
    // and the server is left with unsent bytes it can never hand over.
    receiver->Socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 64 * 1024);
    receiver->Socket().setReadBufferSize(64 * 1024);
    receiver->Socket().disconnect(receiver.get());  // never reads again
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }, kTransferMs));
}

TEST_F(DCCServerTest, MissingFileIsReportedAndNothingIsSent) {
    picture_ = Path("fehlt.jpg");
    server_->SwitchOn();
    auto receiver = Receiver(true);
    ASSERT_TRUE(WaitUntil([&] { return errors_->count() == 1; }));
    EXPECT_EQ(errors_->at(0).at(0).value<std::string>(), "Datei nicht gefunden: " + picture_);
    EXPECT_FALSE(WaitUntil([&] { return receiver->Closed() || !receiver->Received().empty(); }, kQuietMs));
    EXPECT_EQ(server_->OpenConnections(), 1);
    receiver->Socket().disconnectFromHost();
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
}

TEST_F(DCCServerTest, EmptyFileSendsNothingAndClosesOnTimeout) {
    WritePicture(0);
    server_->SetStallTimeoutMs(200);
    server_->SwitchOn();
    auto receiver = Receiver(true);
    ASSERT_TRUE(receiver->WaitClosed());
    EXPECT_EQ(receiver->Received(), "");
    EXPECT_EQ(errors_->count(), 0);
}

TEST_F(DCCServerTest, EmptyFileClosesWhenTheReceiverCloses) {
    WritePicture(0);
    server_->SwitchOn();
    auto receiver = Receiver(false);
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 1; }));
    receiver->Socket().disconnectFromHost();
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
    EXPECT_EQ(receiver->Received(), "");
}

TEST_F(DCCServerTest, PathIsReadAnewAtEachConnect) {
    const std::string first = WritePicture(70000, 1);
    server_->SwitchOn();
    auto one = Receiver(false);
    ASSERT_TRUE(one->WaitReceived(first.size()));

    // A name with an umlaut: the program's paths are Windows-1252 text.
    const std::string second = RandomBytes(50000, 2);
    test::WriteFileBytes(dir_.path().toStdString() + "/ich_\xC3\xA4.jpg", second);
    picture_ = Path(std::string("ich_ä.jpg"_w1252));
    auto two = Receiver(false);
    ASSERT_TRUE(two->WaitReceived(second.size()));
    EXPECT_FALSE(WaitUntil([&] { return one->Received().size() > first.size(); }, kQuietMs));
    ExpectSameBytes(one->Received(), first);
    ExpectSameBytes(two->Received(), second);
    EXPECT_EQ(errors_->count(), 0);
}

TEST_F(DCCServerTest, SwitchOffClosesEverythingAtOnce) {
    WritePicture(4 * 1024 * 1024);
    server_->SwitchOn();
    const quint16 port = server_->Port();
    auto receiver = Receiver(false);
    ASSERT_TRUE(receiver->WaitReceived(1));
    server_->SwitchOff();
    EXPECT_FALSE(server_->IsListening());
    EXPECT_EQ(server_->OpenConnections(), 0);
    ASSERT_TRUE(receiver->WaitClosed());
    TestClient late(false);
    EXPECT_FALSE(late.Connect(port));
    EXPECT_TRUE(late.Refused());
    server_->SwitchOff();  // again: nothing happens
}

TEST_F(DCCServerTest, SwitchOnIsIdempotentAndReopensAfterAnAck) {
    const std::string file = WritePicture(1000);
    server_->SwitchOn();
    const quint16 port = server_->Port();
    server_->SwitchOn();
    EXPECT_EQ(server_->Port(), port);
    auto receiver = Receiver(true);
    ASSERT_TRUE(receiver->WaitClosed());
    EXPECT_FALSE(server_->IsListening());
    server_->SwitchOn();  // a new offer
    ASSERT_TRUE(server_->IsListening());
    auto again = Receiver(true);
    ASSERT_TRUE(again->WaitClosed());
    ExpectSameBytes(again->Received(), file);
}

TEST_F(DCCServerTest, PortInUseThrowsSocketError) {
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::AnyIPv4, 0));
    DCCServer server(occupant.serverPort(), [] { return std::string(); });
    try {
        server.SwitchOn();
        FAIL() << "SwitchOn on a port in use did not throw";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(),
                     "Windows-Socket-Fehler: Die Adresse wird bereits verwendet (98), auf API 'bind'");
    }
    EXPECT_FALSE(server.IsListening());
}

std::string Ack(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

TEST(DCCAckReaderTest, ReassemblesSplitAndCoalescedAcks) {
    DCCAckReader reader;
    EXPECT_FALSE(reader.Any());
    EXPECT_EQ(reader.Feed(""), 0);

    const std::string a = Ack(0x01020304);
    EXPECT_EQ(reader.Feed(a.substr(0, 1)), 0);
    EXPECT_EQ(reader.Feed(a.substr(1, 2)), 0);
    EXPECT_FALSE(reader.Any());
    EXPECT_EQ(reader.Feed(a.substr(3)), 1);
    EXPECT_TRUE(reader.Any());
    EXPECT_EQ(reader.Last(), 0x01020304u);

    // Two and a half acknowledgements in one read, the rest in the next.
    const std::string three = Ack(8192) + Ack(16384) + Ack(0xFFFFFFFF);
    EXPECT_EQ(reader.Feed(three.substr(0, 10)), 2);
    EXPECT_EQ(reader.Last(), 16384u);
    EXPECT_EQ(reader.Feed(three.substr(10)), 1);
    EXPECT_EQ(reader.Last(), 0xFFFFFFFFu);
}

struct CoverCase {
    std::uint32_t ack;
    std::uint64_t size;
    bool covers;
};

class AckCoversFileTest : public ::testing::TestWithParam<CoverCase> {};

TEST_P(AckCoversFileTest, ComparesModulo2To32) {
    const CoverCase& c = GetParam();
    EXPECT_EQ(AckCoversFile(c.ack, c.size), c.covers) << "ack " << c.ack << ", size " << c.size;
}

INSTANTIATE_TEST_SUITE_P(Sizes, AckCoversFileTest,
                         ::testing::Values(CoverCase{0, 0, true}, CoverCase{512, 512, true},
                                           CoverCase{511, 512, false}, CoverCase{513, 512, false},
                                           CoverCase{0xFFFFFFFFu, 0xFFFFFFFFull, true},
                                           CoverCase{0, 0x100000000ull, true},
                                           CoverCase{5, 0x100000005ull, true},
                                           CoverCase{0xFFFFFFFFu, 0x100000005ull, false}));

TEST_F(DCCServerTest, ConnectionsBeyondTheBoundAreClosedAndTheOthersServed) {
    const std::string file = WritePicture(256 * 1024 + 9);
    server_->SwitchOn();
    std::vector<std::unique_ptr<TestClient>> receivers;
    for (std::size_t i = 0; i < DCCServer::kMaxTransfers; ++i) receivers.push_back(Receiver(false));
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == static_cast<int>(DCCServer::kMaxTransfers); }));

    auto extra = Receiver(false);
    ASSERT_TRUE(extra->WaitClosed());
    EXPECT_TRUE(extra->Received().empty());
    EXPECT_EQ(server_->OpenConnections(), static_cast<int>(DCCServer::kMaxTransfers));

    for (auto& receiver : receivers) {
        ASSERT_TRUE(receiver->WaitReceived(file.size(), kTransferMs));
        receiver->SendAck(static_cast<std::uint32_t>(file.size()));
    }
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }, kTransferMs));
    for (auto& receiver : receivers) ExpectSameBytes(receiver->Received(), file);
    EXPECT_EQ(errors_->count(), 0);
}

// Whatever a receiver does, it cannot hold a slot for good: a picture that
// cannot be sent, a FIFO named as the picture, repeating one short count, or
// trickling ever new counts; each is closed within its bound and the program
// stays responsive meanwhile.
TEST_F(DCCServerTest, NoReceiverHoldsASlotForEver) {
    picture_ = Path("fehlt.jpg");
    server_->SetStallTimeoutMs(300);
    server_->SwitchOn();
    auto missing = Receiver(false);
    EXPECT_TRUE(missing->WaitClosed());
    EXPECT_EQ(errors_->count(), 1);

    picture_ = Path("fifo.jpg");
    ASSERT_EQ(::mkfifo(picture_.c_str(), 0600), 0);
    auto fifo = Receiver(false);
    ASSERT_TRUE(WaitUntil([&] { return errors_->count() == 2; }));  // open() did not block
    EXPECT_TRUE(fifo->WaitClosed());
    EXPECT_TRUE(fifo->Received().empty());

    picture_ = Path("bild.jpg");
    const std::string file = WritePicture(1000);
    auto repeating = Receiver(false);
    ASSERT_TRUE(repeating->WaitReceived(file.size()));
    QTimer repeat;
    QObject::connect(&repeat, &QTimer::timeout, [&] { repeating->SendAck(500); });
    repeat.start(100);
    EXPECT_TRUE(repeating->WaitClosed());
    repeat.stop();

    server_->SetLifeTimeoutMs(800);
    server_->SwitchOn();
    auto trickling = Receiver(false);
    ASSERT_TRUE(trickling->WaitReceived(file.size()));
    std::uint32_t count = 0;
    QObject::connect(&repeat, &QTimer::timeout, [&] { trickling->SendAck(++count); });
    repeat.start(100);
    EXPECT_TRUE(trickling->WaitClosed());
    EXPECT_GE(count, 5u);  // outlived several stall times, then the life bound cut it
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
}

}  // namespace
}  // namespace tovik
