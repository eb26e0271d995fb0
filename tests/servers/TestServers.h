#pragma once

// What the download and analytics suites need from the loopback servers of tools/test-servers.sh and
// the proxy of tools/test-proxy.sh:
// the web root both servers serve, their request logs, and files with random content.

#include <string>

namespace TestServers {

// Folder nginx (http://localhost/NAME, https://localhost/NAME) and the fault server
// (http://127.0.0.2/MODE/.../NAME) serve; ends with a backslash.
std::wstring WebRoot();

// Writes `size` random bytes to the web root as `name` and returns them.
std::string MakeFile(const std::wstring& name, int size);

// Makes `path` (anywhere, usually below the web root) a file of `size` bytes that takes no room on
// the disk: a hole, which the servers report and serve at its full length.
bool MakeHollowFile(const std::wstring& path, long long size);

// kProxy: the loopback squid of tools/test-proxy.sh, one line per request:
// "PORT METHOD URL STATUS BYTES USER" (PORT is the proxy port the client used).
enum class ServerLog { kNginx, kFault, kProxy };

// What a server's request log gained since the mark was taken.
class LogMark {
 public:
  explicit LogMark(ServerLog log);
  std::string Text() const;
  // Lines of Text() that contain `part`.
  int CountLines(const std::string& part) const;

 private:
  std::wstring path_;
  size_t start_;
};

// A switch file of the loopback servers (tools/test-servers.sh), holding `content` while this lives.
class ServerSwitch {
 public:
  explicit ServerSwitch(const wchar_t* name, const std::string& content = "on");
  ~ServerSwitch();
  ServerSwitch(const ServerSwitch&) = delete;
  ServerSwitch& operator=(const ServerSwitch&) = delete;

 private:
  std::wstring path_;
};

// A text that no earlier request of any run used, for URLs whose requests a test wants to find.
std::string UniqueToken(const char* tag);

}  // namespace TestServers
