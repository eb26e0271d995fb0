#pragma once

// The installer's window built by hand from the toolkit's classes, as its skin describes it: the main
// frame with the home page (page 0) and the progress page (page 1). Buttons and check boxes are probes
// (Tab stops) so that tests can watch the events they receive.

#include <initializer_list>
#include <utility>

#include "UiTestSupport.h"
#include "toolkit/controls/UILayout.h"

namespace UiTest {

using Attributes = std::initializer_list<std::pair<const wchar_t*, const wchar_t*>>;

template <typename T>
T* Add(SkinUI::CContainerUI* parent, Attributes attributes = {}) {
  T* control = new T;
  for (const auto& a : attributes) control->ApplyAttribute(a.first, a.second);
  if (parent) parent->Add(control);
  return control;
}

ProbeUI* AddProbe(SkinUI::CContainerUI* parent, Attributes attributes);

// The controls of the installer's home page that the assertions look at.
struct HomePage {
  SkinUI::CControlUI *logo, *titleSpace, *minBtn, *closeBtn, *body, *topSpace, *logoImage, *btnInstall, *btnStart, *tip,
      *bottomSpace, *line, *options, *chkAgree, *license, *chkFold, *optionsTop, *optionsBottom;
};

struct BannerPage {
  SkinUI::CControlUI *banner, *row, *column, *progress, *texts, *install, *percent, *hideGroup, *hide;
};

// The main file's frame: hidden selector row, the pages in a tab layout, the hidden path area.
struct MainFrame {
  SkinUI::CVerticalLayoutUI* root;
  SkinUI::CTabLayoutUI* tabs;
  SkinUI::CControlUI* bottom;
  HomePage home;
  BannerPage banner;
};

void BuildMain(MainFrame& m);

}  // namespace UiTest
