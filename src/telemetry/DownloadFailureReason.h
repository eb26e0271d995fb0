#pragma once

// The reason class a failed download is reported with, so that a vendor sees why installs fail:
// "no_size" (no answer gave the installer's size), "network" (a range failed for good, the proxy
// kept asking for credentials), "payload_mismatch" (the file arrived whole but its digest or its
// signature is not the pinned one), "disk" (the file could not be created or written, or its folder
// is not there).

// `downloadResult` is the downloader's result (download/DownloadTypes.h); a successful download whose file was then
// refused counts as a mismatch.
const char* DownloadFailureReason(int downloadResult);
