#include <gtest/gtest.h>

#include <algorithm>

#include "ControlScene.h"
#include "toolkit/controls/UIButton.h"

using namespace SkinUI;
using ControlsTest::Notes;
using ControlsTest::Scene;

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

bool InGroup(CUIManager& manager, const std::wstring& group, CControlUI* control) {
  const std::vector<CControlUI*>* members = manager.GroupMembers(group);
  return members && std::find(members->begin(), members->end(), control) != members->end();
}

}  // namespace

TEST(Option, SelectingOneOfAGroupDeselectsTheOthersQuietly) {
  Scene scene;
  COptionUI* first = scene.Add(new COptionUI, L"0,0,50,30", L"group=\"lang\" selected=\"true\"");
  COptionUI* second = scene.Add(new COptionUI, L"60,0,110,30", L"group=\"lang\"");
  COptionUI* third = scene.Add(new COptionUI, L"120,0,170,30", L"group=\"lang\"");
  scene.Show();
  CUIManager& manager = scene.window.manager();
  EXPECT_TRUE(InGroup(manager, L"lang", first));
  EXPECT_TRUE(InGroup(manager, L"lang", third));
  EXPECT_TRUE(scene.window.notes.empty() || scene.NotesOf(first).empty());  // built before attaching: no notes

  scene.Click(80, 10);
  EXPECT_FALSE(first->IsSelected());
  EXPECT_TRUE(second->IsSelected());
  EXPECT_FALSE(third->IsSelected());
  EXPECT_EQ((Notes{L"click", L"selectchanged"}), scene.NotesOf(second));
  EXPECT_TRUE(scene.NotesOf(first).empty());

  scene.Click(140, 10);
  EXPECT_FALSE(second->IsSelected());
  EXPECT_TRUE(third->IsSelected());
  EXPECT_EQ((Notes{L"click", L"selectchanged"}), scene.NotesOf(second));
  EXPECT_EQ((Notes{L"click", L"selectchanged"}), scene.NotesOf(third));

  // Clicking the selected member keeps it selected and reports only the click.
  scene.Click(140, 10);
  EXPECT_TRUE(third->IsSelected());
  EXPECT_EQ((Notes{L"click", L"selectchanged", L"click"}), scene.NotesOf(third));

  // Deselecting by code inside a group sends nothing.
  third->Selected(false, true);
  EXPECT_FALSE(third->IsSelected());
  EXPECT_EQ(3u, scene.NotesOf(third).size());
}

TEST(Option, CheckBoxWithoutGroupTogglesAndReportsClickThenChange) {
  Scene scene;
  CCheckBoxUI* agree = scene.Add(new CCheckBoxUI, L"10,10,30,40", L"name=\"chk_agree\"");
  scene.Show();
  scene.Click(15, 20);
  EXPECT_TRUE(agree->IsSelected());
  EXPECT_TRUE(agree->ButtonState() & kStateSelected);
  scene.Click(15, 20);
  EXPECT_FALSE(agree->IsSelected());
  EXPECT_FALSE(agree->ButtonState() & kStateSelected);
  EXPECT_EQ((Notes{L"click", L"selectchanged", L"click", L"selectchanged"}), scene.NotesOf(agree));
  agree->SetFocus();
  scene.Key(VK_SPACE);
  EXPECT_TRUE(agree->IsSelected());
  agree->Selected(false, false);  // without sending
  EXPECT_EQ(6u, scene.NotesOf(agree).size());
}

TEST(Option, GroupAttributeMovesBetweenGroupsAndDeletionLeaves) {
  Scene scene;
  COptionUI* a = scene.Add(new COptionUI, L"0,0,50,30", L"group=\"one\"");
  COptionUI* b = scene.Add(new COptionUI, L"60,0,110,30", L"group=\"one\"");
  scene.Show();
  CUIManager& manager = scene.window.manager();
  a->ApplyAttribute(L"group", L"two");
  EXPECT_EQ(L"two", a->GetGroup());
  EXPECT_FALSE(InGroup(manager, L"one", a));
  EXPECT_TRUE(InGroup(manager, L"two", a));
  a->Selected(true);
  b->Selected(true);
  EXPECT_TRUE(a->IsSelected());  // different groups now
  scene.root()->Remove(b);
  EXPECT_FALSE(InGroup(manager, L"one", b));
  a->ApplyAttribute(L"group", L"");
  EXPECT_EQ(nullptr, manager.GroupMembers(L"two"));
}

TEST(Option, DisabledOptionsKeepOnlyTheSelectedState) {
  Scene scene;
  COptionUI* option = scene.Add(new COptionUI, L"0,0,50,30", L"selected=\"true\"");
  scene.Show();
  scene.MoveTo(10, 10);
  scene.Down(10, 10);
  option->SetEnabled(false);
  EXPECT_EQ(UINT{kStateSelected}, option->ButtonState());
  scene.Up(10, 10);
  scene.Click(10, 10);
  EXPECT_TRUE(option->IsSelected());
  EXPECT_TRUE(scene.NotesOf(option).empty());
  EXPECT_FALSE(option->Activate());
}

TEST(Option, SelectedPicturesReplaceTheButtonsAndNoPushedPicture) {
  Scene scene;
  COptionUI* option = scene.Add(new COptionUI, L"0,0,60,40",
                                L"normalimage=\"color='FFFF0000'\" pushedimage=\"color='FF0000FF'\" "
                                L"selectedimage=\"color='FF00FF00'\" selectedhotimage=\"color='FFFFFF00'\"");
  scene.Show();
  scene.MoveTo(30, 20);
  scene.Down(30, 20);
  scene.Paint();
  EXPECT_EQ(kRed, scene.At(30, 20));  // options never show the pushed picture
  scene.Up(30, 20);
  ASSERT_TRUE(option->IsSelected());
  scene.Paint();
  EXPECT_EQ(0xFFFF00u, scene.At(30, 20));  // selected and hot
  scene.MoveTo(200, 150);
  scene.Paint();
  EXPECT_EQ(kGreen, scene.At(30, 20));
}

TEST(Option, SelectedColoursWithoutPictures) {
  Scene scene;
  COptionUI* option = scene.Add(new COptionUI, L"0,0,60,40", L"bkcolor=\"#FFFF0000\" selectedbkcolor=\"#FF0000FF\"");
  scene.Show();
  EXPECT_EQ(kRed, scene.At(30, 20));
  option->Selected(true);
  scene.Paint();
  EXPECT_EQ(kBlue, scene.At(30, 20));
}

TEST(Option, CheckBoxPictureGoesToItsDestinationSquare) {
  Scene scene;
  CCheckBoxUI* box = scene.Add(new CCheckBoxUI, L"100,50,120,80",
                               L"normalimage=\"color='FFFF0000' dest='0,8,14,22'\" "
                               L"selectedimage=\"color='FF0000FF' dest='0,8,14,22'\"");
  scene.Show();
  EXPECT_EQ(14 * 14, scene.Count(kRed, {100, 50, 120, 80}));
  box->Selected(true);
  scene.Paint();
  EXPECT_EQ(14 * 14, scene.Count(kBlue, {100, 50, 120, 80}));
  EXPECT_EQ(kBlue, scene.At(100, 58));
  EXPECT_EQ(kBlue, scene.At(113, 71));
  EXPECT_EQ(0u, scene.At(114, 71));
  EXPECT_EQ(0u, scene.At(100, 57));
}

TEST(Option, NamesAndCasts) {
  CCheckBoxUI box;
  EXPECT_STREQ(L"CheckBox", box.ClassName());
  EXPECT_EQ(&box, box.CastTo(L"CheckBox"));
  EXPECT_EQ(&box, box.CastTo(L"Option"));
  EXPECT_EQ(&box, box.CastTo(L"Button"));
  COptionUI option;
  EXPECT_STREQ(L"Option", option.ClassName());
  EXPECT_EQ(nullptr, option.CastTo(L"CheckBox"));
  option.ApplyAttribute(L"selected", L"true");  // no manager yet: selected without notification
  EXPECT_TRUE(option.IsSelected());
  option.ApplyAttribute(L"normalimage", L"color='FFFF0000'");  // the button table still applies
  option.ApplyAttribute(L"textcolor", L"#FF00FF00");           // and the label's
  EXPECT_EQ(0xFF00FF00u, option.GetTextColor());
}
