#pragma once

#include <windows.h>

#include <string>

// Placeholder until the environment set-up lands.
class CSetupEnvironment {
 public:
  explicit CSetupEnvironment(HINSTANCE instance) : instance_(instance) {}
  void InitEnvironment();
  void LogStartupLines();

 private:
  HINSTANCE instance_;
};
