#include <winsock2.h>
#include <ws2tcpip.h>

#include "SilentHost.h"

namespace TestServers {

namespace {

// A non-blocking socket listening on address:port; INVALID_SOCKET when that fails.
SOCKET Listen(const char* address, unsigned short port) {
  SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return INVALID_SOCKET;
  // The connections the previous case held and closed may still linger on the port.
  BOOL reuse = TRUE;
  ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  sockaddr_in where = {};
  where.sin_family = AF_INET;
  where.sin_port = ::htons(port);
  u_long nonBlocking = 1;
  if (::inet_pton(AF_INET, address, &where.sin_addr) != 1 ||
      ::bind(listener, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) != 0 ||
      ::listen(listener, SOMAXCONN) != 0 || ::ioctlsocket(listener, FIONBIO, &nonBlocking) != 0) {
    ::closesocket(listener);
    return INVALID_SOCKET;
  }
  return listener;
}

}  // namespace

SilentHost::SilentHost(const char* address, std::initializer_list<unsigned short> ports) {
  WSADATA data;
  started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  listening_ = started_;
  for (unsigned short port : ports) {
    SOCKET listener = started_ ? Listen(address, port) : INVALID_SOCKET;
    if (listener == INVALID_SOCKET) {
      listening_ = false;
    } else {
      listeners_.push_back(listener);
    }
  }
}

SilentHost::~SilentHost() {
  for (std::uintptr_t connection : held_) ::closesocket(connection);
  for (std::uintptr_t listener : listeners_) ::closesocket(listener);
  if (started_) ::WSACleanup();
}

int SilentHost::Connections() {
  for (std::uintptr_t listener : listeners_) {
    for (SOCKET connection; (connection = ::accept(listener, nullptr, nullptr)) != INVALID_SOCKET;) {
      held_.push_back(connection);
    }
  }
  return static_cast<int>(held_.size());
}

}  // namespace TestServers
