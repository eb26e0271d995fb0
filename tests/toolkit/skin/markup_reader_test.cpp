#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "ZipWriter.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/skin/UISkinMarkup.h"

using namespace SkinUI;

namespace {

struct ErrorCase {
  const wchar_t* text;
  const wchar_t* message;
  const wchar_t* location;  // what the error location starts with
};

std::wstring Repeat(const std::wstring& piece, int times) {
  std::wstring out;
  out.reserve(piece.size() * times);
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::wstring Nested(int depth) { return Repeat(L"<a>", depth) + Repeat(L"</a>", depth); }

std::wstring WithChildren(int children) { return L"<r>" + Repeat(L"<c/>", children) + L"</r>"; }

std::vector<std::wstring> ChildNames(const CSkinMarkupNode& node) {
  std::vector<std::wstring> names;
  for (CSkinMarkupNode child = node.GetChild(); child.IsValid(); child = child.GetSibling())
    names.push_back(child.GetName());
  return names;
}

// Every test starts from a clean resource state and leaves one behind.
class SkinFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Resource::Reset(); }
  void TearDown() override { Resource::Reset(); }
  TestSupport::ScratchDir dir_{L"skin"};
};

}  // namespace

TEST(SkinMarkupTest, EveryParseErrorHasItsTextAndPlace) {
  const ErrorCase cases[] = {
      {L"plain text", L"Expected start tag", L"plain text"},
      {L"<a><b><c/>", L"Expected start tag", L""},
      {L"<a><b><c>x</c> y", L"Expected start tag", L"y"},
      {L"<a", L"Error parsing element name", L""},
      {L"<a x=\"1\"/ >", L"Expected start-tag closing", L"/ >"},
      {L"<a x=\"1\" ?>", L"Error while parsing attributes", L"?>"},
      {L"<a><b><c>text", L"Expected end-tag start", L""},
      {L"<a><b></c></a>", L"Unmatched closing tag", L"c></a>"},
      {L"<a></ab>", L"Unmatched closing tag", L"b>"},
      {L"<a x y=\"1\"/>", L"Error while parsing attributes", L"y=\"1\"/>"},
      {L"<a x='1'/>", L"Expected attribute value", L"'1'/>"},
      {L"<a x=\"1/>", L"Error while parsing attribute string", L""},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(TestSupport::Utf8(c.text));
    CSkinMarkup markup;
    EXPECT_FALSE(markup.Load(c.text));
    EXPECT_EQ(c.message, markup.GetLastErrorMessage());
    EXPECT_EQ(0u, markup.GetLastErrorLocation().find(c.location));
    EXPECT_FALSE(markup.IsValid());
    EXPECT_FALSE(markup.GetRoot().IsValid());
  }
}

TEST(SkinMarkupTest, ErrorLocationIsCutAndClearedByTheNextLoad) {
  CSkinMarkup markup;
  EXPECT_FALSE(markup.Load((L"<a x='" + std::wstring(200, L'y') + L"'/>").c_str()));
  EXPECT_EQ(49u, markup.GetLastErrorLocation().size());
  EXPECT_TRUE(markup.Load(L"<a/>"));
  EXPECT_TRUE(markup.GetLastErrorMessage().empty());
  EXPECT_TRUE(markup.GetLastErrorLocation().empty());
}

TEST(SkinMarkupTest, ByteOrderMarkDeclarationAndCommentsMakeNoRecords) {
  const std::string bytes =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- top -->\n"
      "<Window a=\"1\"><!-- inside --><B/><!----><C>v</C></Window>\n<!-- after -->";
  CSkinMarkup markup;
  ASSERT_TRUE(markup.LoadFromMem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  CSkinMarkupNode root = markup.GetRoot();
  EXPECT_STREQ(L"Window", root.GetName());
  EXPECT_EQ((std::vector<std::wstring>{L"B", L"C"}), ChildNames(root));
  EXPECT_EQ(4u, markup.ElementCount());  // placeholder, Window, B, C
  EXPECT_STREQ(L"v", root.GetChild().GetSibling().GetValue());
  EXPECT_FALSE(root.GetSibling().IsValid());
}

TEST(SkinMarkupTest, Utf8TextIsDecoded) {
  const std::string bytes = "<a t=\"\xD8\xA7\xD9\x84\xE4\xB8\xAD\"/>";  // Arabic alef, lam, CJK "middle"
  CSkinMarkup markup;
  ASSERT_TRUE(markup.LoadFromMem(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  EXPECT_STREQ(L"\x0627\x0644\x4E2D", markup.GetRoot().GetAttributeValue(0));
}

TEST(SkinMarkupTest, FiveEntitiesDecodeAndOthersStayAsWritten) {
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(L"<a v=\"&amp;&lt;&gt;&quot;&apos;&#65;&x;&\" w=\"2\">&lt;b&gt; &amp; c<d/></a>"));
  CSkinMarkupNode root = markup.GetRoot();
  EXPECT_STREQ(L"&<>\"'&#65;&x;&", root.GetAttributeValue(0));
  EXPECT_STREQ(L"w", root.GetAttributeName(1));
  EXPECT_STREQ(L"2", root.GetAttributeValue(1));
  EXPECT_STREQ(L"<b> & c", root.GetValue());
  EXPECT_STREQ(L"d", root.GetChild().GetName());
}

TEST(SkinMarkupTest, AttributesNeedNoBlanksBetweenThemAndKeepTheirBlanks) {
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(L"<a x=\"1\"y=\"2\"z =\t\"3\" s=\" a  b \"/>"));
  CSkinMarkupNode root = markup.GetRoot();
  ASSERT_EQ(4, root.GetAttributeCount());
  const wchar_t* names[] = {L"x", L"y", L"z", L"s"};
  const wchar_t* values[] = {L"1", L"2", L"3", L" a  b "};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(names[i], root.GetAttributeName(i));
    EXPECT_STREQ(values[i], root.GetAttributeValue(i));
  }
  EXPECT_STREQ(L"", root.GetValue());
  EXPECT_STREQ(L"", root.GetAttributeName(4));
  EXPECT_STREQ(L"", root.GetAttributeValue(-1));
}

TEST(SkinMarkupTest, RootAndItsChildrenMayLackClosingTagsAtTheEnd) {
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(L"<Window size=\"1,2\"><A k=\"v\">text"));
  CSkinMarkupNode root = markup.GetRoot();
  EXPECT_STREQ(L"Window", root.GetName());
  EXPECT_STREQ(L"1,2", root.GetAttributeValue(0));
  EXPECT_STREQ(L"A", root.GetChild().GetName());
  EXPECT_STREQ(L"text", root.GetChild().GetValue());
  EXPECT_STREQ(L"v", root.GetChild().FindAttribute(L"k"));
  EXPECT_TRUE(markup.Load(L"<Window><A/><B></B>"));
  EXPECT_TRUE(markup.Load(L"<Window>"));
  EXPECT_FALSE(markup.Load(L"<Window><A><B/>"));
  EXPECT_FALSE(markup.Load(L"<Window><A><B>"));
}

TEST(SkinMarkupTest, EmptyTextLoadsWithoutRoot) {
  CSkinMarkup markup;
  EXPECT_TRUE(markup.Load(L" \r\n\t"));
  EXPECT_FALSE(markup.GetRoot().IsValid());
  EXPECT_TRUE(markup.LoadFromMem(nullptr, 0));
  EXPECT_FALSE(markup.GetRoot().IsValid());
}

TEST(SkinMarkupTest, CursorSeesSixtyFourAttributesAndLooksUpByExactName) {
  std::wstring text = L"<a";
  for (int i = 0; i < 65; ++i) text += L" a" + std::to_wstring(i) + L"=\"v" + std::to_wstring(i) + L"\"";
  text += L" Cover=\"true\"/>";
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(text.c_str()));
  CSkinMarkupNode root = markup.GetRoot();
  EXPECT_EQ(64, root.GetAttributeCount());
  EXPECT_STREQ(L"v63", root.FindAttribute(L"a63"));
  EXPECT_EQ(nullptr, root.FindAttribute(L"a64"));
  ASSERT_TRUE(markup.Load(L"<a Cover=\"true\" long=\"abcdef\"/>"));
  CSkinMarkupNode small = markup.GetRoot();
  std::wstring value = L"stale";
  EXPECT_FALSE(small.GetAttributeValue(L"cover", value, 255));
  EXPECT_TRUE(value.empty());
  EXPECT_TRUE(small.GetAttributeValue(L"long", value, 4));
  EXPECT_EQ(L"abcd", value);
}

TEST(SkinMarkupTest, InvalidCursorAnswersEmpty) {
  CSkinMarkupNode none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_STREQ(L"", none.GetName());
  EXPECT_FALSE(none.GetChild().IsValid());
  EXPECT_FALSE(none.HasAttributes());
  EXPECT_STREQ(L"", none.GetAttributeName(0));
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(L"<a/>"));
  EXPECT_FALSE(CSkinMarkupNode(&markup, 7).IsValid());
  EXPECT_FALSE(markup.GetRoot().GetParent().IsValid());
}

TEST(SkinMarkupTest, NestingDeeperThanTheLimitFailsInsteadOfOverflowingTheStack) {
  CSkinMarkup markup;
  EXPECT_TRUE(markup.Load(Nested(kMaxSkinNesting).c_str()));
  CSkinMarkupNode node = markup.GetRoot();
  int depth = 0;
  for (; node.IsValid(); node = node.GetChild()) ++depth;
  EXPECT_EQ(kMaxSkinNesting, depth);
  EXPECT_FALSE(markup.Load(Nested(kMaxSkinNesting + 1).c_str()));
  EXPECT_EQ(L"Elements nested too deeply", markup.GetLastErrorMessage());
  EXPECT_FALSE(markup.Load(Repeat(L"<a>", 200000).c_str()));
  EXPECT_EQ(L"Elements nested too deeply", markup.GetLastErrorMessage());
}

TEST(SkinMarkupTest, ElementTableGrowsByHalfPlusFiveHundredUpToItsLimit) {
  CSkinMarkup markup;
  ASSERT_TRUE(markup.Load(WithChildren(498).c_str()));  // placeholder, root and 498: exactly full
  EXPECT_EQ(500u, markup.ElementCount());
  EXPECT_EQ(500u, markup.ElementCapacity());
  ASSERT_TRUE(markup.Load(WithChildren(499).c_str()));
  EXPECT_EQ(1250u, markup.ElementCapacity());
  ASSERT_TRUE(markup.Load(WithChildren(1249).c_str()));
  EXPECT_EQ(2375u, markup.ElementCapacity());
  ASSERT_TRUE(markup.Load(WithChildren(kMaxSkinElements - 2).c_str()));
  EXPECT_EQ(kMaxSkinElements, markup.ElementCount());
  EXPECT_FALSE(markup.Load(WithChildren(kMaxSkinElements - 1).c_str()));
  EXPECT_EQ(L"Too many elements", markup.GetLastErrorMessage());
  EXPECT_EQ(0u, markup.ElementCount());
}

TEST_F(SkinFileTest, LooseFilesAreReadWithTheirFailureTexts) {
  Resource::SetSkinPath(dir_.path());
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"ok.xml", "<Window><Label/></Window>"));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"empty.xml", ""));
  std::string big = "<a>" + std::string(kMaxSkinFileBytes - 7, ' ') + "</a>";
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"limit.xml", big));
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"big.xml", big + " "));
  CSkinMarkup markup;
  EXPECT_TRUE(markup.LoadFromFile(L"ok.xml"));
  EXPECT_STREQ(L"Label", markup.GetRoot().GetChild().GetName());
  EXPECT_TRUE(markup.LoadFromFile(L"limit.xml"));
  const std::pair<const wchar_t*, const wchar_t*> failures[] = {
      {L"missing.xml", L"Error opening file"}, {L"empty.xml", L"File is empty"}, {L"big.xml", L"File too large"}};
  for (const auto& failure : failures) {
    EXPECT_FALSE(markup.LoadFromFile(failure.first));
    EXPECT_EQ(failure.second, markup.GetLastErrorMessage());
    EXPECT_FALSE(markup.IsValid());
  }
}

TEST_F(SkinFileTest, ArchiveEntriesAreFoundWhateverTheCaseAndSeparator) {
  const std::string zip = ZipTest::ZipWriter()
                              .Add("pages/home.xml", "<Window><Button/></Window>", true)
                              .Add("empty.xml", "", true)
                              .Add("big.xml", std::string(kMaxSkinFileBytes + 1, ' '), true)
                              .Build();
  Resource::UseSkinArchive(zip.data(), zip.size());
  CSkinMarkup markup;
  EXPECT_TRUE(markup.LoadFromFile(L"PAGES\\Home.XML"));
  EXPECT_STREQ(L"Button", markup.GetRoot().GetChild().GetName());
  const std::pair<const wchar_t*, const wchar_t*> failures[] = {
      {L"home.xml", L"Could not find ziped file"}, {L"empty.xml", L"File is empty"}, {L"big.xml", L"File too large"}};
  for (const auto& failure : failures) {
    EXPECT_FALSE(markup.LoadFromFile(failure.first));
    EXPECT_EQ(failure.second, markup.GetLastErrorMessage());
  }
  EXPECT_FALSE(markup.LoadFromFile(std::wstring(300, L'a')));
  EXPECT_EQ(L"Could not find ziped file", markup.GetLastErrorMessage());
}

TEST_F(SkinFileTest, DamagedEntryAndMissingArchiveHaveTheirTexts) {
  std::string zip = ZipTest::ZipWriter().Add("main.xml", "<Window><Button/></Window>", false).Build();
  zip[30 + 8 + 3] ^= 0x20;  // a letter of the stored data: the CRC no longer matches
  Resource::UseSkinArchive(zip.data(), zip.size());
  CSkinMarkup markup;
  EXPECT_FALSE(markup.LoadFromFile(L"main.xml"));
  EXPECT_EQ(L"Could not unzip file", markup.GetLastErrorMessage());
  Resource::Reset();
  Resource::SetSkinPath(dir_.path());
  Resource::UseSkinArchive(L"late.zip", true);
  EXPECT_FALSE(markup.LoadFromFile(L"main.xml"));
  EXPECT_EQ(L"Error opening zip file", markup.GetLastErrorMessage());
  // Nothing is kept open, so a later load opens the archive file itself once it exists.
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"late.zip",
                                          ZipTest::ZipWriter().Add("main.xml", "<W><Y/></W>", true).Build()));
  EXPECT_TRUE(markup.LoadFromFile(L"main.xml"));
  EXPECT_STREQ(L"Y", markup.GetRoot().GetChild().GetName());
}

TEST_F(SkinFileTest, UncachedArchiveIsOpenedForEachLoad) {
  Resource::SetSkinPath(dir_.path());
  Resource::UseSkinArchive(L"skin.zip", false);
  CSkinMarkup markup;
  EXPECT_FALSE(markup.LoadFromFile(L"main.xml"));
  EXPECT_EQ(L"Error opening zip file", markup.GetLastErrorMessage());
  // The archive appears after the state was set up: only a per-load open can see it.
  ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / L"skin.zip",
                                          ZipTest::ZipWriter().Add("main.xml", "<W><X/></W>", true).Build()));
  EXPECT_TRUE(markup.LoadFromFile(L"main.xml"));
  EXPECT_STREQ(L"X", markup.GetRoot().GetChild().GetName());
}
