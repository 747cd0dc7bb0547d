#pragma once
// The page server the capture tests share: one suite, started once however
// many files its tests are spread over.

#include <gtest/gtest.h>

#include <string>

#include "capture/testing/capture_testing.h"
#include "host/browser/testing/http_server.h"
#include "host/graphics/types.h"

namespace snapkit::testing {

std::string Block(int W, int H, const char* Colour);

// A PNG file of one colour, as a page's image.
std::string SolidPng(int W, int H, host::TColor Colour);

std::string Body(const std::string& Inner, const char* Background = "#ffffff");

class CaptureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  int Requests(const std::string& Path);

  static host::testing::TTestServer* Server;
};

}  // namespace snapkit::testing
