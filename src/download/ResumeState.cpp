#include "download/ResumeState.h"

#include <windows.h>

#include <climits>
#include <sstream>

#include "base/Scoped.h"
#include "base/TextHelper.h"

namespace {

const char kHeader[] = "download-state 1";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length =
      ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], length);
  return out;
}

bool WriteAll(const std::wstring& path, const std::string& text) {
  Scoped::CloseFile file(
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size() && ::FlushFileBuffers(file.get());
}

// A state file is a few hundred bytes; anything much larger is not one.
bool ReadSmallFile(const std::wstring& path, std::string& text) {
  Scoped::CloseFile file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return false;
  std::string buffer(65536, '\0');
  DWORD read = 0;
  if (!::ReadFile(file.get(), &buffer[0], static_cast<DWORD>(buffer.size()), &read, nullptr) || read == buffer.size()) {
    return false;
  }
  text.assign(buffer, 0, read);
  return true;
}

bool ParseNumber(const std::string& text, long long& value) {
  return ParseDecimal(std::wstring(text.begin(), text.end()), LLONG_MAX, value);
}

bool ParsePiece(const std::string& text, ResumeState::Piece& piece) {
  std::istringstream fields(text);
  std::string start, end, next, extra;
  return (fields >> start >> end >> next) && !(fields >> extra) && ParseNumber(start, piece.nStart) &&
         ParseNumber(end, piece.nEnd) && ParseNumber(next, piece.nNext);
}

}  // namespace

std::wstring ResumeState::PathFor(const std::wstring& savePath) { return savePath + L".state"; }

bool ResumeState::Save(const std::wstring& path) const {
  std::ostringstream out;
  out << kHeader << "\nurl " << Utf8(strUrl) << "\nsize " << nSize << "\nvalidator " << Utf8(strValidator) << "\ntls "
      << (bOverTls ? 1 : 0) << "\n";
  for (const Piece& piece : vecPieces)
    out << "range " << piece.nStart << " " << piece.nEnd << " " << piece.nNext << "\n";
  out << "end\n";
  const std::wstring temporary = path + L".tmp";
  if (!WriteAll(temporary, out.str())) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return ::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool ResumeState::Load(const std::wstring& path, std::string& why) {
  std::string text;
  if (!ReadSmallFile(path, text)) {
    why = "there is no state to go on from";
    return false;
  }
  std::istringstream in(text);
  std::string line;
  if (!std::getline(in, line) || line != kHeader) {
    why = "the state file is not one of this program's";
    return false;
  }
  why = "the state file is damaged";
  bool ended = false, sized = false;
  while (!ended && std::getline(in, line)) {
    const size_t blank = line.find(' ');
    const std::string key = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
    Piece piece;
    if (key == "url") {
      strUrl = FromUtf8(value);
    } else if (key == "size" && ParseNumber(value, nSize)) {
      sized = true;
    } else if (key == "validator") {
      strValidator = FromUtf8(value);
    } else if (key == "tls" && (value == "0" || value == "1")) {
      bOverTls = value == "1";
    } else if (key == "range" && ParsePiece(value, piece)) {
      vecPieces.push_back(piece);
    } else if (key == "end" && blank == std::string::npos) {
      ended = true;
    } else {
      return false;
    }
  }
  if (!ended || !sized || !PiecesAreWhole()) return false;
  why.clear();
  return true;
}

bool ResumeState::PiecesAreWhole() const {
  long long expected = 0;
  for (const Piece& piece : vecPieces) {
    if (piece.nStart != expected || piece.nEnd < piece.nStart || piece.nNext < piece.nStart ||
        piece.nNext > piece.nEnd + 1) {
      return false;
    }
    expected = piece.nEnd + 1;
  }
  return !vecPieces.empty() && expected == nSize;
}

long long ResumeState::WrittenBytes() const {
  long long written = 0;
  for (const Piece& piece : vecPieces) written += piece.nNext - piece.nStart;
  return written;
}

long long ResumeState::FurthestWrite() const {
  long long furthest = 0;
  for (const Piece& piece : vecPieces) {
    if (piece.nNext > piece.nStart && piece.nNext > furthest) furthest = piece.nNext;
  }
  return furthest;
}
