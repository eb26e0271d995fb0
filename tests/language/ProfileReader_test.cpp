#include <gtest/gtest.h>

#include <map>
#include <string>

#include "IniFiles.h"
#include "TestSupport.h"
#include "language/ProfileReader.h"

using TestSupport::ScratchDir;
using Table = std::map<std::wstring, std::wstring>;

class ProfileFiles : public testing::Test {
 protected:
  ScratchDir dir_;
  std::wstring unicode_ = dir_ / L"unicode.ini";
  std::wstring ansi_ = dir_ / L"ansi.ini";

  void SetUp() override {
    const char lines[] =
        "[First]\nA=1\n  Spaced   =   inner  blanks  \nUrl=https://h/p?key=x&lang=y\nBare\n"
        "[Second]\nA=2\nOnlySecond=yes\n";
    ASSERT_TRUE(WriteUtf16Ini(unicode_, TestSupport::Wide(lines) + L"[Third]\nArabic=\u062A\u062B\u0628\n"));
    ASSERT_TRUE(WriteAnsiIni(ansi_, lines));
  }
};

TEST_F(ProfileFiles, StringsFromBothEncodings) {
  for (const std::wstring& file : {unicode_, ansi_}) {
    EXPECT_EQ(L"1", ReadProfileString(file, L"First", L"A"));
    EXPECT_EQ(L"2", ReadProfileString(file, L"Second", L"A"));
    EXPECT_EQ(L"inner  blanks", ReadProfileString(file, L"First", L"Spaced"));
    EXPECT_EQ(L"", ReadProfileString(file, L"First", L"OnlySecond"));
  }
  EXPECT_EQ(L"\u062A\u062B\u0628", ReadProfileString(unicode_, L"Third", L"Arabic"));
  EXPECT_EQ(L"", ReadProfileString(dir_ / L"missing.ini", L"First", L"A"));
  ASSERT_TRUE(WriteUtf16Ini(unicode_, L"[S]\nLong=" + std::wstring(300, L'v') + L"\n"));
  EXPECT_EQ(std::wstring(255, L'v'), ReadProfileString(unicode_, L"S", L"Long"));
}

TEST_F(ProfileFiles, SectionsFromBothEncodingsMergeIntoWhatIsThere) {
  for (const std::wstring& file : {unicode_, ansi_}) {
    Table table = {{L"A", L"old"}, {L"Kept", L"stays"}};
    ReadProfileSection(file, L"First", table);
    EXPECT_EQ((Table{{L"A", L"1"},
                     {L"Bare", L""},
                     {L"Kept", L"stays"},
                     {L"Spaced", L"inner  blanks"},
                     {L"Url", L"https://h/p?key=x&lang=y"}}),  // split at the first "=" only
              table);
  }
  Table table;
  ReadProfileSection(dir_ / L"missing.ini", L"First", table);
  ReadProfileSection(unicode_, L"NoSuchSection", table);
  EXPECT_TRUE(table.empty());
}

TEST_F(ProfileFiles, OversizedSectionIsCutWithoutReadingPastTheBuffer) {
  std::wstring text = L"[Big]\n";
  for (int i = 100; i < 200; ++i) text += L"KEY" + std::to_wstring(i) + L"=" + std::wstring(60, L'v') + L"\n";
  ASSERT_TRUE(WriteUtf16Ini(unicode_, text + L"[After]\nTail=1\n"));
  Table table;
  ReadProfileSection(unicode_, L"Big", table);
  // About 7,000 characters go into 4,096: the first entries arrive whole, only the last may be cut.
  EXPECT_GT(table.size(), 50u);
  EXPECT_LT(table.size(), 100u);
  EXPECT_EQ(0u, table.count(L"Tail"));
  size_t whole = 0;
  for (const auto& entry : table) whole += entry.first.size() == 6 && entry.second == std::wstring(60, L'v');
  EXPECT_GE(whole, table.size() - 1);
}
