// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "loopback_listener.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace tidings {
namespace test {

LoopbackListener::~LoopbackListener() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_socket >= 0) ::close(static_cast<int>(m_socket));
}

bool LoopbackListener::Start(std::string* pstrError) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *pstrError = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // the system picks a free port
  socklen_t cbAddress = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &cbAddress) != 0) {
    *pstrError = std::string("bind/listen on 127.0.0.1: ") + std::strerror(errno);
    ::close(fd);
    return false;
  }
  m_socket = fd;
  m_nPort = ntohs(address.sin_port);
  m_thread = std::thread([this] { Run(); });
  return true;
}

bool LoopbackListener::AcceptOne(int nMilliseconds) {
  pollfd p;
  p.fd = static_cast<int>(m_socket);
  p.events = POLLIN;
  p.revents = 0;
  if (::poll(&p, 1, nMilliseconds) <= 0) return false;
  int client = ::accept(static_cast<int>(m_socket), nullptr, nullptr);
  if (client < 0) return false;
  ::close(client);
  ++m_nConnections;
  return true;
}

void LoopbackListener::Run() {
  while (!m_bStop) AcceptOne(20);
}

int LoopbackListener::Connections(int nMilliseconds) {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  for (int i = 0; i < 64 && AcceptOne(nMilliseconds); ++i) {
  }
  return m_nConnections;
}

}  // namespace test
}  // namespace tidings
