// The built manual pages, read with man -l, say what --help says.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/process.h"

namespace {

// Whitespace collapsed and angle brackets dropped: --help writes <video>
// where the page sets video in italics.
std::string normalised(const std::string& text) {
  std::string out;
  bool space = false;
  for (char c : text) {
    if (c == '<' || c == '>') continue;
    if (c == ' ' || c == '\n' || c == '\t') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

std::optional<std::string> manOutput(const std::string& page) {
  std::string command = "LC_ALL=C.UTF-8 MANWIDTH=100 man -l '" + page + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) return std::nullopt;
  std::string text;
  std::array<char, 4096> buffer{};
  size_t got = 0;
  while ((got = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) text.append(buffer.data(), got);
  if (::pclose(pipe.release()) != 0) return std::nullopt;
  return text;
}

std::vector<std::string> paragraphs(const std::string& text) {
  std::vector<std::string> found;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    found.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return found;
}

bool haveMan() { return std::system("command -v man >/dev/null 2>&1") == 0; }

TEST(ManualPage, SaysWhatHelpSays) {
  if (!haveMan()) GTEST_SKIP() << "man is not installed";
  const std::pair<std::string, std::string> tools[] = {{"figureloom", LOOM_FIGURELOOM}, {"alphaloom", LOOM_ALPHALOOM}};
  for (const auto& [tool, executable] : tools) {
    for (std::string page : {LOOM_MANUAL_DIR "/" + tool + ".1", LOOM_MANUAL_DIR "/" + tool + ".1.gz"}) {
      std::optional<std::string> man = manOutput(page);
      ASSERT_TRUE(man) << page;
      const std::string manText = normalised(*man);
      ASSERT_NE(manText.find("NAME " + tool + " - "), std::string::npos) << manText;
      loomtest::ProcessResult help = loomtest::runProcess({executable, "--help"});
      ASSERT_EQ(help.exitCode, 0);
      for (std::string paragraph : paragraphs(help.out)) {
        if (paragraph.rfind("Usage:", 0) == 0) paragraph.replace(0, 6, "SYNOPSIS");
        EXPECT_NE(manText.find(normalised(paragraph)), std::string::npos) << page << " lacks:\n" << paragraph;
      }
    }
  }
}

}  // namespace
