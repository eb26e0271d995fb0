#include "toolkit/skin/UIResource.h"

#include "log/Log.h"
#include "toolkit/skin/ZipArchive.h"
#include "base/ModulePath.h"

namespace SkinUI {

namespace {

struct ResourceState {
  HINSTANCE instance = nullptr;
  std::wstring skinPath;
  std::wstring zipName;
  bool cacheArchive = true;
  std::unique_ptr<CZipArchive> archive;
};

ResourceState& State() {
  static ResourceState state;
  return state;
}

const wchar_t kMemBuffer[] = L"membuffer";
constexpr size_t kMaxEntryNameLength = 256;

bool ReadArchiveEntry(const CZipArchive& archive, const std::wstring& name, std::vector<unsigned char>& bytes) {
  if (name.size() >= kMaxEntryNameLength) return false;
  int index = archive.FindEntry(name);
  if (index < 0) return false;
  return archive.ReadEntry(index, bytes) && !bytes.empty();
}

}  // namespace

ImageRecord* CImageTable::Find(const std::wstring& name) const {
  auto it = images_.find(name);
  return it == images_.end() ? nullptr : it->second.get();
}

ImageRecord* CImageTable::Insert(const std::wstring& name, ImagePtr image) {
  if (!image) return nullptr;
  ImagePtr& slot = images_[name];
  if (slot) retired_.push_back(std::move(slot));
  slot = std::move(image);
  return slot.get();
}

bool CImageTable::Holds(const ImageRecord* image) const {
  for (const auto& entry : images_)
    if (entry.second.get() == image) return true;
  for (const ImagePtr& old : retired_)
    if (old.get() == image) return true;
  return false;
}

void CImageTable::Clear() {
  images_.clear();
  retired_.clear();
}

CImageTable& SharedImages() {
  static CImageTable table;
  return table;
}

namespace Resource {

void SetModuleInstance(HINSTANCE instance) { State().instance = instance; }
HINSTANCE ModuleInstance() { return State().instance; }

std::wstring ModuleFolder() { return State().instance ? Base::ModuleFolder(State().instance) : std::wstring(); }

void SetSkinPath(const std::wstring& path) {
  State().skinPath = path;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') State().skinPath += L'\\';
}

std::wstring SkinPath() { return State().skinPath; }
const CZipArchive* OpenArchive() { return State().cacheArchive ? State().archive.get() : nullptr; }
std::wstring SkinZipName() { return State().zipName; }
bool CachesArchive() { return State().cacheArchive; }

void UseSkinArchive(const std::wstring& zipName, bool cache) {
  ResourceState& state = State();
  if (zipName == state.zipName && cache == state.cacheArchive) return;
  if (state.cacheArchive) state.archive.reset();
  state.zipName = zipName;
  state.cacheArchive = cache;
  if (!cache || zipName.empty()) return;
  auto archive = std::make_unique<CZipArchive>();
  if (archive->OpenFile(state.skinPath + zipName)) {
    state.archive = std::move(archive);
  } else {
    LOG_INFOW(L"ERR: cannot open skin archive %ls%ls", state.skinPath.c_str(), zipName.c_str());
  }
}

void UseSkinArchive(const void* data, size_t size) {
  ResourceState& state = State();
  if (state.zipName == kMemBuffer) return;
  if (state.cacheArchive) state.archive.reset();
  state.zipName = kMemBuffer;
  if (!state.cacheArchive) return;
  auto archive = std::make_unique<CZipArchive>();
  if (archive->Open(data, size)) {
    state.archive = std::move(archive);
  } else {
    LOG_INFO("ERR: the skin archive in memory cannot be read");
  }
}

void Reset() {
  ResourceState& state = State();
  state.archive.reset();
  state.zipName.clear();
  state.skinPath.clear();
  state.cacheArchive = true;
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes) {
  bytes.clear();
  Scoped::CloseFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxZipEntrySize) return false;
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
    bytes.clear();
    return false;
  }
  return true;
}

bool ReadSkinFile(const std::wstring& name, std::vector<unsigned char>& bytes) {
  ResourceState& state = State();
  bytes.clear();
  if (state.zipName.empty()) return ReadWholeFile(state.skinPath + name, bytes);
  if (state.cacheArchive) return state.archive && ReadArchiveEntry(*state.archive, name, bytes);
  if (state.zipName == kMemBuffer) return false;  // an uncached memory archive has nothing to reopen
  CZipArchive archive;
  return archive.OpenFile(state.skinPath + state.zipName) && ReadArchiveEntry(archive, name, bytes);
}

}  // namespace Resource

}  // namespace SkinUI
