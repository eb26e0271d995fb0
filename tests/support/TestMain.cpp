#include <gtest/gtest.h>

#include <windows.h>

int main(int argc, char** argv) {
  // The program under test runs with only the system folder on its DLL search path; so do its tests.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
