#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/window/UISkinBuilder.h"

using namespace SkinUI;

namespace {

// Makes a probe for "Probe" and "gifanim" and remembers every name it was asked for.
class RecordingCallback : public IDialogBuilderCallback {
 public:
  CControlUI* MakeControl(const std::wstring& className) override {
    asked.push_back(className);
    if (className == L"Probe" || className == L"gifanim") return new UiTest::ProbeUI();
    return nullptr;
  }
  std::vector<std::wstring> asked;
};

std::vector<std::wstring> ClassNames(IContainerUI* container) {
  std::vector<std::wstring> names;
  for (int i = 0; container && i < container->GetCount(); ++i) names.push_back(container->GetItemAt(i)->ClassName());
  return names;
}

IContainerUI* AsContainer(CControlUI* control) {
  return control ? static_cast<IContainerUI*>(control->CastTo(L"IContainer")) : nullptr;
}

// A real window and manager, a skin folder of its own, and a host layout the built controls go into.
class SkinBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Resource::Reset();
    Resource::SetSkinPath(dir_.path());
    MultiLanguage::Clear();
  }
  void TearDown() override {
    Resource::Reset();
    MultiLanguage::Clear();
  }
  void Write(const wchar_t* name, const std::string& text) {
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir_ / name, text));
  }
  CControlUI* Build(const wchar_t* skin, CControlUI* parent = nullptr, IDialogBuilderCallback* callback = nullptr) {
    return builder_.Create(skin, nullptr, callback, &window_.manager(), parent);
  }

  TestSupport::ScratchDir dir_{L"skinb"};
  UiTest::TestWindow window_;
  CSkinBuilder builder_;
  CVerticalLayoutUI host_;
};

const wchar_t kResourceSkin[] =
    L"<Window size=\"300,200\" caption=\"0,0,0,30\" mytag=\"x\">"
    L"<Font id=\"0\" name=\"Arial\" size=\"17\" bold=\"TRUE\" default=\"true\"/>"
    L"<Font id=\"-1\" name=\"Ignored\"/><Font id=\"3\"/>"
    L"<IMAGE name=\"pic.png\" mask=\"#FF0000FF\"/>"
    L"<Default name=\"Control\" value=\"width=&quot;40&quot; height=&quot;10&quot;\"/>"
    L"<MultiLanguage id=\"7\" value=\"seven\"/><MultiLanguage id=\"8\"/>"
    L"<VerticalLayout name=\"root\"><Control name=\"c1\"/><Control name=\"c2\" width=\"7\"/></VerticalLayout>"
    L"</Window>";

}  // namespace

TEST_F(SkinBuilderTest, ResourceElementsAndWindowAttributesReachTheManager) {
  Write(L"pic.png", UiTest::MakeSolidPng(2, 2, 0xFF0000FF));
  CUIManager& manager = window_.manager();
  std::unique_ptr<CControlUI, ControlDeleter> root(Build(kResourceSkin));
  ASSERT_TRUE(root);
  EXPECT_EQ(300, manager.InitSize().cx);
  EXPECT_EQ(30, manager.CaptionRect().bottom);
  EXPECT_EQ(L"x", manager.WindowCustomAttribute(L"mytag"));
  ASSERT_TRUE(manager.FindFont(0));
  EXPECT_EQ(L"Arial", manager.FindFont(0)->face);
  EXPECT_TRUE(manager.FindFont(0)->bold);
  EXPECT_EQ(L"Arial", manager.DefaultFontInfo()->face);
  EXPECT_FALSE(manager.FindFont(3));
  ImageRecord* image = manager.CachedImage(L"pic.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(0u, image->pixels[0]);  // the mask colour became transparent
  ASSERT_TRUE(GetMultiLanguageString(7));
  EXPECT_EQ(L"seven", *GetMultiLanguageString(7));
  EXPECT_FALSE(GetMultiLanguageString(8));
  IContainerUI* items = AsContainer(root.get());
  ASSERT_EQ(2, items->GetCount());
  EXPECT_EQ(40, items->GetItemAt(0)->GetFixedWidth());
  EXPECT_EQ(10, items->GetItemAt(0)->GetFixedHeight());
  EXPECT_EQ(7, items->GetItemAt(1)->GetFixedWidth());  // its own attribute overrides the class default
  EXPECT_EQ(10, items->GetItemAt(1)->GetFixedHeight());
}

TEST_F(SkinBuilderTest, NamesReachTheManagerOnlyWhenTheTreeIsAttached) {
  CControlUI* root = Build(kResourceSkin);
  ASSERT_TRUE(root);
  EXPECT_EQ(nullptr, window_.manager().LookupControl(L"c1"));
  EXPECT_EQ(nullptr, root->Manager());
  ASSERT_TRUE(window_.manager().AttachRoot(root));
  CControlUI* c1 = window_.manager().LookupControl(L"c1");
  ASSERT_TRUE(c1);
  EXPECT_EQ(root, c1->GetParent());
  window_.PaintNow();
}

TEST_F(SkinBuilderTest, WindowAttributesNeedAWindowRootAndAWindow) {
  CUIManager windowless;
  CSkinBuilder builder;
  std::unique_ptr<CControlUI, ControlDeleter> a(
      builder.Create(L"<Window size=\"11,12\"><Control/></Window>", nullptr, nullptr, &windowless));
  EXPECT_EQ(0, windowless.InitSize().cx);
  std::unique_ptr<CControlUI, ControlDeleter> b(Build(L"<Frame size=\"11,12\"><Control/></Frame>"));
  ASSERT_TRUE(b);
  EXPECT_EQ(0, window_.manager().InitSize().cx);
  std::unique_ptr<CControlUI, ControlDeleter> c(Build(L"<wInDoW size=\"11,12\"><Control/></wInDoW>"));
  EXPECT_EQ(11, window_.manager().InitSize().cx);
}

TEST_F(SkinBuilderTest, ClassTableMatchesNamesWithoutCaseAndAsksTheCallbackForTheRest) {
  RecordingCallback callback;
  std::unique_ptr<CControlUI, ControlDeleter> root(
      Build(L"<Window><Container>"
            L"<vbox/><VerticalLayout/><HBOX/><HorizontalLayout/><tablayout/><control/>"
            L"<label/><Text/><BUTTON/><Option/><checkbox/><Edit/><Progress/>"
            L"<gifanim name=\"gif\"/><Blob><Label name=\"lost\"/></Blob><Probe name=\"probe\"/>"
            L"</Container></Window>",
            nullptr, &callback));
  ASSERT_TRUE(root);
  EXPECT_EQ((std::vector<std::wstring>{L"VerticalLayout", L"VerticalLayout", L"HorizontalLayout", L"HorizontalLayout",
                                       L"TabLayout", L"Control", L"Label", L"Text", L"Button", L"Option", L"CheckBox",
                                       L"Edit", L"Progress", L"Probe", L"Probe"}),
            ClassNames(AsContainer(root.get())));
  EXPECT_EQ((std::vector<std::wstring>{L"gifanim", L"Blob", L"Probe"}), callback.asked);
  EXPECT_EQ(L"probe", AsContainer(root.get())->GetItemAt(14)->GetName());
}

TEST_F(SkinBuilderTest, IncludeWithCountAddsThePageEachTime) {
  Write(L"page.xml", "<Window><Font id=\"5\" name=\"Arial\"/><Label name=\"a\"/><Button name=\"b\"/></Window>");
  std::unique_ptr<CControlUI, ControlDeleter> root(Build(
      L"<Window><VerticalLayout><Include source=\"page.xml\" count=\"2\"/><Control name=\"after\"/>"
      L"<Include source=\"\"/><Include/><Include source=\"missing.xml\"/><Include source=\"page.xml\" count=\"0\"/>"
      L"<Control name=\"last\"/></VerticalLayout></Window>"));
  ASSERT_TRUE(root);
  IContainerUI* items = AsContainer(root.get());
  ASSERT_EQ(6, items->GetCount());
  const wchar_t* names[] = {L"a", L"b", L"a", L"b", L"after", L"last"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(names[i], items->GetItemAt(i)->GetName());
  EXPECT_TRUE(window_.manager().FindFont(5));  // the included skin registers its resources too
}

// A picture registered again must not pull the old record from under a control that is drawn from it.
// First route: a second window whose skin registers the same shared picture while the first window's
// control already uses it.
TEST_F(SkinBuilderTest, APictureRegisteredAgainByASecondWindowKeepsTheFirstWindowDrawing) {
  Write(L"pic.png", UiTest::MakeSolidPng(4, 4, 0xFF00FF00));
  const wchar_t skin[] =
      L"<Window><Image name=\"pic.png\" shared=\"true\"/>"
      L"<VerticalLayout><Control name=\"c\" bkimage=\"pic.png\"/></VerticalLayout></Window>";
  ASSERT_TRUE(window_.manager().AttachRoot(Build(skin)));
  window_.PaintNow();
  const ImageRecord* used = window_.manager().LookupControl(L"c")->BkImage().image;
  ASSERT_TRUE(used);

  UiTest::TestWindow second;
  CSkinBuilder secondBuilder;
  ASSERT_TRUE(second.manager().AttachRoot(secondBuilder.Create(skin, nullptr, nullptr, &second.manager())));
  EXPECT_NE(used, SharedImages().Find(L"pic.png"));  // the name now means the second window's record
  EXPECT_TRUE(window_.manager().HoldsImage(used));
  window_.PaintNow();
  const std::vector<uint32_t> pixels = UiTest::ReadBitmap(window_.manager().OffscreenBitmap(), 650, 360);
  EXPECT_EQ(0x00FF00u, pixels[100 * 650 + 100]);
  SharedImages().Clear();
}

// Second route: a page included twice registers its picture twice, and the first copy's floating
// button took its size and its drawing from the first record.
TEST_F(SkinBuilderTest, APageIncludedTwiceKeepsThePictureOfItsFirstCopyAlive) {
  Write(L"five.png", UiTest::MakeSolidPng(10, 4, 0xFF0000FF));
  Write(L"page.xml",
        "<Window><Image name=\"five.png\"/>"
        "<Button name=\"f\" float=\"true\" pos=\"0,0,0,0\" fivestatusimage=\"five.png\"/></Window>");
  CControlUI* root =
      Build(L"<Window><VerticalLayout><Include source=\"page.xml\" count=\"2\"/></VerticalLayout></Window>");
  ASSERT_TRUE(root);
  ASSERT_TRUE(window_.manager().AttachRoot(root));
  auto* first = static_cast<CButtonUI*>(AsContainer(root)->GetItemAt(0));
  const ImageRecord* used = first->FiveStatusImage().image;
  ASSERT_TRUE(used);
  EXPECT_EQ(2, first->GetFixedWidth());
  EXPECT_TRUE(window_.manager().HoldsImage(used));
  window_.PaintNow();
  const std::vector<uint32_t> pixels = UiTest::ReadBitmap(window_.manager().OffscreenBitmap(), 650, 360);
  EXPECT_EQ(0x0000FFu, pixels[1 * 650 + 1]);
}

TEST_F(SkinBuilderTest, NumberedResourceSkinIncludesNumberedPages) {
  std::unique_ptr<CControlUI, ControlDeleter> root(
      builder_.Create(MAKEINTRESOURCEW(201), L"SKINXML", nullptr, &window_.manager()));
  ASSERT_TRUE(root);
  EXPECT_EQ(320, window_.manager().InitSize().cx);
  IContainerUI* items = AsContainer(root.get());
  ASSERT_EQ(2, items->GetCount());
  EXPECT_EQ(L"Label", std::wstring(items->GetItemAt(1)->ClassName()));
  EXPECT_EQ(L"from a resource", items->GetItemAt(1)->GetText());
  EXPECT_FALSE(builder_.Create(MAKEINTRESOURCEW(299), L"SKINXML", nullptr, &window_.manager()));
  EXPECT_FALSE(builder_.Create(MAKEINTRESOURCEW(201), nullptr, nullptr, &window_.manager()));
}

TEST_F(SkinBuilderTest, CoverNeedsExactlyTrue) {
  std::unique_ptr<CControlUI, ControlDeleter> root(
      Build(L"<Window><HorizontalLayout><Control name=\"cov\" cover=\"true\"/><Control name=\"kid\" cover=\"True\"/>"
            L"</HorizontalLayout></Window>"));
  ASSERT_TRUE(root);
  ASSERT_TRUE(root->CoverControl());
  EXPECT_EQ(L"cov", root->CoverControl()->GetName());
  ASSERT_EQ(1, AsContainer(root.get())->GetCount());
  EXPECT_EQ(L"kid", AsContainer(root.get())->GetItemAt(0)->GetName());
}

TEST_F(SkinBuilderTest, ControlsGoIntoTheGivenParentAndExtrasWithoutParentAreDropped) {
  CControlUI* first = Build(L"<Window><Control name=\"x\"/><Control name=\"y\"/></Window>", &host_);
  ASSERT_EQ(2, host_.GetCount());
  EXPECT_EQ(host_.GetItemAt(0), first);
  std::unique_ptr<CControlUI, ControlDeleter> alone(
      Build(L"<Window><Control name=\"x\"/><Control name=\"y\"/></Window>"));
  ASSERT_TRUE(alone);
  EXPECT_EQ(L"x", alone->GetName());
}

TEST_F(SkinBuilderTest, ChildrenOfANonContainerEndTheBuild) {
  EXPECT_FALSE(Build(L"<Window><VerticalLayout><Control><Label/></Control></VerticalLayout></Window>"));
  EXPECT_FALSE(
      Build(L"<Window><VerticalLayout><Control name=\"ok\"/><Control><Label/></Control></VerticalLayout>"
            L"<Control name=\"never\"/></Window>",
            &host_));
  EXPECT_EQ(0, host_.GetCount());
  CControlUI plain;
  EXPECT_FALSE(Build(L"<Window><Control/></Window>", &plain));
  // The rest of the window still builds when the failing part sits in an included page.
  Write(L"bad.xml", "<Window><Control><Label/></Control></Window>");
  std::unique_ptr<CControlUI, ControlDeleter> root(
      Build(L"<Window><VerticalLayout><Include source=\"bad.xml\"/><Label name=\"kept\"/></VerticalLayout></Window>"));
  ASSERT_TRUE(root);
  ASSERT_EQ(1, AsContainer(root.get())->GetCount());
  EXPECT_EQ(L"kept", AsContainer(root.get())->GetItemAt(0)->GetName());
}

TEST_F(SkinBuilderTest, FailedLoadsBuildNothingAndKeepTheReason) {
  EXPECT_FALSE(Build(L"absent.xml"));
  EXPECT_EQ(L"Error opening file", builder_.GetMarkup()->GetLastErrorMessage());
  EXPECT_FALSE(Build(L"<Window><A></B></Window>"));
  EXPECT_EQ(L"Unmatched closing tag", builder_.GetMarkup()->GetLastErrorMessage());
  EXPECT_FALSE(Build(L"<Window/>"));
  EXPECT_FALSE(Build(L"<!-- nothing -->"));
}

TEST_F(SkinBuilderTest, SelfIncludesAndHugeCountsStopAtTheLimits) {
  Write(L"loop.xml",
        "<Window><VerticalLayout name=\"v\"><Include source=\"loop.xml\" count=\"3\"/></VerticalLayout></Window>");
  Write(L"one.xml", "<Window><Control/></Window>");
  const auto start = std::chrono::steady_clock::now();
  CControlUI* loop = Build(L"<Window><Include source=\"loop.xml\"/></Window>", &host_);
  EXPECT_EQ(nullptr, loop);  // an Include makes no control of its own
  ASSERT_EQ(1, host_.GetCount());
  int depth = 0;
  for (CControlUI* c = host_.GetItemAt(0); c; c = AsContainer(c)->GetItemAt(0)) ++depth;
  EXPECT_EQ(kMaxSkinIncludeDepth, depth);
  CVerticalLayoutUI many;
  Build(L"<Window><Include source=\"one.xml\" count=\"2000000000\"/></Window>", &many);
  EXPECT_GT(many.GetCount(), kMaxSkinBuildSteps / 3);
  EXPECT_LE(many.GetCount(), kMaxSkinBuildSteps);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST_F(SkinBuilderTest, DeeplyNestedIncludesStopAtTheNestingLimit) {
  std::string deep = "<Window>";
  for (int i = 0; i < 200; ++i) deep += "<VerticalLayout>";
  deep += "<Include source=\"deep.xml\"/>";
  for (int i = 0; i < 200; ++i) deep += "</VerticalLayout>";
  Write(L"deep.xml", deep + "</Window>");
  Build(L"<Window><Include source=\"deep.xml\"/></Window>", &host_);
  int depth = 0;
  for (CControlUI* c = host_.GetItemAt(0); c; c = AsContainer(c)->GetItemAt(0)) ++depth;
  EXPECT_EQ(kMaxSkinNesting, depth);
}

TEST(MultiLanguageTest, LaterStringReplacesEarlierAndTokensExpand) {
  MultiLanguage::Clear();
  AddMultiLanguageString(12, L"first");
  AddMultiLanguageString(12, L"second");
  ASSERT_TRUE(GetMultiLanguageString(12));
  EXPECT_EQ(L"second", *GetMultiLanguageString(12));
  EXPECT_FALSE(GetMultiLanguageString(13));
  EXPECT_EQ(L"say second %{13}", MultiLanguage::Expand(L"say %{12} %{13}"));
  MultiLanguage::Clear();
}
