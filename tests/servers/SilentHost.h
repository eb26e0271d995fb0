#pragma once

// A host that accepts connections and never answers: listening sockets whose connections the system
// completes and nobody reads from or writes to. It stands in for an overloaded or broken server behind
// a working network, which neither refuses nor resets.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace TestServers {

class SilentHost {
 public:
  // Listens on each port of `address` (an IPv4 literal).
  SilentHost(const char* address, std::initializer_list<unsigned short> ports);
  ~SilentHost();
  SilentHost(const SilentHost&) = delete;
  SilentHost& operator=(const SilentHost&) = delete;

  // Whether every port listens.
  bool Listening() const { return listening_; }
  // Connections made to it so far; they stay open, unanswered, until the object goes.
  int Connections();

 private:
  bool started_ = false;
  bool listening_ = false;
  std::vector<std::uintptr_t> listeners_;  // SOCKETs, kept out of this header with winsock2.h
  std::vector<std::uintptr_t> held_;
};

}  // namespace TestServers
