#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZipWriter.h"
#include "toolkit/skin/ZipArchive.h"

using SkinUI::CZipArchive;
using namespace ZipTest;

namespace {

std::string Text(const std::vector<unsigned char>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Compresses well but is not one repeated byte, so the deflate stream has real structure.
std::string Lines(size_t size) {
  std::string text;
  for (size_t i = 0; text.size() < size; ++i) text += "line " + std::to_string(i % 97) + " of the pack\r\n";
  return text.substr(0, size);
}

std::wstring BuildFile(const std::wstring& name) { return TestSupport::BuildFile(L"packages/" + name); }

// One character per entry, "+" read and "-" refused, or "closed" when the archive does not open.
std::string Outcome(const std::string& zip) {
  GuardedBuffer buffer(zip);
  CZipArchive archive;
  if (!archive.Open(buffer.data(), buffer.size())) return "closed";
  std::string outcome;
  for (int i = 0; i < archive.GetEntryCount(); ++i) {
    std::vector<unsigned char> bytes;
    bool ok = archive.ReadEntry(i, bytes);
    EXPECT_EQ(bytes.size(), ok ? archive.GetEntryInfo(i)->uncompressedSize : 0u);
    outcome += ok ? '+' : '-';
  }
  return outcome;
}

}  // namespace

TEST(ZipArchiveRead, ListsAndReadsStoredDeflatedAndEmptyEntries) {
  const std::string big = Lines(200000);
  std::string zip = ZipWriter()
                        .Add("docs/", "")
                        .Add("readme.txt", "hello")
                        .LocalExtra(std::string("UT\x05\0\1\0\0\0\0", 9))  // a time stamp
                        .Add("docs/big.txt", big, true)
                        .Add("empty", "")
                        .Build();
  GuardedBuffer buffer(zip);
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(buffer.data(), buffer.size()));
  ASSERT_EQ(archive.GetEntryCount(), 4);
  EXPECT_TRUE(archive.GetEntryInfo(0)->isFolder);
  EXPECT_FALSE(archive.GetEntryInfo(2)->isFolder);
  EXPECT_EQ(archive.GetEntryInfo(2)->method, SkinUI::kZipDeflated);
  EXPECT_EQ(archive.GetEntryInfo(2)->uncompressedSize, big.size());
  EXPECT_LT(archive.GetEntryInfo(2)->compressedSize, big.size() / 10);
  EXPECT_EQ(archive.GetEntryInfo(4), nullptr);

  std::vector<unsigned char> bytes;
  ASSERT_TRUE(archive.ReadEntry(1, bytes));
  EXPECT_EQ(Text(bytes), "hello");
  ASSERT_TRUE(archive.ReadEntry(2, bytes));
  EXPECT_EQ(Text(bytes), big);
  ASSERT_TRUE(archive.ReadEntry(3, bytes));
  EXPECT_TRUE(bytes.empty());
  bytes.assign(3, 'x');
  EXPECT_FALSE(archive.ReadEntry(4, bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_FALSE(archive.ReadEntry(-1, bytes));
}

TEST(ZipArchiveRead, DecodesNamesAndFindsThemIgnoringCaseAndSlashes) {
  std::string zip = ZipWriter()
                        .Add("Skin/Main.XML", "m")
                        .Add("skin\\icons\\Close.png", "c")
                        .Add("\303\234ber/\345\220\215.txt", "u", false, kUtf8Flag)
                        .Add("caf\x82.txt", "c")  // no UTF-8 flag: code page 437
                        .Build();
  CZipArchive archive;
  ASSERT_TRUE(archive.Open(zip.data(), zip.size()));
  EXPECT_EQ(archive.GetEntryInfo(2)->name, L"\u00DCber/\u540D.txt");
  EXPECT_EQ(archive.GetEntryInfo(3)->name, L"caf\u00E9.txt");
  EXPECT_EQ(archive.FindEntry(L"skin\\main.xml"), 0);
  EXPECT_EQ(archive.FindEntry(L"SKIN/ICONS/close.PNG"), 1);
  EXPECT_EQ(archive.FindEntry(L"\u00FCBER\\\u540D.TXT"), 2);
  for (const wchar_t* missing : {L"Main.XML", L"Skin/Main.XM", L"Skin/Main.XML/", L""})
    EXPECT_EQ(archive.FindEntry(missing), -1);
}

TEST(ZipArchiveRead, FindsTheEndRecordBehindAComment) {
  // The comment holds an end-record signature of its own that must not be taken for the real one.
  EXPECT_EQ(Outcome(ZipWriter().Add("a.txt", Lines(1000), true).Build("PK\x05\x06 made by hand, not a record")), "+");
  EXPECT_EQ(Outcome(ZipWriter().Build()), "");
}

TEST(ZipArchiveRead, ReadsTheBuiltLanguagePackFromDisk) {
  CZipArchive archive;
  ASSERT_TRUE(archive.OpenFile(BuildFile(L"language.zip")));
  ASSERT_EQ(archive.GetEntryCount(), 92);
  int index = 0;
  for (const wchar_t* language : {L"Arabic", L"Chinese", L"ChineseTW", L"English", L"French", L"Indonesian",
                                  L"Japanese", L"Korean", L"Spanish", L"Swedish"}) {
    EXPECT_TRUE(archive.GetEntryInfo(index)->isFolder);
    EXPECT_EQ(archive.GetEntryInfo(index++)->name, std::wstring(language) + L"/");
    for (const wchar_t* file : {L"pr_1.png", L"pr_1@2x.png", L"pr_2.png", L"pr_2@2x.png", L"pr_3.png", L"pr_3@2x.png",
                                L"text.ini", L"UrlInfo.ini"})
      EXPECT_EQ(archive.GetEntryInfo(index++)->name, std::wstring(language) + L"/" + file);
  }
  EXPECT_EQ(archive.GetEntryInfo(90)->name, L"language.ini");
  EXPECT_EQ(archive.GetEntryInfo(91)->name, L"productInfo.ini");
  std::vector<unsigned char> bytes;
  for (int i = 0; i < archive.GetEntryCount(); ++i) EXPECT_TRUE(archive.ReadEntry(i, bytes)) << i;
  ASSERT_TRUE(archive.ReadEntry(archive.FindEntry(L"english\\PR_1.PNG"), bytes));
  EXPECT_EQ(Text(bytes).substr(0, 4), "\x89PNG");

  EXPECT_TRUE(archive.OpenFile(BuildFile(L"skin.zip")));
  EXPECT_FALSE(archive.OpenFile(BuildFile(L"missing.zip")));
  EXPECT_FALSE(archive.IsOpen());
}

// Damage to one entry's fields loses that entry only; damage to the directory loses what follows.
class ZipArchiveDamage : public testing::Test {
 protected:
  void SetUp() override {
    zip_ = writer_.Add("first.txt", Lines(3000), true).Add("second.txt", Lines(5000), true).Add("third", "3").Build();
  }
  std::string Damaged(const std::function<void(std::string&)>& damage) const {
    std::string zip = zip_;
    damage(zip);
    return Outcome(zip);
  }
  size_t Central(size_t entry, size_t field) const { return writer_.placed[entry].central + field; }

  ZipWriter writer_;
  std::string zip_;
};

TEST_F(ZipArchiveDamage, EachDamageLosesOnlyWhatItMust) {
  EXPECT_EQ(Outcome(zip_), "+++");
  const Placed& second = writer_.placed[1];
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* expected;
  } cases[] = {
      {"reserved block type", [&](std::string& z) { z[second.data] = '\xFF'; }, "+-+"},
      {"scrambled deflate data",
       [&](std::string& z) {
         for (size_t i = second.dataSize / 3; i < second.dataSize / 2; ++i) z[second.data + i] ^= 0x5A;
       },
       "+-+"},
      {"wrong CRC", [&](std::string& z) { Put(z, Central(0, kCrc), Crc(Lines(3000)) ^ 1); }, "-++"},
      {"size one more", [&](std::string& z) { Put(z, Central(1, kSize), 5001); }, "+-+"},
      {"size one less", [&](std::string& z) { Put(z, Central(1, kSize), 4999); }, "+-+"},
      {"stored sizes differ", [&](std::string& z) { Put(z, Central(2, kSize), 4); }, "++-"},
      {"compressed past end", [&](std::string& z) { Put(z, Central(0, kCompressed), 0x7FFFFFF0); }, "-++"},
      {"absurd size", [&](std::string& z) { Put(z, Central(1, kSize), SkinUI::kMaxZipEntrySize + 1); }, "+-+"},
      {"Zip64 marker", [&](std::string& z) { Put(z, Central(1, kSize), 0xFFFFFFFF); }, "+-+"},
      {"encrypted", [&](std::string& z) { Put(z, Central(0, kFlags), 1, 2); }, "-++"},
      {"bzip2", [&](std::string& z) { Put(z, Central(2, kMethod), 12, 2); }, "++-"},
      {"local header past end", [&](std::string& z) { Put(z, Central(1, kLocalOffset), z.size() - 10); }, "+-+"},
      {"no local header there", [&](std::string& z) { Put(z, Central(0, kLocalOffset), 5); }, "-++"},
      {"local name past end", [&](std::string& z) { Put(z, writer_.placed[2].local + kLocalNameLength, 0xFFFF, 2); },
       "++-"},
      {"last central name past end", [&](std::string& z) { Put(z, Central(2, kNameLength), 0xFFFF, 2); }, "++"},
      {"second central record", [&](std::string& z) { Put(z, Central(1, 0), 0x12345678); }, "+"},
      {"first central record", [&](std::string& z) { Put(z, Central(0, 0), 0x12345678); }, "closed"},
      {"directory past end", [&](std::string& z) { Put(z, writer_.endRecord + kEndDirectoryOffset, z.size()); },
       "closed"},
  };
  for (const Case& c : cases) EXPECT_EQ(Damaged(c.damage), c.expected) << c.what;

  CZipArchive archive;
  std::string absurd = zip_;
  Put(absurd, Central(1, kSize), SkinUI::kMaxZipEntrySize + 1);
  ASSERT_TRUE(archive.Open(absurd.data(), absurd.size()));
  EXPECT_FALSE(archive.GetEntryInfo(1)->supported);
}

TEST_F(ZipArchiveDamage, TruncatedOrRandomlyDamagedArchivesNeverReadPastTheEnd) {
  for (size_t length = 0; length < zip_.size(); ++length) EXPECT_EQ(Outcome(zip_.substr(0, length)), "closed");
  // A download that lost a piece in the middle keeps its end record, whose offsets now overshoot.
  for (size_t cut = 0; cut + 64 < zip_.size(); cut += 37) Outcome(zip_.substr(0, cut) + zip_.substr(cut + 64));
  EXPECT_EQ(Outcome(zip_ + "junk"), "+++");  // bytes behind the end record pass for a comment

  uint32_t seed = 12345;
  auto next = [&seed](uint32_t limit) { return ((seed = seed * 1664525u + 1013904223u) >> 8) % limit; };
  int opened = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string zip = zip_;
    for (uint32_t hits = 1 + next(4); hits > 0; --hits) zip[next(static_cast<uint32_t>(zip.size()))] = char(next(256));
    opened += Outcome(zip) != "closed";
  }
  EXPECT_GT(opened, 500);  // most damage spares the directory, so the entries really were tried
}
