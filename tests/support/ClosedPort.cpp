#include "tests/support/ClosedPort.h"

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>

uint16_t ClosedPort()
{
    Poco::Net::ServerSocket socket(Poco::Net::SocketAddress("127.0.0.1", 0));
    return socket.address().port();
}
