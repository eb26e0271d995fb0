#include "InstallerPages.h"

using namespace SkinUI;

namespace UiTest {

ProbeUI* AddProbe(CContainerUI* parent, Attributes attributes) {
  auto* probe = new ProbeUI(std::wstring(), ControlFlagTabStop);
  for (const auto& a : attributes) probe->ApplyAttribute(a.first, a.second);
  parent->Add(probe);
  return probe;
}

static void BuildTitleRow(CContainerUI* page, HomePage& p) {
  auto* title =
      Add<CHorizontalLayoutUI>(page, {{L"height", L"37"}, {L"bkcolor", L"#FF1F1F1F"}, {L"inset", L"10,5,10,0"}});
  p.logo = Add<CControlUI>(title, {{L"width", L"108"}, {L"height", L"32"}, {L"bkimage", L"img\\left_log.png"}});
  p.titleSpace = Add<CHorizontalLayoutUI>(title, {{L"height", L"32"}});
  auto* group = Add<CHorizontalLayoutUI>(
      title, {{L"width", L"50"}, {L"height", L"32"}, {L"childpadding", L"10"}, {L"inset", L"0,6,0,6"}});
  p.minBtn = AddProbe(group, {{L"name", L"minbtn"}, {L"width", L"20"}, {L"height", L"20"}});
  p.closeBtn = AddProbe(group, {{L"name", L"closebtn"}, {L"width", L"20"}, {L"height", L"20"}});
}

static void BuildBody(CContainerUI* page, HomePage& p) {
  auto* body = Add<CVerticalLayoutUI>(page, {{L"bkcolor", L"#FF1F1F1F"}, {L"childpadding", L"30"}});
  p.body = body;
  p.topSpace = Add<CVerticalLayoutUI>(body, {{L"height", L"35"}});
  auto* logoRow = Add<CHorizontalLayoutUI>(body, {{L"height", L"52"}});
  Add<CHorizontalLayoutUI>(logoRow);
  p.logoImage = Add<CControlUI>(logoRow, {{L"width", L"266"}, {L"height", L"52"}, {L"bkimage", L"img\\logo.png"}});
  Add<CHorizontalLayoutUI>(logoRow);
  auto* buttons = Add<CHorizontalLayoutUI>(body, {{L"height", L"46"}});
  Add<CHorizontalLayoutUI>(buttons);
  p.btnInstall = AddProbe(buttons, {{L"name", L"btn_install"}, {L"width", L"168"}, {L"height", L"46"}});
  p.btnStart = AddProbe(buttons, {{L"name", L"btn_start"}, {L"width", L"168"}, {L"height", L"46"}});
  Add<CHorizontalLayoutUI>(buttons);
  auto* tipRow = Add<CHorizontalLayoutUI>(body, {{L"height", L"36"}});
  Add<CHorizontalLayoutUI>(tipRow);
  p.tip = Add<CControlUI>(tipRow,
                          {{L"name", L"control_tip"}, {L"visible", L"false"}, {L"width", L"520"}, {L"height", L"36"}});
  Add<CHorizontalLayoutUI>(tipRow);
  p.bottomSpace = Add<CVerticalLayoutUI>(body);
}

static void BuildOptions(CContainerUI* page, HomePage& p) {
  p.line = Add<CVerticalLayoutUI>(page, {{L"name", L"lineLayout"}, {L"height", L"1"}, {L"bkcolor", L"#FF4E4E4E"}});
  auto* options = Add<CVerticalLayoutUI>(
      page, {{L"name", L"customLayout"}, {L"height", L"46"}, {L"bkcolor", L"#FF1F1F1F"}, {L"inset", L"20,0,20,0"}});
  p.options = options;
  p.optionsTop = Add<CHorizontalLayoutUI>(options);
  auto* row = Add<CHorizontalLayoutUI>(options, {{L"height", L"30"}});
  p.chkAgree = AddProbe(row, {{L"name", L"chk_agree"}, {L"width", L"20"}});
  p.license = AddProbe(row, {{L"name", L"btn_lisence"}});
  p.chkFold = AddProbe(row, {{L"name", L"chk_fold"}, {L"width", L"200"}});
  p.optionsBottom = Add<CHorizontalLayoutUI>(options);
}

static CContainerUI* BuildHome(HomePage& p) {
  auto* page = new CVerticalLayoutUI;
  BuildTitleRow(page, p);
  BuildBody(page, p);
  BuildOptions(page, p);
  return page;
}

static CContainerUI* BuildBanner(BannerPage& p) {
  auto* page = new CVerticalLayoutUI;
  auto* top = Add<CHorizontalLayoutUI>(page, {{L"height", L"290"}});
  p.banner = Add<CControlUI>(top, {{L"name", L"banner"}, {L"bkimage", L"language\\pr_01.png"}});
  auto* row = Add<CHorizontalLayoutUI>(
      page, {{L"height", L"70"}, {L"bkcolor", L"#FFFFFFFF"}, {L"childpadding", L"25"}, {L"inset", L"30,20,30,10"}});
  p.row = row;
  auto* column = Add<CVerticalLayoutUI>(row, {{L"childpadding", L"5"}});
  p.column = column;
  p.progress = Add<CControlUI>(column, {{L"name", L"progress_download"}, {L"height", L"6"}, {L"borderround", L"3,3"}});
  auto* texts = Add<CHorizontalLayoutUI>(column);
  p.texts = texts;
  p.install = Add<CControlUI>(texts, {{L"name", L"label_install"}});
  p.percent = Add<CControlUI>(texts, {{L"name", L"label_progress"}});
  auto* group = Add<CHorizontalLayoutUI>(row, {{L"width", L"57"}});
  p.hideGroup = group;
  p.hide = AddProbe(group, {{L"name", L"btn_hide"}, {L"width", L"57"}, {L"height", L"26"}});
  return page;
}

void BuildMain(MainFrame& m) {
  m.root = Add<CVerticalLayoutUI>(nullptr, {{L"bkcolor", L"#FF000000"}, {L"bordersize", L"0"}});
  Add<CHorizontalLayoutUI>(m.root, {{L"height", L"32"}, {L"visible", L"false"}});
  m.tabs = Add<CTabLayoutUI>(m.root, {{L"name", L"switch"}});
  auto* page0 = Add<CHorizontalLayoutUI>(m.tabs);
  page0->Add(BuildHome(m.home));
  auto* page1 = Add<CHorizontalLayoutUI>(m.tabs);
  page1->Add(BuildBanner(m.banner));
  m.bottom = Add<CVerticalLayoutUI>(m.root, {{L"name", L"bottomLayout"}, {L"visible", L"false"}, {L"height", L"75"}});
}

}  // namespace UiTest
