#pragma once

#include <string>
#include <utility>
#include <vector>

namespace loom {

// The text of a tool's manual, kept apart from its layout so that --help and
// the manual page are rendered from the same words and cannot disagree.
// Text is UTF-8 prose without markup; each renderer wraps and escapes it.
struct ManualBlock {
  enum class Kind { Paragraph, Definition, Example };
  Kind kind = Kind::Paragraph;
  std::string term;  // Definition only: what the text defines
  std::string text;  // Example: lines shown exactly as written
};

inline ManualBlock paragraph(std::string text) { return {ManualBlock::Kind::Paragraph, "", std::move(text)}; }
inline ManualBlock definition(std::string term, std::string text) {
  return {ManualBlock::Kind::Definition, std::move(term), std::move(text)};
}
inline ManualBlock example(std::string lines) { return {ManualBlock::Kind::Example, "", std::move(lines)}; }

struct ManualSection {
  std::string title;
  std::vector<ManualBlock> blocks;
};

// One way to call the tool: words typed as shown, and placeholders.
struct SynopsisWord {
  std::string text;
  bool placeholder = false;
};
using SynopsisLine = std::vector<SynopsisWord>;

struct Manual {
  std::string name;
  std::string summary;
  std::string version;
  std::vector<SynopsisLine> synopsis;
  std::vector<ManualSection> sections;
};

}  // namespace loom
