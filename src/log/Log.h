#pragma once

// The installer's rolling log: "pelarin_down.log" (10 MiB, one backup, appended), one record per call:
// "YYYY-MM-DD hh:mm:ss,mmm message", a line end and a blank. Callers log through the LOG_* macros,
// which pass their function, file and line so that a record whose formatting faults can name them.

#include <cstdarg>
#include <string>

namespace Log {

enum Level { kDebug = 0, kInfo = 1, kWarn = 2, kError = 3 };

// Maximum size of the log file before it is moved to the single backup "<file>.1".
constexpr unsigned long kMaxFileSize = 10485760;

}  // namespace Log

// Configures the facility once; later calls change nothing. A null or empty folder means "Log"
// beside the running executable; a null or empty file name means "<module base name>.log".
void LogInit(const wchar_t* fileName, const wchar_t* folder);

// From now on every record goes to the file at `path` as well (its missing folders are created).
// False, and nothing changes, when the file cannot be opened for appending.
bool LogCopyTo(const std::wstring& path);

// Writes `lastRecord` as the file's last record: one another thread is writing meanwhile comes
// before it, and every record written afterwards is dropped.
void LogClose(const std::string& lastRecord);

// Narrow formats are checked by the compiler against their arguments; wide ones (which it cannot
// check) take wide strings as %ls and narrow ones as %hs.
#define SETUP_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))

void WriteLog(const char* function, const char* file, int line, int level, const char* format, ...)
    SETUP_PRINTF_FORMAT(5, 6);
void WriteLogW(const char* function, const char* file, int line, int level, const wchar_t* format, ...);
void WriteLogV(const char* function, const char* file, int line, int level, const char* format, va_list args);
void WriteLogWV(const char* function, const char* file, int line, int level, const wchar_t* format, va_list args);

// Formats to standard output and the debugger.
void DebugTrace(const char* format, ...) SETUP_PRINTF_FORMAT(1, 2);

void AssertCheck(bool condition, const char* expression, const char* function, int line);
void AssertCheckMsg(bool condition, const char* expression, const char* function, int line, const char* format, ...)
    SETUP_PRINTF_FORMAT(5, 6);
void ShowAssertBox(const char* expression, const char* function, int line, const char* message);

// Full path of the file the facility writes to; empty before it is configured.
const wchar_t* LogFilePath();

#define LOG_INFO(...) WriteLog(__PRETTY_FUNCTION__, __FILE__, __LINE__, Log::kInfo, __VA_ARGS__)
#define LOG_INFOW(...) WriteLogW(__PRETTY_FUNCTION__, __FILE__, __LINE__, Log::kInfo, __VA_ARGS__)
#define LOG_DEBUG(...) WriteLog(__PRETTY_FUNCTION__, __FILE__, __LINE__, Log::kDebug, __VA_ARGS__)
#define LOG_ERROR(...) WriteLog(__PRETTY_FUNCTION__, __FILE__, __LINE__, Log::kError, __VA_ARGS__)

#define SETUP_ASSERT(expr) AssertCheck(!!(expr), #expr, __PRETTY_FUNCTION__, __LINE__)
#define SETUP_ASSERT_MSG(expr, ...) AssertCheckMsg(!!(expr), #expr, __PRETTY_FUNCTION__, __LINE__, __VA_ARGS__)
