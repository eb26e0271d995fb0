#include "toolkit/window/UISkinBuilder.h"

#include <cwchar>
#include <utility>

#include "log/Log.h"
#include "toolkit/controls/UIButton.h"
#include "toolkit/controls/UIEdit.h"
#include "toolkit/controls/UILabel.h"
#include "toolkit/controls/UILayout.h"
#include "toolkit/core/UIManager.h"
#include "toolkit/controls/UIProgress.h"
#include "toolkit/skin/UIResource.h"
#include "base/ModuleResource.h"

namespace SkinUI {

namespace {

// Attribute values longer than these are cut, as the fixed buffers of older skins' tools did.
constexpr size_t kMaxCoverValue = 255;
constexpr size_t kMaxIncludeValue = 499;

bool SameNoCase(const wchar_t* a, const wchar_t* b) { return _wcsicmp(a, b) == 0; }

template <typename T>
ControlPtr Make() {
  return ControlPtr(new T());
}

struct ControlClass {
  const wchar_t* name;
  ControlPtr (*make)();
};

// Element names are matched without regard to case.
const ControlClass kControlClasses[] = {
    {L"Control", Make<CControlUI>},
    {L"Container", Make<CContainerUI>},
    {L"VerticalLayout", Make<CVerticalLayoutUI>},
    {L"VBox", Make<CVerticalLayoutUI>},
    {L"HorizontalLayout", Make<CHorizontalLayoutUI>},
    {L"HBox", Make<CHorizontalLayoutUI>},
    {L"TabLayout", Make<CTabLayoutUI>},
    {L"Label", Make<CLabelUI>},
    {L"Text", Make<CTextUI>},
    {L"Button", Make<CButtonUI>},
    {L"Option", Make<COptionUI>},
    {L"CheckBox", Make<CCheckBoxUI>},
    {L"Edit", Make<CEditUI>},
    {L"Progress", Make<CProgressUI>},
};

bool IsResourceElement(const wchar_t* name) {
  return SameNoCase(name, L"Image") || SameNoCase(name, L"Font") || SameNoCase(name, L"Default") ||
         SameNoCase(name, L"MultiLanguage");
}

// The value of the last attribute with this name, compared without regard to case.
bool FindNoCase(const CSkinMarkupNode& node, const wchar_t* name, std::wstring& value) {
  bool found = false;
  const int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) {
    if (!SameNoCase(node.GetAttributeName(i), name)) continue;
    value = node.GetAttributeValue(i);
    found = true;
  }
  return found;
}

std::wstring TextNoCase(const CSkinMarkupNode& node, const wchar_t* name) {
  std::wstring value;
  FindNoCase(node, name, value);
  return value;
}

long NumberNoCase(const CSkinMarkupNode& node, const wchar_t* name, long fallback) {
  std::wstring value;
  return FindNoCase(node, name, value) ? Parse::Int(value) : fallback;
}

bool FlagNoCase(const CSkinMarkupNode& node, const wchar_t* name) {
  std::wstring value;
  return FindNoCase(node, name, value) && SameNoCase(value.c_str(), L"true");
}

void RegisterImage(const CSkinMarkupNode& node, CUIManager& manager) {
  const std::wstring name = TextNoCase(node, L"name");
  if (name.empty()) return;
  const std::wstring type = TextNoCase(node, L"restype");
  const DWORD mask = Parse::Color(TextNoCase(node, L"mask"));
  if (!manager.CacheImage(name, type.empty() ? nullptr : type.c_str(), mask, FlagNoCase(node, L"shared"), false))
    LOG_INFOW(L"ERR: skin image %ls cannot be loaded", name.c_str());
}

void RegisterFont(const CSkinMarkupNode& node, CUIManager& manager) {
  const long id = NumberNoCase(node, L"id", -1);
  const std::wstring face = TextNoCase(node, L"name");
  if (id < 0 || face.empty()) return;
  const int size = static_cast<int>(NumberNoCase(node, L"size", 12));
  const bool bold = FlagNoCase(node, L"bold"), underline = FlagNoCase(node, L"underline");
  const bool italic = FlagNoCase(node, L"italic"), shared = FlagNoCase(node, L"shared");
  manager.AddFont(static_cast<int>(id), face, size, bold, underline, italic, shared);
  if (FlagNoCase(node, L"default")) manager.SetDefaultFontSpec(face, size, bold, underline, italic, shared);
}

void RegisterDefault(const CSkinMarkupNode& node, CUIManager& manager) {
  const std::wstring name = TextNoCase(node, L"name");
  if (!name.empty()) manager.AddClassDefaults(name, TextNoCase(node, L"value"), FlagNoCase(node, L"shared"));
}

void RegisterString(const CSkinMarkupNode& node) {
  const long id = NumberNoCase(node, L"id", -1);
  const std::wstring value = TextNoCase(node, L"value");
  if (id >= 0 && !value.empty()) AddMultiLanguageString(static_cast<int>(id), value);
}

// A resource type given as a number becomes the "#n" text that the resource functions accept too.
std::wstring ResourceTypeText(const wchar_t* type) {
  if (!IS_INTRESOURCE(type)) return type;
  return L"#" + std::to_wstring(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(type)));
}

std::wstring SkinLabel(const wchar_t* skin) {
  if (IS_INTRESOURCE(skin)) return L"#" + std::to_wstring(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(skin)));
  return std::wstring(skin).substr(0, 64);
}

}  // namespace

// ---- numbered strings ----

void AddMultiLanguageString(int id, const std::wstring& text) { MultiLanguage::Set(id, text); }

const std::wstring* GetMultiLanguageString(int id) { return MultiLanguage::Find(id); }

// ---- entry ----

CSkinBuilder::CSkinBuilder() = default;

CSkinBuilder::CSkinBuilder(Budget* budget, int includeDepth, int nesting)
    : budget_(budget), includeDepth_(includeDepth), baseNesting_(nesting) {}

CControlUI* CSkinBuilder::Create(const wchar_t* skin, const wchar_t* resourceType, IDialogBuilderCallback* callback,
                                 CUIManager* manager, CControlUI* parent) {
  if (!LoadSkin(skin, resourceType)) {
    LOG_INFOW(L"ERR: skin %ls not built: %ls \"%ls\"", SkinLabel(skin).c_str(), markup_.GetLastErrorMessage().c_str(),
              markup_.GetLastErrorLocation().c_str());
    return nullptr;
  }
  return Create(callback, manager, parent);
}

bool CSkinBuilder::LoadSkin(const wchar_t* skin, const wchar_t* resourceType) {
  resourceType_.clear();
  if (IS_INTRESOURCE(skin)) return LoadResourceSkin(LOWORD(reinterpret_cast<ULONG_PTR>(skin)), resourceType);
  if (skin[0] == L'<') return markup_.Load(skin);
  return markup_.LoadFromFile(skin);
}

bool CSkinBuilder::LoadResourceSkin(UINT id, const wchar_t* resourceType) {
  markup_.Release();
  if (!resourceType) return false;
  const std::wstring type = ResourceTypeText(resourceType);
  const Base::ResourceBytes bytes =
      Base::FindModuleResource(Resource::ModuleInstance(), MAKEINTRESOURCEW(id), type.c_str());
  if (!bytes.data) {
    LOG_INFOW(L"ERR: skin resource %ls %u not found (error %lu)", type.c_str(), id, ::GetLastError());
    return false;
  }
  if (!markup_.LoadFromMem(bytes.data, bytes.size)) return false;
  resourceType_ = type;
  return true;
}

CControlUI* CSkinBuilder::Create(IDialogBuilderCallback* callback, CUIManager* manager, CControlUI* parent) {
  callback_ = callback;
  if (budget_ == &ownBudget_) ownBudget_ = Budget();
  const CSkinMarkupNode root = markup_.GetRoot();
  if (!root.IsValid()) return nullptr;
  if (manager) {
    RegisterResources(root, *manager);
    if (SameNoCase(root.GetName(), L"Window") && manager->PaintWindow()) ApplyWindowAttributes(root, *manager);
  }
  const LevelResult result = BuildLevel(root, parent, manager, baseNesting_);
  if (!result.aborted) return result.first;
  // Nobody else holds a top control that was not handed to a parent.
  if (!parent && result.first) result.first->Delete();
  return nullptr;
}

void CSkinBuilder::RegisterResources(const CSkinMarkupNode& root, CUIManager& manager) const {
  for (CSkinMarkupNode node = root.GetChild(); node.IsValid(); node = node.GetSibling()) {
    const wchar_t* name = node.GetName();
    if (SameNoCase(name, L"Image")) {
      RegisterImage(node, manager);
    } else if (SameNoCase(name, L"Font")) {
      RegisterFont(node, manager);
    } else if (SameNoCase(name, L"Default")) {
      RegisterDefault(node, manager);
    } else if (SameNoCase(name, L"MultiLanguage")) {
      RegisterString(node);
    }
  }
}

void CSkinBuilder::ApplyWindowAttributes(const CSkinMarkupNode& root, CUIManager& manager) const {
  const int count = root.GetAttributeCount();
  for (int i = 0; i < count; ++i) manager.ApplyWindowAttribute(root.GetAttributeName(i), root.GetAttributeValue(i));
}

// ---- controls ----

CSkinBuilder::LevelResult CSkinBuilder::BuildLevel(const CSkinMarkupNode& parentNode, CControlUI* parent,
                                                   CUIManager* manager, int nesting) {
  LevelResult result;
  if (nesting >= kMaxSkinNesting) {
    LOG_INFOW(L"ERR: skin controls nested deeper than %d levels, the rest is skipped", kMaxSkinNesting);
    return result;
  }
  IContainerUI* container = nullptr;  // asked once per level
  for (CSkinMarkupNode node = parentNode.GetChild(); node.IsValid() && !result.aborted; node = node.GetSibling()) {
    const wchar_t* name = node.GetName();
    if (IsResourceElement(name)) continue;
    if (SameNoCase(name, L"Include")) {
      BuildInclude(node, parent, manager, nesting);
    } else if (!parent && result.first) {
      LOG_INFOW(L"ERR: skin element <%ls> has no parent to go to, skipped", name);
    } else {
      BuildElement(node, parent, manager, nesting, container, result);
    }
  }
  return result;
}

void CSkinBuilder::BuildElement(const CSkinMarkupNode& node, CControlUI* parent, CUIManager* manager, int nesting,
                                IContainerUI*& container, LevelResult& result) {
  ControlPtr control = MakeControl(node.GetName());
  if (!control) {
    LOG_INFOW(L"ERR: skin element <%ls> names no control, skipped with its children", node.GetName());
    return;
  }
  if (!TakeStep(node.GetName())) return;
  if (node.HasChildren() && BuildLevel(node, control.get(), manager, nesting + 1).aborted) {
    result.aborted = true;
    return;
  }
  CControlUI* made = control.get();
  if (parent) {
    const Attached attached = Attach(node, std::move(control), parent, container);
    if (attached == Attached::kNoContainer) result.aborted = true;
    if (attached != Attached::kYes) return;
  }
  ApplyAttributes(node, *made, manager);
  if (result.first) return;
  result.first = made;
  control.release();  // without a parent the first control goes to the caller
}

ControlPtr CSkinBuilder::MakeControl(const wchar_t* name) const {
  for (const ControlClass& entry : kControlClasses) {
    if (SameNoCase(name, entry.name)) return entry.make();
  }
  return ControlPtr(callback_ ? callback_->MakeControl(name) : nullptr);
}

CSkinBuilder::Attached CSkinBuilder::Attach(const CSkinMarkupNode& node, ControlPtr control, CControlUI* parent,
                                            IContainerUI*& container) {
  std::wstring cover;
  if (node.GetAttributeValue(L"cover", cover, kMaxCoverValue) && cover == L"true") {
    parent->SetCoverControl(control.release());
    return Attached::kYes;
  }
  if (!container) container = static_cast<IContainerUI*>(parent->CastTo(L"IContainer"));
  if (!container) {
    LOG_INFOW(L"ERR: skin element <%ls> sits in a %ls, which holds no children; the build stops", node.GetName(),
              parent->ClassName());
    return Attached::kNoContainer;
  }
  // Add takes the control over even when it refuses it (and then deletes it).
  return container->Add(control.release()) ? Attached::kYes : Attached::kRefused;
}

// The manager is lent for the attributes only, so that fonts and pictures resolve; the finished tree
// gets it for good when it is attached to the window. Whatever the attributes registered is dropped
// again, or a tree that is never attached would leave stale entries behind.
void CSkinBuilder::ApplyAttributes(const CSkinMarkupNode& node, CControlUI& control, CUIManager* manager) const {
  if (manager) {
    control.AttachManager(manager, nullptr, false);
    if (const std::wstring* defaults = manager->ClassDefaults(node.GetName())) control.ApplyAttributeList(*defaults);
  }
  const int count = node.GetAttributeCount();
  for (int i = 0; i < count; ++i) control.ApplyAttribute(node.GetAttributeName(i), node.GetAttributeValue(i));
  if (!manager) return;
  control.AttachManager(nullptr, nullptr, false);
  manager->ForgetControl(&control);
}

void CSkinBuilder::BuildInclude(const CSkinMarkupNode& node, CControlUI* parent, CUIManager* manager, int nesting) {
  if (!node.HasAttributes()) return;
  std::wstring countText, source;
  const long count = node.GetAttributeValue(L"count", countText, kMaxIncludeValue) ? Parse::Int(countText) : 1;
  if (!node.GetAttributeValue(L"source", source, kMaxIncludeValue) || source.empty()) return;
  if (!parent) {
    LOG_INFOW(L"ERR: skin include %ls has no parent to go to, skipped", source.c_str());
    return;
  }
  if (includeDepth_ >= kMaxSkinIncludeDepth) {
    if (!std::exchange(budget_->deepIncludeLogged, true))
      LOG_INFOW(L"ERR: skin include %ls nested deeper than %d includes, skipped", source.c_str(), kMaxSkinIncludeDepth);
    return;
  }
  CSkinBuilder nested(budget_, includeDepth_ + 1, nesting);
  for (long i = 0; i < count && TakeStep(L"Include"); ++i) {
    if (nested.markup_.IsValid()) {
      nested.Create(callback_, manager, parent);
    } else if (i > 0 || !nested.CreateIncluded(source, resourceType_, callback_, manager, parent)) {
      return;  // a skin that did not load the first time will not load now
    }
  }
}

// Loads and builds an included skin: a numbered resource of the including skin's type, or a text or file.
bool CSkinBuilder::CreateIncluded(const std::wstring& source, const std::wstring& type,
                                  IDialogBuilderCallback* callback, CUIManager* manager, CControlUI* parent) {
  if (type.empty()) {
    Create(source.c_str(), nullptr, callback, manager, parent);
    return markup_.IsValid();
  }
  const long id = Parse::Int(source);
  if (id <= 0 || id > 0xFFFF) {
    LOG_INFOW(L"ERR: skin include %ls is no resource number", source.c_str());
    return false;
  }
  Create(MAKEINTRESOURCEW(id), type.c_str(), callback, manager, parent);
  return markup_.IsValid();
}

bool CSkinBuilder::TakeStep(const wchar_t* what) {
  if (budget_->steps <= 0) return false;
  if (--budget_->steps == 0)
    LOG_INFOW(L"ERR: skin build stopped at <%ls>: more than %d controls and includes", what, kMaxSkinBuildSteps);
  return true;
}

}  // namespace SkinUI
