#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZipWriter.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/window/UISkinBuilder.h"

using namespace SkinUI;

namespace {

// A skin that uses every feature the builder knows, for when the shipped skins are absent.
const char kSampleSkin[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<Window size=\"650,360\" sizebox=\"4,4,4,4\" caption=\"0,0,0,290\">\n"
    "  <Font id=\"0\" name=\"Segoe UI\" size=\"14\" bold=\"true\" default=\"true\"/>\n"
    "  <Image name=\"pic.png\" mask=\"#FF00FF00\"/>\n"
    "  <Default name=\"Button\" value=\"height=&quot;20&quot; textcolor=&quot;#FF000000&quot;\"/>\n"
    "  <MultiLanguage id=\"1\" value=\"hello &amp; welcome\"/>\n"
    "  <!-- the page -->\n"
    "  <VerticalLayout bkcolor=\"#FF1F1F1F\" inset=\"1,2,3,4\">\n"
    "    <HorizontalLayout height=\"32\"><Label name=\"label_path\" text=\"Path:\" font=\"0\"/>\n"
    "      <Edit name=\"edit_path\" width=\"300\"/><Button name=\"btn\" text=\"Go &gt;&gt;\" cover=\"true\"/>\n"
    "    </HorizontalLayout>\n"
    "    <TabLayout name=\"switch\" selectedid=\"0\"><Include source=\"page.xml\" count=\"2\"/></TabLayout>\n"
    "    <Option group=\"g\" selected=\"true\"/><CheckBox name=\"chk\"/><Progress value=\"50\" max=\"100\"/>\n"
    "    <Text text=\"%{1}\" showhtml=\"true\"/><Unknown a=\"1\"><Control/></Unknown>\n"
    "  </VerticalLayout>\n"
    "</Window>\n";

const char kSamplePage[] =
    "<Window><HorizontalLayout><Control bkimage=\"pic.png\" width=\"10\"/><Button name=\"b2\"/></HorizontalLayout>"
    "</Window>";

struct Sample {
  std::string name;
  std::string bytes;
};

std::vector<Sample> Corpus() {
  std::vector<Sample> corpus = {{"sample.xml", kSampleSkin}, {"page.xml", kSamplePage}};
  const wchar_t* shipped[] = {L"main.xml",     L"home.xml",     L"banner.xml",
                              L"main_rtl.xml", L"home_rtl.xml", L"banner_rtl.xml"};
  const std::wstring folder = TestSupport::Wide(SETUP_SOURCE_DIR) + L"\\packages\\skin\\";
  for (const wchar_t* name : shipped) {
    std::string bytes;
    if (TestSupport::ReadFileBytes(folder + name, bytes) && !bytes.empty())
      corpus.push_back({TestSupport::Utf8(name), bytes});
  }
  return corpus;
}

const std::set<std::wstring>& ReaderErrors() {
  static const std::set<std::wstring> errors = {L"Expected start tag",         L"Error parsing element name",
                                                L"Expected start-tag closing", L"Expected end-tag start",
                                                L"Unmatched closing tag",      L"Error while parsing attributes",
                                                L"Expected attribute value",   L"Error while parsing attribute string",
                                                L"Elements nested too deeply", L"Too many elements"};
  return errors;
}

// Reads everything a cursor offers, so that any position the parse left wrong is touched.
size_t Walk(const CSkinMarkupNode& node, int depth = 0) {
  size_t total = 0;
  for (CSkinMarkupNode n = node; n.IsValid(); n = n.GetSibling()) {
    total += wcslen(n.GetName()) + wcslen(n.GetValue());
    for (int i = 0; i < n.GetAttributeCount(); ++i)
      total += wcslen(n.GetAttributeName(i)) + wcslen(n.GetAttributeValue(i));
    if (depth < kMaxSkinNesting) total += Walk(n.GetChild(), depth + 1);
  }
  return total;
}

// Truncations at evenly spread lengths and copies with a few bytes replaced, from a fixed seed so a
// failure can be repeated.
std::vector<std::string> Mutations(const std::string& bytes, int truncations, int flips, std::mt19937& random) {
  static const char kPunctuation[] = "<>/=\"'&!?- \n\x00\xEF\xBB\xBF\xC3";
  std::vector<std::string> out;
  const size_t step = std::max<size_t>(1, bytes.size() / truncations);
  for (size_t length = 0; length < bytes.size(); length += step) out.push_back(bytes.substr(0, length));
  for (int i = 0; i < flips; ++i) {
    std::string copy = bytes;
    const int changes = 1 + static_cast<int>(random() % 3);
    for (int c = 0; c < changes; ++c) {
      char& target = copy[random() % copy.size()];
      target = random() % 2 ? kPunctuation[random() % (sizeof(kPunctuation) - 1)] : static_cast<char>(random());
    }
    out.push_back(copy);
  }
  return out;
}

class SkinMutationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    ZipTest::ZipWriter zip;
    for (const Sample& sample : corpus_) zip.Add(sample.name, sample.bytes, true);
    zip.Add("pic.png", UiTest::MakeSolidPng(2, 2, 0xFF00FF00), true);
    archive_ = zip.Build();
    Resource::UseSkinArchive(archive_.data(), archive_.size());
  }
  void TearDown() override { Resource::Reset(); }

  // The reader either gives a walkable tree or fails with one of its own texts.
  void Read(const std::string& bytes) {
    CSkinMarkup markup;
    if (markup.LoadFromMem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) {
      Walk(markup.GetRoot());
      ++loaded_;
    } else {
      EXPECT_EQ(1u, ReaderErrors().count(markup.GetLastErrorMessage())) << bytes;
      EXPECT_FALSE(markup.IsValid());
    }
  }

  // The builder, with the untouched skins to include, puts whatever it makes into a host it then frees.
  void Build(const std::string& bytes) {
    CSkinBuilder builder;
    if (!builder.GetMarkup()->LoadFromMem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())) return;
    CVerticalLayoutUI host;
    builder.Create(nullptr, &window_.manager(), &host);
    built_ += host.GetCount();
  }

  std::vector<Sample> corpus_ = Corpus();
  std::string archive_;
  UiTest::TestWindow window_;
  int loaded_ = 0;
  int built_ = 0;
};

}  // namespace

TEST_F(SkinMutationTest, DamagedSkinsNeverCrashReaderOrBuilder) {
  std::mt19937 random(20261208);
  const auto start = std::chrono::steady_clock::now();
  int inputs = 0;
  for (const Sample& sample : corpus_) {
    SCOPED_TRACE(sample.name);
    for (const std::string& bytes : Mutations(sample.bytes, 200, 1000, random)) {
      Read(bytes);
      Build(bytes);
      ++inputs;
    }
  }
  // Some copies must still load and build, or the mutations never reach the builder at all.
  EXPECT_GT(loaded_, inputs / 20);
  EXPECT_GT(built_, 0);
  EXPECT_GE(inputs, 1000);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(SkinMutationTest, ShippedSkinsBuildWhole) {
  if (corpus_.size() <= 2) GTEST_SKIP() << "the installer's skin files are not in this tree";
  for (const wchar_t* name : {L"main.xml", L"main_rtl.xml"}) {
    CSkinBuilder builder;
    CVerticalLayoutUI host;
    ASSERT_TRUE(builder.Create(name, nullptr, nullptr, &window_.manager(), &host)) << TestSupport::Utf8(name);
    EXPECT_EQ(1, host.GetCount());
  }
}
