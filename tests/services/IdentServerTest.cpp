#include "services/IdentServer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "ServiceTestClient.h"
#include "TestSupport.h"
#include "text/Errors.h"

namespace tovik {
namespace {

using test::Escaped;
using test::TestClient;
using test::WaitUntil;

constexpr char kReply6193[] = "6193, 23 : USERID : UNIX : Tovik\r\n";

// Long enough to tell "no answer" from "answer on its way" on loopback.
constexpr int kQuietMs = 300;

class IdentServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureApp();
        server_ = std::make_unique<IdentServer>(0, [this] { return userId_; });
        server_->SwitchOn();
        ASSERT_TRUE(server_->IsListening());
        ASSERT_NE(server_->Port(), 0);
    }

    std::unique_ptr<TestClient> Connected() {
        auto client = std::make_unique<TestClient>();
        EXPECT_TRUE(client->Connect(server_->Port()));
        return client;
    }

    std::string userId_ = "Tovik";
    std::unique_ptr<IdentServer> server_;
};

TEST_F(IdentServerTest, AnswersQueryWithCrLfAndCloses) {
    auto client = Connected();
    client->Send("6193, 23\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
    EXPECT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 0; }));
}

TEST_F(IdentServerTest, AcceptsBareLineFeed) {
    auto client = Connected();
    client->Send("6193,23\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped("6193,23 : USERID : UNIX : Tovik\r\n"));
}

TEST_F(IdentServerTest, WaitsForTheWholeLineOfASplitQuery) {
    auto client = Connected();
    client->Send("6193,");
    EXPECT_FALSE(WaitUntil([&] { return !client->Received().empty() || client->Closed(); }, kQuietMs));
    client->Send(" 23\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
}

TEST_F(IdentServerTest, MalformedQueryGetsInvalidPort) {
    auto client = Connected();
    client->Send("  hello, world \r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped("hello, world : ERROR : INVALID-PORT\r\n"));
}

TEST_F(IdentServerTest, AnswersOnlyTheFirstQueryOfAConnection) {
    auto client = Connected();
    client->Send("6193, 23\r\n1, 2\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
}

TEST_F(IdentServerTest, EachConnectionGetsItsOwnAnswer) {
    auto first = Connected();
    auto second = Connected();
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 2; }));

    second->Send("2222, 6667\r\n");
    ASSERT_TRUE(second->WaitClosed());
    EXPECT_EQ(Escaped(second->Received()), Escaped("2222, 6667 : USERID : UNIX : Tovik\r\n"));
    EXPECT_EQ(first->Received(), "");
    EXPECT_FALSE(first->Closed());

    userId_ = "Anna";  // read at each query, not at connect
    first->Send("1111, 113\r\n");
    ASSERT_TRUE(first->WaitClosed());
    EXPECT_EQ(Escaped(first->Received()), Escaped("1111, 113 : USERID : UNIX : Anna\r\n"));
}

TEST_F(IdentServerTest, SilentConnectionIsClosedAfterTheTimeout) {
    server_->SetQueryTimeoutMs(150);
    auto client = Connected();
    ASSERT_TRUE(client->WaitClosed(5000));
    EXPECT_EQ(client->Received(), "");
}

TEST_F(IdentServerTest, OverlongGarbageIsClosedUnanswered) {
    auto client = Connected();
    client->Send(std::string(1001, 'x'));
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(client->Received(), "");
}

TEST_F(IdentServerTest, OverlongLineWithLineEndIsClosedUnanswered) {
    auto client = Connected();
    client->Send(std::string(1200, '1') + "\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(client->Received(), "");
}

TEST_F(IdentServerTest, UserIdIsCleanedOfLineBreaksAndNul) {
    userId_ = std::string("To\r\nv\0ik\n", 9);
    auto client = Connected();
    client->Send("6193, 23\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
}

TEST_F(IdentServerTest, FailingUserIdSourceAnswersUnknownErrorAndReports) {
    IdentServer failing(0, []() -> std::string { throw ConvertError("x"); });
    failing.SwitchOn();
    QSignalSpy errors(&failing, &IdentServer::ErrorOccurred);
    TestClient client;
    ASSERT_TRUE(client.Connect(failing.Port()));
    client.Send("6193, 23\r\n");
    ASSERT_TRUE(client.WaitClosed());
    EXPECT_EQ(Escaped(client.Received()), Escaped("6193, 23 : ERROR : UNKNOWN-ERROR\r\n"));
    ASSERT_EQ(errors.count(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<std::string>(), ConvertError("x").what());
}

TEST_F(IdentServerTest, SwitchOffClosesConnectionsAndRefusesNewOnes) {
    auto client = Connected();
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == 1; }));
    const quint16 port = server_->Port();
    server_->SwitchOff();
    EXPECT_FALSE(server_->IsListening());
    EXPECT_EQ(server_->OpenConnections(), 0);
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(client->Received(), "");

    TestClient late;
    EXPECT_FALSE(late.Connect(port));
    EXPECT_TRUE(late.Refused());
}

TEST_F(IdentServerTest, SwitchingIsIdempotent) {
    const quint16 port = server_->Port();
    server_->SwitchOn();
    EXPECT_EQ(server_->Port(), port);
    server_->SwitchOff();
    server_->SwitchOff();
    EXPECT_FALSE(server_->IsListening());
    server_->SwitchOn();
    ASSERT_TRUE(server_->IsListening());
    auto client = Connected();
    client->Send("6193, 23\r\n");
    ASSERT_TRUE(client->WaitClosed());
    EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
}

TEST(IdentServerPortTest, PortInUseThrowsSocketError) {
    test::EnsureApp();
    QTcpServer occupant;
    ASSERT_TRUE(occupant.listen(QHostAddress::Any, 0));
    IdentServer server(occupant.serverPort(), [] { return std::string("Tovik"); });
    try {
        server.SwitchOn();
        FAIL() << "SwitchOn on a port in use did not throw";
    } catch (const SocketError& e) {
        EXPECT_STREQ(e.what(),
                     "Windows-Socket-Fehler: Die Adresse wird bereits verwendet (98), auf API 'bind'");
    }
    EXPECT_FALSE(server.IsListening());
    EXPECT_EQ(server.Port(), occupant.serverPort());
}

struct AnswerCase {
    const char* query;
    const char* answer;
};

class IdentAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(IdentAnswerTest, Answers) {
    const AnswerCase& c = GetParam();
    int asked = 0;
    const std::string answer = IdentAnswer(c.query, [&] {
        ++asked;
        return std::string("Tovik");
    });
    EXPECT_EQ(Escaped(answer), Escaped(c.answer)) << "query: " << Escaped(c.query);
    const bool valid = answer.find(" : USERID : ") != std::string::npos;
    EXPECT_EQ(asked, valid ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, IdentAnswerTest,
    ::testing::Values(
        AnswerCase{"6193, 23", "6193, 23 : USERID : UNIX : Tovik\r\n"},
        AnswerCase{"6193,23", "6193,23 : USERID : UNIX : Tovik\r\n"},
        AnswerCase{" \t113 , 6667  ", "113 , 6667 : USERID : UNIX : Tovik\r\n"},
        AnswerCase{"1,65535", "1,65535 : USERID : UNIX : Tovik\r\n"},
        AnswerCase{"00113,6667", "00113,6667 : USERID : UNIX : Tovik\r\n"},
        AnswerCase{"0,23", "0,23 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"6193,65536", "6193,65536 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"99999999999999999999,1", "99999999999999999999,1 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"6193", "6193 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"6193,", "6193, : ERROR : INVALID-PORT\r\n"},
        AnswerCase{",23", ",23 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"1,2,3", "1,2,3 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"+1,2", "+1,2 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"-1,2", "-1,2 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"1 2,3", "1 2,3 : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"a,b", "a,b : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"", " : ERROR : INVALID-PORT\r\n"},
        AnswerCase{"1,\r2", "1,2 : ERROR : INVALID-PORT\r\n"}));

TEST_F(IdentServerTest, ConnectionsBeyondTheBoundAreClosedAndTheOthersAnswered) {
    std::vector<std::unique_ptr<TestClient>> waiting;
    for (std::size_t i = 0; i < IdentServer::kMaxConnections; ++i) waiting.push_back(Connected());
    ASSERT_TRUE(WaitUntil([&] { return server_->OpenConnections() == static_cast<int>(IdentServer::kMaxConnections); }));

    auto extra = Connected();
    ASSERT_TRUE(extra->WaitClosed());
    EXPECT_TRUE(extra->Received().empty());

    for (auto& client : waiting) client->Send("6193, 23\r\n");
    for (auto& client : waiting) {
        ASSERT_TRUE(client->WaitClosed());
        EXPECT_EQ(Escaped(client->Received()), Escaped(kReply6193));
    }
}

}  // namespace
}  // namespace tovik
