#include "common/manual_text.h"

#include <sstream>

namespace loom {

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kTextIndent = 2;
constexpr size_t kDefinitionIndent = 6;
constexpr size_t kExampleIndent = 4;

// Columns a terminal gives the text: one per character, not per byte.
size_t columns(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

void appendWrapped(std::ostringstream& out, const std::string& text, size_t indent) {
  std::istringstream words(text);
  std::string word;
  size_t used = 0;
  while (words >> word) {
    if (used > 0 && used + 1 + columns(word) > kWidth) {
      out << '\n';
      used = 0;
    }
    if (used == 0) {
      out << std::string(indent, ' ');
      used = indent;
    } else {
      out << ' ';
      ++used;
    }
    out << word;
    used += columns(word);
  }
  if (used > 0) out << '\n';
}

void appendExample(std::ostringstream& out, const std::string& lines) {
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) out << std::string(kExampleIndent, ' ') << line << '\n';
}

void appendBlock(std::ostringstream& out, const ManualBlock& block) {
  switch (block.kind) {
    case ManualBlock::Kind::Paragraph:
      appendWrapped(out, block.text, kTextIndent);
      break;
    case ManualBlock::Kind::Definition:
      appendWrapped(out, block.term, kTextIndent);
      appendWrapped(out, block.text, kDefinitionIndent);
      break;
    case ManualBlock::Kind::Example:
      appendExample(out, block.text);
      break;
  }
}

std::string synopsisLine(const SynopsisLine& line) {
  std::string text;
  for (const SynopsisWord& word : line) {
    if (!text.empty()) text += ' ';
    text += word.placeholder ? "<" + word.text + ">" : word.text;
  }
  return text;
}

}  // namespace

std::string renderPlainText(const Manual& manual) {
  std::ostringstream out;
  out << manual.name << " - " << manual.summary << "\n\nUsage:\n";
  for (const SynopsisLine& line : manual.synopsis) out << std::string(kTextIndent, ' ') << synopsisLine(line) << '\n';
  for (const ManualSection& section : manual.sections) {
    out << '\n' << section.title << '\n';
    for (size_t i = 0; i < section.blocks.size(); ++i) {
      if (i > 0) out << '\n';
      appendBlock(out, section.blocks[i]);
    }
  }
  return out.str();
}

}  // namespace loom
