// Copyright 2026 The Tidings developers
// SPDX-License-Identifier: Apache-2.0

// A TCP listener on 127.0.0.1 that counts the connections made to it, for the tests that make sure the
// library never reaches out to the network. A thread of its own accepts and closes every connection at
// once, so a client that does connect fails fast instead of waiting for an answer.

#ifndef TIDINGS_TESTS_SUPPORT_LOOPBACK_LISTENER_H_
#define TIDINGS_TESTS_SUPPORT_LOOPBACK_LISTENER_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace tidings {
namespace test {

class LoopbackListener {
 public:
  LoopbackListener() = default;
  ~LoopbackListener();  // stops the thread and closes the socket
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Listens on a free port of 127.0.0.1. False, with the reason, when it cannot.
  bool Start(std::string* pstrError);
  uint16_t Port() const { return m_nPort; }
  // Waits up to `nMilliseconds` for connections still on their way, then returns how many were accepted
  // since Start.
  int Connections(int nMilliseconds);

 private:
  void Run();
  // Waits up to `nMilliseconds` for one connection and accepts it; false when none came.
  bool AcceptOne(int nMilliseconds);

  intptr_t m_socket = -1;
  uint16_t m_nPort = 0;
  std::atomic<bool> m_bStop{false};
  std::atomic<int> m_nConnections{0};
  std::thread m_thread;
};

}  // namespace test
}  // namespace tidings

#endif  // TIDINGS_TESTS_SUPPORT_LOOPBACK_LISTENER_H_
