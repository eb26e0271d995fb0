#pragma once

// The JSON body of one event of the current Measurement Protocol:
// {"client_id":"C","events":[{"name":"N","params":{"event_category":"A","event_label":"B",
// "session_id":S,"engagement_time_msec":E}}]}, a failed download adding "failure_reason", and
// "install_mode" ("interactive", "passive" or "quiet") when the run says how it was started. The
// collection service shows an event in its reports only with a session and an engagement time.
// Strings are UTF-8 with JSON escapes; parameter values are cut to the protocol's 100 characters
// (longer ones are not collected).

#include <string>

struct MpEvent {
  const char* name;  // letters, digits and underscores, starting with a letter, at most 40 characters
  std::wstring category;
  std::wstring label;
  const char* failureReason = nullptr;
  unsigned long long sessionId = 0;     // one per run
  unsigned long long engagementMs = 1;  // milliseconds since the run's previous event
  const char* installMode = nullptr;    // "install_mode": how the run was started; null: left out
};

std::string BuildMpEventBody(const std::wstring& clientId, const MpEvent& event);

// `text` as a quoted JSON string in UTF-8, at most `maxCharacters` characters of it (0: all). An
// unpaired surrogate becomes U+FFFD.
std::string JsonString(const std::wstring& text, size_t maxCharacters = 0);
