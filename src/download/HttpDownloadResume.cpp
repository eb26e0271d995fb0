// The download's partial file across runs (its state file) and the digest that follows it.

#include "download/HttpDownload.h"

#include "log/Log.h"

namespace {

long long FileLength(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

bool CHttpDownload::PrepareTarget(int count) {
  const bool resumable = nFileSize != CRangePlan::kUnknownSize && !remote.Validator().empty();
  strStatePath = resumable ? ResumeState::PathFor(param.strSavePath) : std::wstring();
  ResumeState state;
  std::string why;
  if (resumable && ResumableState(state, why) && OpenTarget(OPEN_EXISTING)) {
    pPlan = std::make_unique<CRangePlan>(nFileSize, state.vecPieces);
    LOG_INFO("the partial download goes on: %lld of %lld bytes are on disk", pPlan->DownloadedSize(), nFileSize);
    for (int i = 0; i < pPlan->RangeCount(); ++i) {
      if (!pPlan->IsDone(i)) LOG_INFO("resume range %d from byte %lld to %lld", i, pPlan->Next(i), pPlan->End(i));
    }
    Notify(kDownload_Progress, pPlan->DownloadedSize(), nFileSize);
    return true;
  }
  if (!resumable) why = "the server names no size or no validator, so a partial file could not be vouched for";
  LOG_INFO("the download starts from its first byte: %s", why.c_str());
  ::DeleteFileW(ResumeState::PathFor(param.strSavePath).c_str());
  if (!OpenTarget(CREATE_ALWAYS)) return false;
  pPlan = std::make_unique<CRangePlan>(nFileSize, count, retry.nMinSplitBytes);
  return true;
}

bool CHttpDownload::ResumableState(ResumeState& state, std::string& why) const {
  if (!state.Load(strStatePath, why)) return false;
  char text[160] = {};
  if (state.strUrl != param.strDownloadUrl) {
    why = "the state file belongs to another download";
  } else if (state.nSize != nFileSize) {
    _snprintf(text, sizeof(text) - 1, "the file's size on the server is %lld bytes, not %lld", nFileSize, state.nSize);
    why = text;
  } else if (state.strValidator != remote.Validator()) {
    why = "the file changed on the server (another validator)";
  } else if (state.bOverTls != remote.bOverTls) {
    why = "the file now comes over another scheme";
  } else if (FileLength(param.strSavePath) < state.FurthestWrite()) {
    why = "the partial file is shorter than its state says";
  } else {
    return true;
  }
  return false;
}

// Outside the download's lock but for the snapshot: a save writes and renames a small file.
void CHttpDownload::SaveStateNow(bool force) {
  if (strStatePath.empty() || (!force && eStop != Stop::kNone)) return;
  const DWORD now = ::GetTickCount();
  if (!force && now - nLastSaveTick < kStateSaveMs) return;
  std::unique_lock<std::mutex> saving(saveLock, std::try_to_lock);
  if (!saving.owns_lock()) {
    if (!force) return;
    saving.lock();
  }
  nLastSaveTick = now;
  ResumeState state;
  state.strUrl = param.strDownloadUrl;
  state.nSize = nFileSize;
  state.strValidator = remote.Validator();
  state.bOverTls = remote.bOverTls;
  {
    Scoped::LeaveCriticalSection hold(csFile);
    state.vecPieces = pPlan->Pieces();
  }
  if (!state.Save(strStatePath)) {
    LOG_INFO("ERR:the download's state cannot be saved, error %lu", static_cast<unsigned long>(::GetLastError()));
  }
}

// A complete file needs no state; one that changed on the server is no longer the file the state
// describes. Anything else is kept for the next attempt or the next run; a download its caller stopped
// keeps what it saved last (the caller may be deleting the files).
void CHttpDownload::KeepOrForgetState(bool succeeded) {
  if (strStatePath.empty() || eStop == Stop::kCancelled) return;
  if (succeeded || eStop == Stop::kChanged || pPlan->IsOneStream()) {
    ::DeleteFileW(strStatePath.c_str());
    return;
  }
  SaveStateNow(true);
  LOG_INFO("the partial download is kept: %lld of %lld bytes", pPlan->DownloadedSize(), nFileSize);
}

void CHttpDownload::StartDigest() {
  if (!param.bComputeSha256) return;
  pDigest = std::make_unique<CPrefixDigest>(param.strSavePath, [this] { return WrittenPrefix(); });
  if (!pDigest->Start()) pDigest.reset();
}

long long CHttpDownload::WrittenPrefix() {
  Scoped::LeaveCriticalSection hold(csFile);
  return pPlan->WrittenPrefix();
}

void CHttpDownload::FinishDigest() {
  param.strSha256.clear();
  if (!pDigest) return;
  const DWORD begin = ::GetTickCount();
  const long long left = nFileSize - pDigest->Hashed();
  if (pDigest->Finish(nFileSize, param.strSha256)) {
    LOG_INFO(
        "SHA-256 of the download, hashed as it came: %s (%u ms after the last byte, which left %lld bytes "
        "to hash)",
        param.strSha256.c_str(), static_cast<unsigned>(::GetTickCount() - begin), left);
  }
}
