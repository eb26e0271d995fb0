#include "TestServers.h"

#include <windows.h>

#include <random>

#include "TestSupport.h"
#include "base/FileSystem.h"
#include "base/Scoped.h"

namespace TestServers {

namespace {

// A folder of the host as Wine's Z: drive shows it, with a closing backslash.
std::wstring HostDir(const char* path) {
  std::wstring dir = L"Z:" + TestSupport::Wide(path) + L"\\";
  for (wchar_t& c : dir) {
    if (c == L'/') c = L'\\';
  }
  return dir;
}

// The servers' folder as Wine's Z: drive shows it.
std::wstring ServersDir() { return HostDir(SETUP_SERVERS_DIR); }

std::wstring LogPath(ServerLog log) {
  if (log == ServerLog::kProxy) return HostDir(SETUP_PROXY_DIR) + L"logs\\access.log";
  return ServersDir() + (log == ServerLog::kNginx ? L"logs\\access.log" : L"logs\\fault.log");
}

}  // namespace

std::wstring WebRoot() { return ServersDir() + L"www\\"; }

std::string MakeFile(const std::wstring& name, int size) {
  static std::mt19937 random(::GetTickCount() ^ ::GetCurrentProcessId());
  std::string bytes(static_cast<size_t>(size), '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  TestSupport::WriteFileBytes(WebRoot() + name, bytes);
  return bytes;
}

bool MakeHollowFile(const std::wstring& path, long long size) {
  // The folder may be one no earlier test of a fresh web root has made.
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) Base::CreateFolderTree(path.substr(0, slash));
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  LARGE_INTEGER end = {};
  end.QuadPart = size;
  return file && ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

LogMark::LogMark(ServerLog log) : path_(LogPath(log)), start_(TestSupport::ReadFileBytes(path_).size()) {}

std::string LogMark::Text() const {
  std::string all = TestSupport::ReadFileBytes(path_);
  return all.size() >= start_ ? all.substr(start_) : all;
}

int LogMark::CountLines(const std::string& part) const {
  std::string text = Text();
  int count = 0;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    if (text.substr(begin, end - begin).find(part) != std::string::npos) ++count;
    begin = end + 1;
  }
  return count;
}

std::string UniqueToken(const char* tag) {
  static int counter = 0;
  return std::string(tag) + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(::GetTickCount()) +
         "-" + std::to_string(++counter);
}

ServerSwitch::ServerSwitch(const wchar_t* name, const std::string& content) : path_(WebRoot() + name) {
  TestSupport::WriteFileBytes(path_, content);
}

ServerSwitch::~ServerSwitch() { ::DeleteFileW(path_.c_str()); }

}  // namespace TestServers
