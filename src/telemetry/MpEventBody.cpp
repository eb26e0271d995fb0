#include "telemetry/MpEventBody.h"

#include <cstdio>
#include <string>

namespace {

constexpr size_t kMaxParameterValue = 100;
constexpr unsigned kReplacement = 0xFFFD;

// The code point at text[i], advancing i past it.
unsigned NextCodePoint(const std::wstring& text, size_t& i) {
  unsigned unit = static_cast<unsigned>(text[i++]) & 0xFFFF;
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    if (i < text.size()) {
      unsigned low = static_cast<unsigned>(text[i]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        ++i;
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      }
    }
    return kReplacement;
  }
  return (unit >= 0xDC00 && unit <= 0xDFFF) ? kReplacement : unit;
}

void AppendUtf8(std::string& out, unsigned c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendEscaped(std::string& out, unsigned c) {
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      break;
  }
  if (c < 0x20) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", c);
    out += escape;
  } else {
    AppendUtf8(out, c);
  }
}

std::string Member(const char* name, const std::string& jsonValue) {
  return std::string("\"") + name + "\":" + jsonValue;
}

std::string AsciiJson(const char* text) {
  std::wstring wide;
  for (const char* p = text; *p; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
  return JsonString(wide);
}

}  // namespace

std::string JsonString(const std::wstring& text, size_t maxCharacters) {
  std::string out = "\"";
  size_t count = 0;
  for (size_t i = 0; i < text.size() && (maxCharacters == 0 || count < maxCharacters); ++count)
    AppendEscaped(out, NextCodePoint(text, i));
  return out + "\"";
}

std::string BuildMpEventBody(const std::wstring& clientId, const MpEvent& event) {
  std::string params = Member("event_category", JsonString(event.category, kMaxParameterValue)) + "," +
                       Member("event_label", JsonString(event.label, kMaxParameterValue)) + "," +
                       Member("session_id", std::to_string(event.sessionId)) + "," +
                       Member("engagement_time_msec", std::to_string(event.engagementMs));
  if (event.failureReason) params += "," + Member("failure_reason", AsciiJson(event.failureReason));
  if (event.installMode) params += "," + Member("install_mode", AsciiJson(event.installMode));
  std::string item = "{" + Member("name", AsciiJson(event.name)) + "," + Member("params", "{" + params + "}") + "}";
  return "{" + Member("client_id", JsonString(clientId)) + "," + Member("events", "[" + item + "]") + "}";
}
