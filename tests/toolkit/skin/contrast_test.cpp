#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/render/UIRender.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/skin/UISkinMarkup.h"

using namespace SkinUI;

namespace {

// Relative luminance of an sRGB colour (alpha ignored), as readability guidelines define it.
double Luminance(uint32_t rgb) {
  double sum = 0;
  const double weights[3] = {0.2126, 0.7152, 0.0722};
  for (int i = 0; i < 3; ++i) {
    const double c = ((rgb >> (16 - 8 * i)) & 0xFF) / 255.0;
    sum += weights[i] * (c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
  }
  return sum;
}

double Contrast(uint32_t a, uint32_t b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// A premultiplied picture pixel drawn over an opaque colour.
uint32_t Over(uint32_t premultiplied, uint32_t below) {
  const uint32_t alpha = premultiplied >> 24;
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t top = (premultiplied >> shift) & 0xFF, under = (below >> shift) & 0xFF;
    out |= std::min<uint32_t>(255, top + (under * (255 - alpha) + 127) / 255) << shift;
  }
  return out;
}

struct FontSize {
  int size = 12;
  bool bold = false;
};

struct Finding {
  std::wstring where;
  double ratio;
  double needed;
};

// Walks a shipped skin file as the builder reads it (includes followed) and rates every text colour
// against what is painted behind it: the control's state picture where it has one (its middle, where
// the words sit, over the background it is drawn on), else the nearest opaque background colour.
class ContrastWalk {
 public:
  explicit ContrastWalk(CUIManager& manager) : manager_(manager) {}

  void File(const std::wstring& name, uint32_t background) {
    CSkinMarkup markup;
    ASSERT_TRUE(markup.LoadFromFile(name)) << TestSupport::Utf8(name);
    CSkinMarkupNode root = markup.GetRoot();
    for (CSkinMarkupNode font = root.GetChild(); font.IsValid(); font = font.GetSibling()) {
      if (std::wstring(font.GetName()) != L"Font") continue;
      FontSize f;
      f.size = Parse::Int(Attribute(font, L"size"));
      f.bold = Attribute(font, L"bold") == L"true";
      fonts_[Parse::Int(Attribute(font, L"id"))] = f;
    }
    Children(root, background);
  }

  // Colours a language pack writes into a text through markup, on the control that shows it.
  void PackColour(const std::wstring& control, uint32_t colour) { packColours_[control] = colour; }

  std::vector<Finding> findings;
  int rated = 0;

 private:
  static std::wstring Attribute(const CSkinMarkupNode& node, const wchar_t* name) {
    const wchar_t* value = node.FindAttribute(name);
    return value ? value : L"";
  }

  void Children(const CSkinMarkupNode& parent, uint32_t background) {
    for (CSkinMarkupNode node = parent.GetChild(); node.IsValid(); node = node.GetSibling()) Element(node, background);
  }

  void Element(const CSkinMarkupNode& node, uint32_t background) {
    const std::wstring kind = node.GetName();
    if (kind == L"Include") {
      File(Attribute(node, L"source"), background);
      return;
    }
    const std::wstring bk = Attribute(node, L"bkcolor");
    if (!bk.empty() && (Parse::Color(bk) >> 24) == 0xFF) background = Parse::Color(bk) & 0xFFFFFF;
    // The page selector row is for editing the skin by hand; users never see it.
    if (Attribute(node, L"visible") == L"false" && Attribute(node, L"name").empty()) return;
    static const wchar_t* const kTextKinds[] = {L"Label", L"Text", L"Button", L"Option", L"CheckBox", L"Edit"};
    const bool textKind = std::find(std::begin(kTextKinds), std::end(kTextKinds), kind) != std::end(kTextKinds);
    // A button without words is a picture; labels, texts and the edit get their words from the window.
    const bool showsWords = kind == L"Label" || kind == L"Text" || kind == L"Edit" || !Attribute(node, L"text").empty();
    if (textKind && showsWords) Rate(node, background);
    Children(node, background);
  }

  void Rate(const CSkinMarkupNode& node, uint32_t background) {
    const std::wstring name = Attribute(node, L"name");
    const bool isButton = std::wstring(node.GetName()) != L"Label" && std::wstring(node.GetName()) != L"Text" &&
                          std::wstring(node.GetName()) != L"Edit";
    const std::wstring textColour = Attribute(node, L"textcolor");
    const uint32_t text = textColour.empty() ? manager_.GetDefaultColor(kTextColor) : Parse::Color(textColour);
    const double needed = IsLarge(node) ? 3.0 : 4.5;
    // Each state's text colour with the picture shown in that state (the normal one where it has none).
    struct State {
      const wchar_t *colour, *image;
    };
    static const State kStates[] = {{L"textcolor", L"normalimage"},
                                    {L"hottextcolor", L"hotimage"},
                                    {L"pushedtextcolor", L"pushedimage"},
                                    {L"disabledtextcolor", L"disabledimage"}};
    for (const State& state : kStates) {
      const std::wstring colourText = Attribute(node, state.colour);
      if (colourText.empty() && state.colour != kStates[0].colour) continue;
      const uint32_t colour = colourText.empty() ? text : Parse::Color(colourText);
      std::wstring image = isButton ? Attribute(node, state.image) : L"";
      if (image.empty() && isButton) image = Attribute(node, L"normalimage");
      Check(name + L" " + state.colour, colour, image, background, needed);
    }
    const auto pack = packColours_.find(name);
    if (pack != packColours_.end()) Check(name + L" pack colour", pack->second, L"", background, needed);
  }

  bool IsLarge(const CSkinMarkupNode& node) const {
    const std::wstring id = Attribute(node, L"font");
    const auto font = fonts_.find(id.empty() ? -1 : Parse::Int(id));
    if (font == fonts_.end()) return false;
    return font->second.size >= 24 || (font->second.bold && font->second.size >= 19);
  }

  void Check(const std::wstring& where, uint32_t colour, const std::wstring& image, uint32_t background,
             double needed) {
    const double ratio =
        image.empty() ? Contrast(colour & 0xFFFFFF, background) : WorstOnPicture(colour, image, background);
    ++rated;
    if (ratio < needed) findings.push_back({where, ratio, needed});
  }

  // The lowest contrast over the picture's middle half, where a caption's letters sit.
  double WorstOnPicture(uint32_t colour, const std::wstring& descriptor, uint32_t background) {
    ImageDrawInfo info;
    info.SetDescriptor(descriptor);
    info.ParseDescriptor();
    // A picture placed by `dest` (a check mark, a chevron) sits beside the words, not behind them.
    if (info.dest.left || info.dest.top || info.dest.right || info.dest.bottom)
      return Contrast(colour & 0xFFFFFF, background);
    ImageRecord* picture = manager_.LookupImage(info.name, nullptr, 0);
    EXPECT_TRUE(picture) << TestSupport::Utf8(info.name);
    if (!picture || !picture->pixels) return Contrast(colour & 0xFFFFFF, background);
    double worst = 100;
    for (int y = picture->height / 4; y < picture->height * 3 / 4; ++y) {
      for (int x = picture->width / 4; x < picture->width * 3 / 4; ++x) {
        const uint32_t shown = Over(picture->pixels[static_cast<size_t>(y) * picture->width + x], background);
        worst = std::min(worst, Contrast(colour & 0xFFFFFF, shown));
      }
    }
    return worst;
  }

  CUIManager& manager_;
  std::map<int, FontSize> fonts_;
  std::map<std::wstring, uint32_t> packColours_;
};

uint32_t LicenceColourOfThePack() {
  const std::wstring ini = TestSupport::Wide(SETUP_SOURCE_DIR) + L"\\packages\\language\\productInfo.ini";
  wchar_t value[32] = {};
  ::GetPrivateProfileStringW(L"PRODUCT", L"STR_LISENCE_COLOR", L"", value, 32, ini.c_str());
  return Parse::Color(value);
}

}  // namespace

TEST(Contrast, TheFormulaMatchesKnownPairs) {
  EXPECT_NEAR(21.0, Contrast(0x000000, 0xFFFFFF), 0.01);
  EXPECT_NEAR(1.0, Contrast(0x1F1F1F, 0x1F1F1F), 0.001);
  EXPECT_NEAR(4.0, Contrast(0xFF0000, 0xFFFFFF), 0.01);
}

// Every text colour of both shipped skins against its background: 4.5:1, or 3:1 for large text.
TEST(Contrast, EveryShippedTextIsReadableOnWhatIsBehindIt) {
  const std::wstring folder = TestSupport::Wide(SETUP_SOURCE_DIR) + L"\\packages\\skin\\";
  Resource::Reset();
  Resource::SetSkinPath(folder);
  for (const wchar_t* skin : {L"main.xml", L"main_rtl.xml"}) {
    UiTest::TestWindow window;
    ContrastWalk walk(window.manager());
    walk.PackColour(L"btn_lisence", LicenceColourOfThePack());
    walk.File(skin, 0x000000);
    EXPECT_GT(walk.rated, 15) << TestSupport::Utf8(skin);
    for (const Finding& f : walk.findings)
      ADD_FAILURE() << TestSupport::Utf8(skin) << ": " << TestSupport::Utf8(f.where) << " " << f.ratio << ":1 (needs "
                    << f.needed << ":1)";
  }
  Resource::Reset();
}
