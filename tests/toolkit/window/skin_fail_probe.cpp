// Opens a skinned window whose skin cannot be built, the way the installer opens its own.
//   skin_fail_probe missing   a skin file that does not exist
//   skin_fail_probe damaged   an archive resource that is no zip
// The window base shows its failure box and ends the process with 1; reaching the end of this
// program means the failure went unnoticed, which it reports with 3.

#include <windows.h>

#include <string>

#include "toolkit/skin/UIResource.h"
#include "toolkit/window/UIWindowImplBase.h"

namespace {

class ProbeWindow : public SkinUI::WindowImplBase {
 public:
  explicit ProbeWindow(bool damaged) : damaged_(damaged) {}

 protected:
  const wchar_t* WindowClassName() const override { return L"SkinFailProbe"; }
  std::wstring SkinFolder() override { return std::wstring(); }
  std::wstring SkinFile() override { return damaged_ ? L"main.xml" : L"no-such-skin.xml"; }
  SkinUI::SkinSourceType SkinSource() const override {
    return damaged_ ? SkinUI::kSkinZipResource : SkinUI::kSkinFiles;
  }
  const wchar_t* SkinResourceId() const override { return MAKEINTRESOURCEW(105); }

 private:
  bool damaged_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool damaged = argc > 1 && std::wstring(argv[1]) == L"damaged";
  SkinUI::Resource::SetModuleInstance(::GetModuleHandleW(nullptr));
  ProbeWindow window(damaged);
  window.Create(nullptr, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 0, 200, 100);
  return 3;
}
