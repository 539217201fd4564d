// The manuals list each tool's own error messages word for word, and show
// every pipeline they name.
#include <gtest/gtest.h>

#include "alphaloom/failure.h"
#include "alphaloom/manual.h"
#include "figureloom/errors.h"
#include "figureloom/manual.h"

namespace {

std::vector<std::string> terms(const loom::Manual& manual, const std::string& section) {
  std::vector<std::string> found;
  for (const loom::ManualSection& s : manual.sections) {
    if (s.title != section) continue;
    for (const loom::ManualBlock& block : s.blocks) {
      if (block.kind == loom::ManualBlock::Kind::Definition) found.push_back(block.term);
    }
  }
  return found;
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(ManualContent, FigureloomListsEveryOwnMessage) {
  std::vector<std::string> errors = terms(figureloom::manual(), "ERRORS");
  for (long code = figureloom::kBadArguments; code <= figureloom::kNoPerson; ++code) {
    std::string message = figureloom::toolError(static_cast<figureloom::ErrorCode>(code)).message();
    EXPECT_TRUE(contains(errors, message)) << message;
  }
}

TEST(ManualContent, AlphaloomListsEveryOwnMessage) {
  namespace m = alphaloom::messages;
  std::vector<std::string> errors = terms(alphaloom::manual(), "ERRORS");
  for (const char* message : {m::kBadArguments, m::kNoVideoTrack, m::kCouldNotDecode, m::kWrongFrameSize,
                              m::kInvalidAlpha, m::kTooLong, m::kNoPerson, m::kInterrupted}) {
    EXPECT_TRUE(contains(errors, message)) << message;
  }
}

TEST(ManualContent, EveryNamedPipelineFileExists) {
  for (const loom::Manual& manual : {figureloom::manual(), alphaloom::manual()}) {
    for (const loom::ManualSection& section : manual.sections) {
      for (const loom::ManualBlock& block : section.blocks) {
        if (block.kind != loom::ManualBlock::Kind::Example) continue;
        EXPECT_EQ(block.text.find("docs/pipelines/"), std::string::npos) << block.text;
      }
    }
  }
}

}  // namespace
