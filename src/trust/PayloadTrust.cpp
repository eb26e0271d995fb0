#include "trust/PayloadTrust.h"

#include "trust/CryptApi.h"

#include <string>
#include <vector>

#include "log/Log.h"
#include "trust/FileDigest.h"

namespace {

// One WinVerifyTrust verification of a file, kept open while the signer is read from it: the state
// the verify step leaves behind is released by a second call with WTD_STATEACTION_CLOSE, whatever the
// verdict was.
class TrustState {
 public:
  TrustState(const std::wstring& path, HANDLE file) : path_(path) {
    file_.cbStruct = sizeof(file_);
    file_.pcwszFilePath = path_.c_str();
    file_.hFile = file;  // null: the trust provider opens the path itself
    data_.cbStruct = sizeof(data_);
    data_.dwUIChoice = WTD_UI_NONE;
    // No revocation check. The installer must install on a machine that cannot reach the CA's
    // revocation servers (offline, or behind a proxy that only lets the download host through), and
    // WinVerifyTrust cannot tell "revoked" from "could not ask" without a network wait of its own on
    // every URL of the chain. A cache-only check would refuse the file whenever the cache has no
    // answer, which is the usual case on a fresh machine. The pin names the publisher (and may name
    // its certificate), so a stolen key is answered by a new pin, not by a revocation list.
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
  }
  ~TrustState() {
    if (!data_.hWVTStateData) return;
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    Call();
  }
  TrustState(const TrustState&) = delete;
  TrustState& operator=(const TrustState&) = delete;

  // ERROR_SUCCESS when the signature is valid and its chain trusted, else the refusal's code.
  LONG Verify() {
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    return Call();
  }

  // The first signer's own certificate, owned by this state; null when there is none.
  PCCERT_CONTEXT SignerCertificate() const {
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data_.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    CRYPT_PROVIDER_CERT* cert = signer ? ::WTHelperGetProvCertFromChain(signer, 0) : nullptr;
    return cert ? cert->pCert : nullptr;
  }

 private:
  LONG Call() {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // INVALID_HANDLE_VALUE: no interactive user, so no provider may show anything.
    return ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data_);
  }

  std::wstring path_;
  WINTRUST_FILE_INFO file_ = {};
  WINTRUST_DATA data_ = {};
};

std::wstring SimpleDisplayName(PCCERT_CONTEXT cert) {
  DWORD length = ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::vector<wchar_t> name(length);
  ::CertGetNameStringW(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
  return std::wstring(name.data());
}

std::string CertificateSha256(PCCERT_CONTEXT cert) {
  std::string hex;
  if (!FileDigest::Sha256Bytes(cert->pbCertEncoded, cert->cbCertEncoded, hex)) return std::string();
  return hex;
}

PublisherVerdict CompareWithPin(PCCERT_CONTEXT cert, const PublisherPin& pin) {
  std::wstring signer = SimpleDisplayName(cert);
  if (!pin.name.empty() && signer != pin.name) {
    LOG_INFOW(L"ERR:VerifyPublisher signed by \"%ls\", expected \"%ls\"", signer.c_str(), pin.name.c_str());
    return kPublisher_NameMismatch;
  }
  std::string digest = CertificateSha256(cert);
  if (!pin.certSha256.empty() && !FileDigest::Sha256Equal(pin.certSha256, digest)) {
    LOG_INFOW(L"ERR:VerifyPublisher signer \"%ls\" has certificate %hs, expected %ls", signer.c_str(),
              digest.empty() ? "(unreadable)" : digest.c_str(), pin.certSha256.c_str());
    return kPublisher_CertificateMismatch;
  }
  LOG_INFOW(L"VerifyPublisher accepted, signed by \"%ls\", certificate %hs", signer.c_str(), digest.c_str());
  return kPublisher_Accepted;
}

}  // namespace

PublisherVerdict VerifyPublisher(const std::wstring& path, const PublisherPin& pin, HANDLE file) {
  if (!pin.IsSet()) return kPublisher_Accepted;
  LARGE_INTEGER start = {};
  if (file) ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);  // a digest before left it at the end
  TrustState state(path, file);
  LONG code = state.Verify();
  if (code != ERROR_SUCCESS) {
    LOG_INFOW(L"ERR:VerifyPublisher WinVerifyTrust refused %ls, code 0x%08lX", path.c_str(),
              static_cast<unsigned long>(code));
    return kPublisher_BadSignature;
  }
  PCCERT_CONTEXT cert = state.SignerCertificate();
  if (!cert) {
    LOG_INFOW(L"ERR:VerifyPublisher no signer certificate in %ls", path.c_str());
    return kPublisher_NoSigner;
  }
  return CompareWithPin(cert, pin);
}
