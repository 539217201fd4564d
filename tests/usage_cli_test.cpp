// --help and --version of the built tools, and the argument lists around
// them that must still reach the tools as runs.
#include <gtest/gtest.h>

#include "alphaloom/manual.h"
#include "common/manual_sections.h"
#include "common/manual_text.h"
#include "figureloom/manual.h"
#include "tests/support/fixtures.h"
#include "tests/support/process.h"

namespace {

using loomtest::ProcessResult;
using loomtest::runProcess;
using loomtest::TempDir;

const char* kFigureloomNoPerson =
    "No clear person was detected. Choose Keep original background or use clearer talking-head footage.\n";

TEST(UsageCli, HelpAndVersionOnStandardOutput) {
  struct Case { std::string tool; std::string option; std::string out; };
  const Case cases[] = {
      {LOOM_FIGURELOOM, "--help", loom::renderPlainText(figureloom::manual())},
      {LOOM_ALPHALOOM, "--help", loom::renderPlainText(alphaloom::manual())},
      {LOOM_FIGURELOOM, "--version", "figureloom " + loom::toolsVersion() + "\n"},
      {LOOM_ALPHALOOM, "--version", "alphaloom " + loom::toolsVersion() + "\n"},
  };
  for (const Case& c : cases) {
    ProcessResult result = runProcess({c.tool, c.option});
    EXPECT_EQ(result.exitCode, 0) << c.tool << c.option;
    EXPECT_EQ(result.out, c.out) << c.tool << c.option;
    EXPECT_EQ(result.err, "") << c.tool << c.option;
  }
  EXPECT_GT(loom::renderPlainText(figureloom::manual()).size(), 2000u);
}

TEST(UsageCli, ClosedStandardOutputFailsWithOneLine) {
  loomtest::ProcessOptions noStdout;
  noStdout.closeStdout = true;
  for (const char* tool : {LOOM_FIGURELOOM, LOOM_ALPHALOOM}) {
    ProcessResult result = runProcess({tool, "--help"}, noStdout);
    EXPECT_EQ(result.exitCode, 1) << tool;
    EXPECT_EQ(result.err, "Could not write to standard output: Bad file descriptor.\n") << tool;
  }
}

TEST(UsageCli, OtherArgumentListsAreRunsAsBefore) {
  TempDir dir;
  struct Case { std::vector<std::string> arguments; std::string err; };
  const std::string notCompiled = " is not a compiled model: compiled-model.txt is missing.\n";
  const Case cases[] = {
      {{LOOM_FIGURELOOM, "--help", "x"}, "Expected a local source-video path.\n"},
      {{LOOM_FIGURELOOM, "--version", "--help"}, "Expected a local source-video path.\n"},
      {{LOOM_FIGURELOOM, "--HELP"}, "The file \"--HELP\" could not be opened: No such file or directory.\n"},
      {{LOOM_FIGURELOOM, "-h"}, "The file \"-h\" could not be opened: No such file or directory.\n"},
      {{LOOM_FIGURELOOM, "./--version"}, "The file \"./--version\" could not be opened: No such file or directory.\n"},
      {{LOOM_ALPHALOOM, "--help", "model"}, "\"model\"" + notCompiled},
      {{LOOM_ALPHALOOM, "--compile", "--help"}, "\"--help\"" + notCompiled},
      {{LOOM_ALPHALOOM, "--version", "a", "b"}, "Expected source video and compiled MODNet model paths.\n"},
      {{LOOM_ALPHALOOM, "--help", "--help", "--help", "--help"}, "Expected source video and compiled MODNet model paths.\n"},
  };
  loomtest::ProcessOptions inDir;
  inDir.workingDirectory = dir.path().string();
  for (const Case& c : cases) {
    ProcessResult result = runProcess(c.arguments, inDir);
    EXPECT_EQ(result.exitCode, 1) << c.arguments[1];
    EXPECT_EQ(result.out, "") << c.arguments[1];
    EXPECT_EQ(result.err, c.err) << c.arguments[1];
  }
}

TEST(UsageCli, AVideoNamedHelpIsReadAsDotSlashHelp) {
  TempDir dir;
  loomtest::ffmpeg("-f lavfi -i color=c=black:size=16x16:rate=30 -frames:v 3 -c:v libx264 -f matroska '" +
                   dir.file("--help") + "'");
  loomtest::ProcessOptions inDir;
  inDir.workingDirectory = dir.path().string();
  ProcessResult run = runProcess({LOOM_FIGURELOOM, "./--help"}, inDir);
  std::string frame = "P5\n16 16\n255\n" + std::string(256, '\0');
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out == frame + frame + frame);
  EXPECT_EQ(run.err, kFigureloomNoPerson);
  ProcessResult help = runProcess({LOOM_FIGURELOOM, "--help"}, inDir);
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out, loom::renderPlainText(figureloom::manual()));
}

}  // namespace
