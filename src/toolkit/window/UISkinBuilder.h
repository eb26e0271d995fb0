#pragma once

// Turns a skin document into a control tree: registers the document's fonts, pictures, class
// defaults and numbered strings with the window's manager, applies the root's window attributes,
// makes one control per element by name and follows Include elements into other skin files.

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/core/UIContainer.h"
#include "toolkit/core/UIControl.h"
#include "toolkit/skin/UISkinMarkup.h"

namespace SkinUI {

class CUIManager;

// Asked for element names the builder has no class for; may return null.
class IDialogBuilderCallback {
 public:
  virtual CControlUI* MakeControl(const std::wstring& className) = 0;

 protected:
  ~IDialogBuilderCallback() = default;
};

// Controls go through Delete, which lets a control leave its manager first.
struct ControlDeleter {
  void operator()(CControlUI* control) const { control->Delete(); }
};
using ControlPtr = std::unique_ptr<CControlUI, ControlDeleter>;

// Skins include each other at most this deep; a skin that includes itself stops here.
constexpr int kMaxSkinIncludeDepth = 8;
// Controls made plus Include uses in one build, includes counted in; an Include with a huge count
// or a chain of them would otherwise build for hours or exhaust memory.
constexpr int kMaxSkinBuildSteps = 20000;

class CSkinBuilder {
 public:
  CSkinBuilder();
  CSkinBuilder(const CSkinBuilder&) = delete;
  CSkinBuilder& operator=(const CSkinBuilder&) = delete;

  // skin: a numbered resource of resourceType (a number below 65536 in place of the pointer), a
  // markup text starting with "<", or a skin file name. Returns the first control made at the top
  // level (the caller owns it unless parent took it), or null.
  CControlUI* Create(const wchar_t* skin, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                     CUIManager* manager, CControlUI* parent = nullptr);
  // Builds again from the document already loaded.
  CControlUI* Create(IDialogBuilderCallback* callback, CUIManager* manager, CControlUI* parent = nullptr);
  CSkinMarkup* GetMarkup() { return &markup_; }

 private:
  struct Budget {
    int steps = kMaxSkinBuildSteps;
    bool deepIncludeLogged = false;
  };
  // What one level of the build reports to the level above.
  struct LevelResult {
    CControlUI* first = nullptr;
    bool aborted = false;
  };

  // An Include's builder: shares the budget and knows how deep it sits.
  CSkinBuilder(Budget* budget, int includeDepth, int nesting);

  bool LoadSkin(const wchar_t* skin, const wchar_t* resourceType);
  bool LoadResourceSkin(UINT id, const wchar_t* resourceType);
  void RegisterResources(const CSkinMarkupNode& root, CUIManager& manager) const;
  void ApplyWindowAttributes(const CSkinMarkupNode& root, CUIManager& manager) const;

  enum class Attached { kYes, kRefused, kNoContainer };

  LevelResult BuildLevel(const CSkinMarkupNode& parentNode, CControlUI* parent, CUIManager* manager, int nesting);
  void BuildElement(const CSkinMarkupNode& node, CControlUI* parent, CUIManager* manager, int nesting,
                    IContainerUI*& container, LevelResult& result);
  ControlPtr MakeControl(const wchar_t* name) const;
  void ApplyAttributes(const CSkinMarkupNode& node, CControlUI& control, CUIManager* manager) const;
  // Hands the control to the parent, as its cover or as a child; the parent owns it whatever the answer.
  static Attached Attach(const CSkinMarkupNode& node, ControlPtr control, CControlUI* parent, IContainerUI*& container);
  void BuildInclude(const CSkinMarkupNode& node, CControlUI* parent, CUIManager* manager, int nesting);
  bool CreateIncluded(const std::wstring& source, const std::wstring& type, IDialogBuilderCallback* callback,
                      CUIManager* manager, CControlUI* parent);
  bool TakeStep(const wchar_t* what);

  CSkinMarkup markup_;
  IDialogBuilderCallback* callback_ = nullptr;
  std::wstring resourceType_;
  Budget ownBudget_;
  Budget* budget_ = &ownBudget_;
  int includeDepth_ = 0;
  int baseNesting_ = 0;
};

// The process-wide numbered strings that "%{n}" tokens in texts stand for.
void AddMultiLanguageString(int id, const std::wstring& text);
// Null when there is no string with that number.
const std::wstring* GetMultiLanguageString(int id);

}  // namespace SkinUI
