// --help and --version are recognised only as the first and only argument.
#include <gtest/gtest.h>

#include "common/usage_request.h"

namespace {

using loom::UsageRequest;
using loom::usageRequest;

TEST(UsageRequest, OnlyAloneAfterTheProgramName) {
  EXPECT_EQ(usageRequest({"tool", "--help"}), UsageRequest::Help);
  EXPECT_EQ(usageRequest({"tool", "--version"}), UsageRequest::Version);
  const std::vector<std::vector<std::string>> runs = {
      {},
      {"tool"},
      {"tool", "./--help"},
      {"tool", "--HELP"},
      {"tool", "-h"},
      {"tool", "--help", "model"},
      {"tool", "video", "--help"},
      {"tool", "--version", "x"},
      {"tool", "--compile", "--help", "out"},
  };
  for (const auto& arguments : runs) EXPECT_EQ(usageRequest(arguments), std::nullopt) << arguments.size();
}

}  // namespace
