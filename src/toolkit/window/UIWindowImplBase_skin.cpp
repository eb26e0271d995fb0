// Skin loading at window creation: the native frame goes, the manager takes the window, the skin's
// source is opened and the control tree built and attached. A skin that cannot be built ends the
// process: the window would be an empty black rectangle the user could not even close.

#include <cstdlib>
#include <vector>

#include "log/Log.h"
#include "toolkit/access/UIAccessible.h"
#include "toolkit/skin/UIResource.h"
#include "toolkit/window/UIWindowImplBase.h"
#include "base/ModuleResource.h"

namespace SkinUI {

namespace {

constexpr wchar_t kMemoryArchive[] = L"membuffer";
// "Loading the resource file failed."
constexpr wchar_t kSkinLoadFailed[] = L"\u52A0\u8F7D\u8D44\u6E90\u6587\u4EF6\u5931\u8D25";

// The in-memory archive reads from this copy for the rest of the process.
std::vector<unsigned char>& ArchiveCopy() {
  static std::vector<unsigned char> bytes;
  return bytes;
}

std::wstring ResourceIdText(const wchar_t* id) {
  if (IS_INTRESOURCE(id)) return std::to_wstring(reinterpret_cast<ULONG_PTR>(id));
  return id ? std::wstring(id) : std::wstring();
}

}  // namespace

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool&) {
  DropNativeFrame();
  // A skinned window answers screen readers.
  CUIAccessible::Install();
  manager_.Init(hwnd_);
  manager_.AddPreFilter(this);
  if (Resource::SkinPath().empty()) Resource::SetSkinPath(Resource::ModuleFolder() + SkinFolder());
  if (!OpenSkinSource()) return 0;
  CControlUI* root = BuildSkin();
  if (!root) FailSkinLoad();
  manager_.AttachRoot(root);
  manager_.AddListener(this);
  OnTreeReady();
  return 0;
}

void WindowImplBase::DropNativeFrame() {
  const DWORD style = GetStyle() | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, static_cast<LONG_PTR>(style));
  RECT client = {};
  ::GetClientRect(hwnd_, &client);
  ::SetWindowPos(hwnd_, nullptr, client.left, client.top, client.right - client.left, client.bottom - client.top,
                 SWP_FRAMECHANGED);
}

bool WindowImplBase::OpenSkinSource() {
  switch (SkinSource()) {
    case kSkinZipFile:
      Resource::UseSkinArchive(SkinZipName(), true);
      return true;
    case kSkinZipResource:
      return OpenSkinResource();
    default:
      return true;
  }
}

// A second window reuses the archive that is already open: replacing the copy under it would leave
// the open archive reading freed memory.
bool WindowImplBase::OpenSkinResource() {
  if (Resource::SkinZipName() == kMemoryArchive) return true;
  std::vector<unsigned char> bytes;
  if (!Base::CopyModuleResource(Resource::ModuleInstance(), SkinResourceId(), L"ZIPRES", bytes)) {
    LOG_INFOW(L"ERR: skin resource ZIPRES %ls is missing or empty", ResourceIdText(SkinResourceId()).c_str());
    return false;
  }
  ArchiveCopy().swap(bytes);
  Resource::UseSkinArchive(ArchiveCopy().data(), ArchiveCopy().size());
  return true;
}

CControlUI* WindowImplBase::BuildSkin() {
  CSkinBuilder builder;
  const std::wstring file = SkinFile();
  if (SkinSource() == kSkinXmlResource) {
    const UINT id = static_cast<UINT>(std::wcstoul(file.c_str(), nullptr, 10));
    return builder.Create(MAKEINTRESOURCEW(id), L"xml", this, &manager_);
  }
  return builder.Create(file.c_str(), nullptr, this, &manager_);
}

void WindowImplBase::FailSkinLoad() {
  LOG_INFOW(L"ERR: skin %ls cannot be built; the program ends", SkinFile().c_str());
  ::MessageBoxW(nullptr, kSkinLoadFailed, L"SkinUI", MB_ICONERROR);
  ::ExitProcess(1);
}

}  // namespace SkinUI
