#pragma once
// The message of the exception of type E that f raises; a test failure when
// it raises nothing.

#include <gtest/gtest.h>

#include <string>

namespace snapkit::testing {

template <typename E, typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  ADD_FAILURE() << "nothing raised";
  return "<nothing raised>";
}

}  // namespace snapkit::testing
