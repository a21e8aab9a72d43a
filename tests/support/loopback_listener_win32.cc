// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

#include "loopback_listener.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

namespace tidings {
namespace test {

namespace {

std::string WsaReason(const char* what) {
  return std::string(what) + ": error " + std::to_string(::WSAGetLastError());
}

}  // namespace

LoopbackListener::~LoopbackListener() {
  m_bStop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_socket != -1) {
    ::closesocket(static_cast<SOCKET>(m_socket));
    ::WSACleanup();
  }
}

bool LoopbackListener::Start(std::string* pstrError) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    *pstrError = "WSAStartup failed";
    return false;
  }
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *pstrError = WsaReason("socket");
    ::WSACleanup();
    return false;
  }
  sockaddr_in address;
  std::memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // the system picks a free port
  int cbAddress = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &cbAddress) != 0) {
    *pstrError = WsaReason("bind/listen on 127.0.0.1");
    ::closesocket(s);
    ::WSACleanup();
    return false;
  }
  m_socket = static_cast<intptr_t>(s);
  m_nPort = ntohs(address.sin_port);
  m_thread = std::thread([this] { Run(); });
  return true;
}

bool LoopbackListener::AcceptOne(int nMilliseconds) {
  const SOCKET s = static_cast<SOCKET>(m_socket);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval timeout;
  timeout.tv_sec = nMilliseconds / 1000;
  timeout.tv_usec = (nMilliseconds % 1000) * 1000;
  if (::select(0, &readable, nullptr, nullptr, &timeout) <= 0) return false;
  SOCKET client = ::accept(s, nullptr, nullptr);
  if (client == INVALID_SOCKET) return false;
  ::closesocket(client);
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
