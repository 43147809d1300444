#include "engine/CSocketWnd.h"

#include "engine/CHostLookup.h"
#include "support/CLoopbackServer.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// The outcome code of one connection attempt.
unsigned ConnectCode(const std::string& host, const std::string& port) {
    CSocketWnd socket;
    QSignalSpy finished(&socket, &CSocketWnd::ConnectFinished);
    socket.Connect(host, port);
    EXPECT_EQ(finished.count(), 0); // never reported from inside Connect()
    if (!finished.wait(10000))
        return 99999;
    return finished.at(0).at(0).toUInt();
}

TEST(SocketWndTest, ConnectOutcomes) {
    CLoopbackServer server("127.0.0.1", 0, CLoopbackServer::Silent());
    const std::string port = std::to_string(server.Port());
    EXPECT_EQ(ConnectCode("127.0.0.1", port), 0u);
    EXPECT_EQ(ConnectCode("   127.0.0.1", port), 0u); // leading blanks are skipped
    EXPECT_EQ(ConnectCode("localhost", port), 0u);    // the system's own look-up
    EXPECT_EQ(ConnectCode("   ", port), 10001u);
    EXPECT_EQ(ConnectCode("", port), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "0"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "http"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.1", "70000"), 10001u);
    EXPECT_EQ(ConnectCode("127.0.0.2", port), 10004u); // nobody listens there

    CHostLookup::SetResolver([](const std::string&, in_addr*) { return false; });
    EXPECT_EQ(ConnectCode("nowhere.example", port), 10002u);
    EXPECT_EQ(ConnectCode("1.2.3.4.5", port), 10002u); // a digit first, but no address
    CHostLookup::SetResolver({});
}

TEST(SocketWndTest, ReportsDataThenTheCloseAndSendsNothingAfterClosing) {
    CLoopbackServer server("127.0.0.1", 0, CLoopbackServer::Reply("hello"));
    CSocketWnd socket;
    QSignalSpy finished(&socket, &CSocketWnd::ConnectFinished);
    QSignalSpy events(&socket, &CSocketWnd::SocketNotify);
    socket.Connect("127.0.0.1", std::to_string(server.Port()));
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(socket.Send("GET / HTTP/1.0\r\n\r\n", 18, 0), 18);
    socket.SelectEvents(CSocketWnd::kFdRead | CSocketWnd::kFdClose);
    ASSERT_TRUE(events.wait(10000));
    EXPECT_EQ(events.at(0).at(1).toUInt(), CSocketWnd::kFdRead);
    char buffer[16] = {};
    EXPECT_EQ(socket.Receive(buffer, sizeof(buffer), 0), 5);
    ASSERT_TRUE(events.count() > 1 || events.wait(10000));
    EXPECT_EQ(events.at(1).at(1).toUInt(), CSocketWnd::kFdClose);

    socket.CloseSocket();
    EXPECT_EQ(socket.Send("x", 1, 0), 0);
    EXPECT_FALSE(events.wait(200)); // a close is reported once, and nothing after
    EXPECT_EQ(events.count(), 2);
}

} // namespace
