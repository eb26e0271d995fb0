#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

#include "TestSupport.h"
#include "base/TextHelper.h"

namespace {
std::wstring Replaced(std::wstring text, const std::wstring& search, const std::wstring& replacement) {
  ReplaceAll(text, search, replacement);
  return text;
}
}  // namespace

TEST(ReplaceAll, Occurrences) {
  EXPECT_EQ(L"Brenmark and Brenmark", Replaced(L"BRAND and BRAND", L"BRAND", L"Brenmark"));
  EXPECT_EQ(L"line1line2", Replaced(L"line1\r\nline2\r\n", L"\r\n", L""));
  EXPECT_EQ(L"brand", Replaced(L"brand", L"Brand", L"x"));
  EXPECT_EQ(L"aaaa", Replaced(L"aa", L"a", L"aa"));  // would never end if it rescanned the replacement
  EXPECT_EQ(L"abc", Replaced(L"abc", L"", L"x"));
}

TEST(CodePage, ConversionsKeepWhatTheCodePageHolds) {
  EXPECT_EQ(L"Brenmark Solvetta 2.0", NarrowToWide(WideToNarrow(L"Brenmark Solvetta 2.0")));
  if (::GetACP() != 1252) GTEST_SKIP() << "the rest needs a Western European code page";
  EXPECT_EQ("caf\xE9", WideToNarrow(L"caf\u00E9"));
  EXPECT_EQ(L"caf\u00E9 \u20AC", NarrowToWide("caf\xE9 \x80"));
  EXPECT_EQ("ab", WideToNarrow(L"ab\u4E2Dcd"));
  EXPECT_EQ("ab", WideToNarrow(L"ab\U0001F600cd"));
}

TEST(Formatting, WideIsBoundedAndTerminated) {
  wchar_t buffer[8];
  EXPECT_EQ(6, FormatWide(buffer, 8, L"%s-%d", L"abc", 42));
  EXPECT_STREQ(L"abc-42", buffer);  // "%s" takes a wide string, as the runtime reads it
  EXPECT_EQ(7, FormatWide(buffer, 8, L"%s", L"1234567"));
  EXPECT_STREQ(L"1234567", buffer);
  wmemset(buffer, L'#', 8);
  EXPECT_EQ(-1, FormatWide(buffer, 5, L"%s", L"12345678"));
  EXPECT_STREQ(L"1234", buffer);
  EXPECT_EQ(L'#', buffer[5]);
}

TEST(Formatting, Narrow64KeepsAtMostCountCharacters) {
  char buffer[64];
  EXPECT_EQ(-1, FormatNarrow64(buffer, 4, "%s", "abcdefgh"));
  EXPECT_STREQ("abcd", buffer);
  // A count beyond the buffer still stops at its end instead of failing the call.
  EXPECT_EQ(-1, FormatNarrow64(buffer, 200, "%s", std::string(100, 'z').c_str()));
  EXPECT_EQ(std::string(63, 'z'), buffer);
}

TEST(ParseDecimal, TakesDigitsUpToTheLargestAndNothingElse) {
  long long value = -1;
  EXPECT_TRUE(ParseDecimal(L"0", 10, value));
  EXPECT_EQ(value, 0);
  EXPECT_TRUE(ParseDecimal(L"2147483647", 2147483647LL, value));
  EXPECT_EQ(value, 2147483647LL);
  value = 7;
  for (const wchar_t* bad : {L"", L"-1", L"+1", L" 1", L"1 ", L"1a", L"0x10", L"2147483648"}) {
    EXPECT_FALSE(ParseDecimal(bad, 2147483647LL, value)) << TestSupport::Utf8(bad);
  }
  EXPECT_FALSE(ParseDecimal(L"99999999999999999999999", 2147483647LL, value));  // no overflow on the way
  EXPECT_FALSE(ParseDecimal(L"65536", 65535, value));
  EXPECT_EQ(value, 7);  // left alone on failure
}
