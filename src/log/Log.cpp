#include "log/Log.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/dist_sink.h>
#include <spdlog/spdlog.h>

#include "log/FaultGuard.h"
#include "log/RollingFileSink.h"
#include "base/Scoped.h"
#include "base/FileSystem.h"
#include "base/ModulePath.h"

namespace {

const char kFatalText[] = "***Fatal Error Check,Please Fix it!***";
// Date, a blank, the message, a line end and a blank: every record after the first begins with that
// blank, a layout older tools that read these logs expect.
const char kPattern[] = "%Y-%m-%d %H:%M:%S,%e %v";
const char kLineEnd[] = "\r\n ";

// File name of the module holding this code, cut at its first ".": setup.exe gives "setup".
std::string ComputeModuleBaseName() {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ComputeModuleBaseName), &module);
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(module, path, MAX_PATH);
  std::string name(path);
  size_t slash = name.find_last_of('\\');
  if (slash != std::string::npos) name.erase(0, slash + 1);
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

struct LogState {
  std::string moduleBaseName = ComputeModuleBaseName();
  Scoped::CriticalSection configLock;
  std::shared_ptr<Log::RollingFileSink> sink;
  // Every record goes to each file in it: the log of the work folder and a copy the caller asked for.
  std::shared_ptr<spdlog::sinks::dist_sink_mt> files;
  std::shared_ptr<spdlog::logger> logger;
  // Writers hold it shared; the last record is written under it exclusively, so that a record being
  // written meanwhile comes before it and none comes after.
  SRWLOCK closeLock = SRWLOCK_INIT;
  bool closed = false;  // under closeLock
};

// Built before main runs (the first static user of the log may be any thread), never destroyed, so
// records written during static destruction still find it.
LogState& State() {
  static LogState* state = new LogState();
  return *state;
}
const bool g_stateBuiltEarly = (State(), true);

std::wstring AnsiToWide(const std::string& text) {
  int size = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1) return {};
  std::wstring out(size - 1, L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], size);
  return out;
}

std::shared_ptr<Log::RollingFileSink> MakeFileSink(const std::wstring& path) {
  auto sink = std::make_shared<Log::RollingFileSink>(path, Log::kMaxFileSize);
  sink->set_formatter(
      std::make_unique<spdlog::pattern_formatter>(kPattern, spdlog::pattern_time_type::local, kLineEnd));
  return sink;
}

void Configure(LogState& state, const wchar_t* fileName, const wchar_t* folder) {
  if (state.logger) return;
  std::wstring dir = (folder && *folder) ? std::wstring(folder) : Base::ModuleFolder() + L"Log";
  std::wstring name = (fileName && *fileName) ? std::wstring(fileName) : AnsiToWide(state.moduleBaseName) + L".log";
  Base::CreateFolderTree(dir);
  state.sink = MakeFileSink(dir + L"\\" + name);
  state.files = std::make_shared<spdlog::sinks::dist_sink_mt>();
  state.files->add_sink(state.sink);
  auto logger = std::make_shared<spdlog::logger>(state.moduleBaseName, state.files);
  logger->set_level(spdlog::level::debug);
  logger->flush_on(spdlog::level::off);
  state.logger = std::move(logger);
}

spdlog::logger& ConfiguredLogger() {
  LogState& state = State();
  Scoped::LeaveCriticalSection lock(state.configLock);
  Configure(state, nullptr, nullptr);
  return *state.logger;
}

bool ToSpdlogLevel(int level, spdlog::level::level_enum& out) {
  switch (level) {
    case Log::kDebug:
      out = spdlog::level::debug;
      return true;
    case Log::kInfo:
      out = spdlog::level::info;
      return true;
    case Log::kWarn:
      out = spdlog::level::warn;
      return true;
    case Log::kError:
      out = spdlog::level::err;
      return true;
    default:
      return false;
  }
}

void EmitUnlocked(spdlog::level::level_enum level, const std::string& text) {
  try {
    ConfiguredLogger().log(level, spdlog::string_view_t(text));
  } catch (...) {
    // The log must never take the installer down with it.
  }
}

void Emit(int level, const std::string& text) {
  spdlog::level::level_enum spdLevel;
  if (text.empty() || !ToSpdlogLevel(level, spdLevel)) return;
  LogState& state = State();
  Scoped::SharedSrwLock lock(state.closeLock);
  if (!state.closed) EmitUnlocked(spdLevel, text);
}

const char* FileNameOnly(const char* path) {
  const char* name = path ? path : "";
  for (const char* p = name; *p; ++p) {
    if (*p == '\\' || *p == '/') name = p + 1;
  }
  return name;
}

// "void CHttpDownload::CheckParam(int)" -> "CHttpDownload::CheckParam".
std::string ShortFunctionName(const char* function) {
  std::string name(function ? function : "");
  size_t paren = name.find('(');
  if (paren != std::string::npos) name.erase(paren);
  size_t blank = name.find_last_of(' ');
  if (blank != std::string::npos) name.erase(0, blank + 1);
  return name;
}

std::string FatalRecord(const char* function, const char* file, int line) {
  std::string shortName = ShortFunctionName(function);
  const char* fileName = FileNameOnly(file);
  int size = std::snprintf(nullptr, 0, "[%s:%d][%s] %s", fileName, line, shortName.c_str(), kFatalText);
  std::string out(size > 0 ? size : 0, '\0');
  std::snprintf(&out[0], out.size() + 1, "[%s:%d][%s] %s", fileName, line, shortName.c_str(), kFatalText);
  return out;
}

// Formats into an exactly sized buffer. Uses the C runtime's own printf family so that "%s" in a wide
// format means a wide string, as everywhere in Windows code.
bool FormatNarrow(const char* format, va_list args, std::string& out) {
  va_list measure;
  va_copy(measure, args);
  int length = _vscprintf(format, measure);
  va_end(measure);
  if (length < 0) return false;
  out.assign(static_cast<size_t>(length), '\0');
  return _vsnprintf(&out[0], out.size() + 1, format, args) >= 0;
}

bool FormatWideText(const wchar_t* format, va_list args, std::wstring& out) {
  va_list measure;
  va_copy(measure, args);
  int length = _vscwprintf(format, measure);
  va_end(measure);
  if (length < 0) return false;
  out.assign(static_cast<size_t>(length), L'\0');
  return _vsnwprintf(&out[0], out.size() + 1, format, args) >= 0;
}

std::string WideToOem(const std::wstring& text) {
  if (text.empty()) return {};
  int size =
      ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_OEMCP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  return out;
}

}  // namespace

void LogInit(const wchar_t* fileName, const wchar_t* folder) {
  LogState& state = State();
  Scoped::LeaveCriticalSection lock(state.configLock);
  Configure(state, fileName, folder);
}

bool LogCopyTo(const std::wstring& path) {
  LogState& state = State();
  Scoped::LeaveCriticalSection lock(state.configLock);
  Configure(state, nullptr, nullptr);
  if (_wcsicmp(path.c_str(), state.sink->path().c_str()) == 0) return true;  // it is the log itself
  const size_t slash = path.find_last_of(L'\\');
  if (slash != std::wstring::npos && slash > 0) Base::CreateFolderTree(path.substr(0, slash));
  auto copy = MakeFileSink(path);
  if (!copy->IsOpen()) return false;
  state.files->add_sink(copy);
  return true;
}

void LogClose(const std::string& lastRecord) {
  LogState& state = State();
  Scoped::ExclusiveSrwLock lock(state.closeLock);
  if (state.closed) return;
  EmitUnlocked(spdlog::level::info, lastRecord);
  state.closed = true;
}

const wchar_t* LogFilePath() {
  LogState& state = State();
  Scoped::LeaveCriticalSection lock(state.configLock);
  return state.sink ? state.sink->path().c_str() : L"";
}

void WriteLogV(const char* function, const char* file, int line, int level, const char* format, va_list args) {
  if (!format || !*format) return;
  std::string text;
  // A format that does not match its arguments may fault inside the C runtime; the record then
  // names the caller instead of taking the process down. Only formatting runs guarded: no lock
  // is held there, so unwinding out of it cannot leave one taken.
  bool formatted = Log::RunGuarded([&] { return FormatNarrow(format, args, text); });
  Emit(level, formatted ? text : FatalRecord(function, file, line));
}

void WriteLog(const char* function, const char* file, int line, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogV(function, file, line, level, format, args);
  va_end(args);
}

void WriteLogWV(const char* function, const char* file, int line, int level, const wchar_t* format, va_list args) {
  if (!format || !*format) return;
  std::wstring text;
  bool formatted = Log::RunGuarded([&] { return FormatWideText(format, args, text); });
  Emit(level, formatted ? WideToOem(text) : FatalRecord(function, file, line));
}

void WriteLogW(const char* function, const char* file, int line, int level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLogWV(function, file, line, level, format, args);
  va_end(args);
}

namespace {
bool FormatMessageText(const char* format, va_list args, std::string& text) {
  return format && *format && Log::RunGuarded([&] { return FormatNarrow(format, args, text); });
}
}  // namespace

void DebugTrace(const char* format, ...) {
  std::string text;
  va_list args;
  va_start(args, format);
  bool formatted = FormatMessageText(format, args, text);
  va_end(args);
  if (!formatted) return;
  std::printf("%s", text.c_str());
  std::fflush(stdout);
  ::OutputDebugStringA(text.c_str());
}

void ShowAssertBox(const char* expression, const char* function, int line, const char* message) {
  static constexpr char boxFormat[] = "Assert(%s);\n (in function %s,at line %d)\n is Debug?\n%s\n";
  std::string shortName = ShortFunctionName(function);
  int size = std::snprintf(nullptr, 0, boxFormat, expression, shortName.c_str(), line, message ? message : "");
  std::string text(size > 0 ? size : 0, '\0');
  std::snprintf(&text[0], text.size() + 1, boxFormat, expression, shortName.c_str(), line, message ? message : "");
  if (::MessageBoxA(nullptr, text.c_str(), "AssertError!", MB_YESNO) == IDYES && ::IsDebuggerPresent()) ::DebugBreak();
}

void AssertCheck(bool condition, const char* expression, const char* function, int line) {
  if (!condition) ShowAssertBox(expression, function, line, "");
}

void AssertCheckMsg(bool condition, const char* expression, const char* function, int line, const char* format, ...) {
  if (condition) return;
  std::string text;
  va_list args;
  va_start(args, format);
  FormatMessageText(format, args, text);
  va_end(args);
  ShowAssertBox(expression, function, line, text.c_str());
}
