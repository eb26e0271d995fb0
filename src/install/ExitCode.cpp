#include "install/ExitCode.h"

const wchar_t* ExitCodeTable() {
  return L"  0     installed\n"
         L"  32    the product is running and would have to be closed\n"
         L"  87    a switch or its value is not valid\n"
         L"  112   not enough free space on the install drive\n"
         L"  1602  cancelled by the user\n"
         L"  1603  any other failure\n"
         L"  1618  another copy of this installer is running\n"
         L"  1619  the download failed\n"
         L"  1620  the downloaded installer was refused (not the file the installer pins)\n"
         L"  other the full installer's own exit code\n";
}
