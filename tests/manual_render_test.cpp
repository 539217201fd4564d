// The two renderings of a manual: plain text for --help and roff for the
// manual page.
#include <gtest/gtest.h>

#include "common/manual_roff.h"
#include "common/manual_text.h"

namespace {

loom::Manual sample() {
  loom::Manual manual;
  manual.name = "tool";
  manual.summary = "does one thing";
  manual.version = "1.2.3";
  manual.synopsis = {{{"tool"}, {"video", true}}, {{"tool"}, {"--help"}}};
  manual.sections = {
      {"DESCRIPTION", {loom::paragraph(std::string(30, 'a') + " " + std::string(30, 'b') + " " + std::string(30, 'c'))}},
      {"OPTIONS", {loom::definition("--help", "Print this.")}},
      {"EXAMPLES", {loom::example("tool in.mp4 |\n  ffmpeg -i - 'x\\y' " + std::string(90, 'z'))}},
  };
  return manual;
}

TEST(ManualText, WrapsProseAndKeepsExamplesAsWritten) {
  const std::string expected =
      "tool - does one thing\n"
      "\n"
      "Usage:\n"
      "  tool <video>\n"
      "  tool --help\n"
      "\n"
      "DESCRIPTION\n"
      "  " + std::string(30, 'a') + " " + std::string(30, 'b') + "\n"
      "  " + std::string(30, 'c') + "\n"
      "\n"
      "OPTIONS\n"
      "  --help\n"
      "      Print this.\n"
      "\n"
      "EXAMPLES\n"
      "    tool in.mp4 |\n"
      "      ffmpeg -i - 'x\\y' " + std::string(90, 'z') + "\n";
  EXPECT_EQ(loom::renderPlainText(sample()), expected);
}

TEST(ManualText, CountsCharactersNotBytes) {
  loom::Manual manual = sample();
  // 38 two-byte characters and spaces fill 77 columns: one line, not two.
  std::string text;
  for (int i = 0; i < 38; ++i) text += i ? " ×" : "×";
  manual.sections = {{"S", {loom::paragraph(text)}}};
  std::string rendered = loom::renderPlainText(manual);
  EXPECT_NE(rendered.find("S\n  " + text + "\n"), std::string::npos) << rendered;
}

TEST(ManualRoff, EscapesWhatRoffWouldReshape) {
  EXPECT_EQ(loom::roffEscape("-f image2pipe"), "\\-f image2pipe");
  EXPECT_EQ(loom::roffEscape("a\\b"), "a\\eb");
  EXPECT_EQ(loom::roffEscape("'x' `y` ^ ~"), "\\(aqx\\(aq \\(gay\\(ga \\(ha \\(ti");
  EXPECT_EQ(loom::roffEscape(".starts with a period"), "\\&.starts with a period");
  EXPECT_EQ(loom::roffEscape("1280×720 — ok"), "1280\\[u00D7]720 \\[u2014] ok");
}

TEST(ManualRoff, PageLayout) {
  const std::string page = loom::renderManualPage(sample());
  EXPECT_EQ(page.rfind(".TH TOOL 1 \"\" \"loom 1.2.3\" \"User Commands\"\n.nh\n.ad l\n", 0), 0u) << page;
  EXPECT_NE(page.find(".SH NAME\ntool \\- does one thing\n"), std::string::npos) << page;
  EXPECT_NE(page.find(".SH SYNOPSIS\n.nf\n\\fBtool\\fR \\fIvideo\\fR\n\\fBtool\\fR \\fB\\-\\-help\\fR\n.fi\n"),
            std::string::npos) << page;
  EXPECT_NE(page.find(".TP\n\\fB\\-\\-help\\fR\nPrint this.\n"), std::string::npos) << page;
  EXPECT_NE(page.find(".nf\ntool in.mp4 |\n  ffmpeg \\-i \\- \\(aqx\\ey\\(aq "), std::string::npos) << page;
  for (char c : page) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "the page is pure ASCII";
}

}  // namespace
