// The asynchronous socket against real sockets on loopback.
#include "net/asyncsock.h"

#include <gtest/gtest.h>

namespace {

TEST(SocketErrorDesc, NamesWinsockCodesAndOnlyThem) {
    EXPECT_EQ(SocketErrorDesc(10060), "Connection timed out");
    EXPECT_EQ(SocketErrorDesc(10061), "Connection refused");
    EXPECT_EQ(SocketErrorDesc(11001), "Host not found");
    EXPECT_EQ(SocketErrorDesc(0), "No Error");
    EXPECT_EQ(SocketErrorDesc(5), "Not a WinSock error");
}

}  // namespace
