#include <gtest/gtest.h>

#include <windows.h>

#include <oleacc.h>

#include "toolkit/access/UIAccessibleElement.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/render/UIMarkupText.h"
#include "toolkit/controls/UIProgress.h"
#include "toolkit/core/UIReadingOrder.h"

using namespace SkinUI;

// What each kind of control tells a screen reader, the words of marked-up texts, and the reading
// order of controls by where they lie. The installer's own window is read in the frame suite.

TEST(MarkupPlainText, KeepsTheWordsAReaderShouldHear) {
  EXPECT_EQ(L"I have read and accept the License Agreement",
            MarkupPlainText(L"I have read and accept the {u}{a http://localhost/license}License Agreement{/a}{/u}"));
  EXPECT_EQ(L"red and bold", MarkupPlainText(L"{c #FFFF0000}red{/c} and <b>bold</b>"));
  EXPECT_EQ(L"one two three", MarkupPlainText(L"one{n}two{p 4}three{/p}"));
  EXPECT_EQ(L"{b} stays as written", MarkupPlainText(L"{r}{b} stays{/r} as {i}written"));
  // Only a lower-case letter starts a tag, as for the renderer; blanks shrink to one.
  EXPECT_EQ(L"{Not a tag} 50%", MarkupPlainText(L"  {Not a tag}   50%\r\n"));
  MultiLanguage::Set(7, L"Seven");
  EXPECT_EQ(L"Seven days", MarkupPlainText(L"%{7} {b}days{/b}"));
  MultiLanguage::Clear();
}

TEST(AccessibleElement, AButtonWithALinkInItsMarkupIsALink) {
  CButtonUI link;
  link.SetShowHtml(true);
  link.SetText(L"Read the {u}{a http://localhost/terms}terms{/a}{/u}");
  const CAccessibleElement element(link, nullptr, false);
  EXPECT_EQ(ROLE_SYSTEM_LINK, element.Role());
  EXPECT_EQ(L"Read the terms", element.Name());
  EXPECT_EQ(L"Jump", element.DefaultAction());
  EXPECT_EQ(STATE_SYSTEM_LINKED | STATE_SYSTEM_FOCUSABLE, element.State(false));

  // Without show-HTML the braces are drawn as they stand, and read so.
  CButtonUI plain;
  plain.SetText(L"Read the {a http://localhost/terms}terms{/a}");
  const CAccessibleElement shown(plain, nullptr, false);
  EXPECT_EQ(ROLE_SYSTEM_PUSHBUTTON, shown.Role());
  EXPECT_EQ(plain.GetText(), shown.Name());
  EXPECT_EQ(L"Press", shown.DefaultAction());
}

TEST(AccessibleElement, OptionsAreCheckButtonsOrRadioButtonsInAGroup) {
  CCheckBoxUI box;
  box.SetToolTip(L"Accept");
  EXPECT_EQ(ROLE_SYSTEM_CHECKBUTTON, CAccessibleElement(box, nullptr, false).Role());
  EXPECT_EQ(L"Accept", CAccessibleElement(box, nullptr, false).Name());  // no text: the tooltip
  EXPECT_EQ(L"Check", CAccessibleElement(box, nullptr, false).DefaultAction());
  box.Selected(true, false);
  EXPECT_NE(0, CAccessibleElement(box, nullptr, false).State(false) & STATE_SYSTEM_CHECKED);
  EXPECT_EQ(L"Uncheck", CAccessibleElement(box, nullptr, false).DefaultAction());
  box.SetEnabled(false);
  EXPECT_EQ(STATE_SYSTEM_CHECKED | STATE_SYSTEM_UNAVAILABLE, CAccessibleElement(box, nullptr, false).State(false));

  COptionUI page;
  page.SetGroup(L"pages");
  EXPECT_EQ(ROLE_SYSTEM_RADIOBUTTON, CAccessibleElement(page, nullptr, false).Role());
}

// Layouts are never met; a picture only when it has a tooltip to be named by, a text only when it
// has words, and nothing hidden.
TEST(AccessibleElement, OnlyWhatAUserPerceivesIsExposed) {
  CControlUI picture;
  picture.SetBkImage(L"img\\logo.png");
  EXPECT_FALSE(CAccessibleElement::IsExposed(picture));
  picture.SetToolTip(L"Product logo");
  EXPECT_TRUE(CAccessibleElement::IsExposed(picture));
  EXPECT_EQ(ROLE_SYSTEM_GRAPHIC, CAccessibleElement(picture, nullptr, false).Role());
  EXPECT_EQ(L"Product logo", CAccessibleElement(picture, nullptr, false).Name());

  CHorizontalLayoutUI row;
  row.SetToolTip(L"row");
  EXPECT_FALSE(CAccessibleElement::IsExposed(row));

  CLabelUI label;
  EXPECT_FALSE(CAccessibleElement::IsExposed(label));
  label.SetText(L"Installation Path");
  EXPECT_TRUE(CAccessibleElement::IsExposed(label));
  EXPECT_EQ(ROLE_SYSTEM_STATICTEXT, CAccessibleElement(label, nullptr, false).Role());
  label.SetVisible(false);
  EXPECT_FALSE(CAccessibleElement::IsExposed(label));
  EXPECT_NE(0, CAccessibleElement(label, nullptr, false).State(false) & STATE_SYSTEM_INVISIBLE);
}

TEST(AccessibleElement, TheBarReadsItsFilledShareAndTheEditItsText) {
  CProgressUI bar;
  bar.SetMinValue(20);
  bar.SetMaxValue(220);
  bar.SetValue(70);
  EXPECT_EQ(L"25%", CAccessibleElement(bar, nullptr, false).Value());
  // A mirrored window's horizontal bar fills from the right: what lies right of the value is done.
  EXPECT_EQ(L"75%", CAccessibleElement(bar, nullptr, true).Value());
  bar.SetHorizontal(false);
  EXPECT_EQ(L"25%", CAccessibleElement(bar, nullptr, true).Value());

  CEditUI edit;
  edit.SetText(L"C:\\Program Files\\");
  EXPECT_EQ(ROLE_SYSTEM_TEXT, CAccessibleElement(edit, nullptr, false).Role());
  EXPECT_EQ(L"C:\\Program Files\\", CAccessibleElement(edit, nullptr, false).Value());
  EXPECT_TRUE(CAccessibleElement(edit, nullptr, false).Name().empty());  // the window names it by its label
  edit.SetPasswordMode(true);
  EXPECT_TRUE(CAccessibleElement(edit, nullptr, false).Value().empty());
  EXPECT_NE(0, CAccessibleElement(edit, nullptr, false).State(false) & STATE_SYSTEM_PROTECTED);
}

TEST(ReadingOrder, RowsTopToBottomAndEachRowFromItsReadingEnd) {
  CControlUI box, text, fold, button;
  box.Place({20, 331, 40, 345});  // a small box, centred on the taller line beside it
  text.Place({40, 323, 400, 353});
  fold.Place({430, 323, 630, 353});
  button.Place({241, 184, 409, 230});
  const std::vector<CControlUI*> tree = {&box, &text, &fold, &button};
  EXPECT_EQ((std::vector<CControlUI*>{&button, &box, &text, &fold}), ReadingOrder(tree, false));
  EXPECT_EQ((std::vector<CControlUI*>{&button, &fold, &text, &box}), ReadingOrder(tree, true));
}
