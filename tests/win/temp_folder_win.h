#pragma once
// A test fixture with a fresh folder of its own under the temporary
// directory, removed with everything in it after each test.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, tmp), 0u);
    dir = std::wstring(tmp) + L"pinvoro-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::wstring dir;  // ends with a backslash
};
