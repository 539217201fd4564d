#include "common/manual_roff.h"

#include <cstdio>
#include <sstream>

namespace loom {

namespace {

// Decodes the UTF-8 sequence at text[i] (advancing i past it); a stray byte
// stands for itself so that no input is lost.
unsigned codePointAt(const std::string& text, size_t& i) {
  unsigned char lead = static_cast<unsigned char>(text[i++]);
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  unsigned value = extra == 0 ? lead : lead & (0x3F >> extra);
  for (; extra > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; --extra) {
    value = (value << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
  }
  return value;
}

std::string unicodeEscape(unsigned codePoint) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\[u%04X]", codePoint);
  return buffer;
}

std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) line += (c == '\n') ? ' ' : c;
  return line;
}

std::string title(const std::string& text) { return "\"" + text + "\""; }

void appendExample(std::ostringstream& out, const std::string& lines) {
  out << ".PP\n.RS 4\n.nf\n";
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) out << roffEscape(line) << '\n';
  out << ".fi\n.RE\n";
}

void appendBlock(std::ostringstream& out, const ManualBlock& block) {
  switch (block.kind) {
    case ManualBlock::Kind::Paragraph:
      out << ".PP\n" << roffEscape(oneLine(block.text)) << '\n';
      break;
    case ManualBlock::Kind::Definition:
      out << ".TP\n\\fB" << roffEscape(oneLine(block.term)) << "\\fR\n" << roffEscape(oneLine(block.text)) << '\n';
      break;
    case ManualBlock::Kind::Example:
      appendExample(out, block.text);
      break;
  }
}

std::string upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

std::string roffEscape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    char c = text[i];
    if (static_cast<unsigned char>(c) >= 0x80) {
      out += unicodeEscape(codePointAt(text, i));
      continue;
    }
    ++i;
    switch (c) {
      case '\\': out += "\\e"; break;
      case '-': out += "\\-"; break;
      case '\'': out += "\\(aq"; break;
      case '`': out += "\\(ga"; break;
      case '^': out += "\\(ha"; break;
      case '~': out += "\\(ti"; break;
      default: out += c;
    }
  }
  // A line that starts with a period would be read as a request.
  if (!out.empty() && out.front() == '.') out.insert(0, "\\&");
  return out;
}

std::string renderManualPage(const Manual& manual) {
  std::ostringstream out;
  out << ".TH " << upper(manual.name) << " 1 \"\" " << title("loom " + manual.version) << " \"User Commands\"\n";
  // Hyphenation and justification would break option names and commands
  // across lines and spread them out.
  out << ".nh\n.ad l\n";
  out << ".SH NAME\n" << roffEscape(manual.name) << " \\- " << roffEscape(manual.summary) << '\n';
  out << ".SH SYNOPSIS\n.nf\n";
  for (const SynopsisLine& line : manual.synopsis) {
    std::string text;
    for (const SynopsisWord& word : line) {
      if (!text.empty()) text += ' ';
      text += (word.placeholder ? "\\fI" : "\\fB") + roffEscape(word.text) + "\\fR";
    }
    out << text << '\n';
  }
  out << ".fi\n";
  for (const ManualSection& section : manual.sections) {
    out << ".SH " << title(section.title) << '\n';
    for (const ManualBlock& block : section.blocks) appendBlock(out, block);
  }
  return out.str();
}

}  // namespace loom
