#include "telemetry/DownloadFailureReason.h"

#include "download/DownloadTypes.h"

const char* DownloadFailureReason(int downloadResult) {
  switch (downloadResult) {
    case kDownloadResult_Success:
      return "payload_mismatch";
    case kDownloadResult_NoFileSize:
      return "no_size";
    case kDownloadResult_BadParam:
    case kDownloadResult_LocalWrite:
      return "disk";
    default:
      return "network";
  }
}
