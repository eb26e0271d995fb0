#pragma once

// A suite's log: configured once per test process in a scratch folder, read back by tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"
#include "log/Log.h"

namespace SuiteLog {

inline std::unique_ptr<TestSupport::ScratchDir>& Folder() {
  static std::unique_ptr<TestSupport::ScratchDir> folder;
  return folder;
}

inline std::wstring File() { return Folder()->path() + L"pelarin_down.log"; }

class Environment : public testing::Environment {
 public:
  void SetUp() override {
    Folder() = std::make_unique<TestSupport::ScratchDir>(L"dl");
    LogInit(L"pelarin_down.log", Folder()->path().c_str());
  }
  void TearDown() override { Folder().reset(); }
};

// What the log gained since the mark was taken.
class Tail {
 public:
  Tail() : start_(TestSupport::ReadFileBytes(File()).size()) {}
  std::string Text() const {
    std::string all = TestSupport::ReadFileBytes(File());
    return all.size() >= start_ ? all.substr(start_) : all;
  }
  bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }
  int Count(const std::string& text) const {
    std::string all = Text();
    int count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }

 private:
  size_t start_;
};

}  // namespace SuiteLog
