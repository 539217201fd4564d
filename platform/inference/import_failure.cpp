#include "platform/inference/import_failure.h"

#include <algorithm>
#include <cctype>
#include <regex>

namespace platform {

namespace {

bool contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The importer names the node it failed on: "Node [Conv@ai.onnx]:(name) parse error: ...".
struct FailedNode {
  std::string type;
  std::string name;
};

FailedNode failedNode(const std::string& text) {
  static const std::regex node(R"(Node \[([^\]@]*)@[^\]]*\]:\(([^)]*)\))");
  std::smatch match;
  if (!std::regex_search(text, match, node)) return {};
  std::string name = match[2].str();
  // The importer prefixes the node's first output name with its own tag.
  if (auto bang = name.find('!'); bang != std::string::npos) name = name.substr(bang + 1);
  return {match[1].str(), name};
}

std::string atNode(const FailedNode& node) {
  if (node.type.empty()) return "";
  return " at its " + node.type + " node \"" + node.name + "\"";
}

}  // namespace

std::string openCvReason(const std::string& text) {
  // The innermost message carries the reason: what follows the last "error: (code:kind) ".
  std::string reason = text;
  if (auto at = reason.rfind("error: ("); at != std::string::npos) {
    reason = reason.substr(at + 7);
    if (auto close = reason.find(") "); close != std::string::npos) reason = reason.substr(close + 2);
  }
  if (auto at = reason.find(" in function '"); at != std::string::npos) reason = reason.substr(0, at);
  for (char& c : reason) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!reason.empty() && (reason.back() == ' ' || reason.back() == '>' || reason.back() == '.')) reason.pop_back();
  return reason;
}

ImportFailure describeImportFailure(const cv::Exception& exception) {
  // msg holds the whole report (nested reasons, kind and function); err
  // may hold only a failed assertion's condition.
  const std::string text = (exception.msg.empty() ? exception.err : exception.msg) + " in function '" + exception.func + "'";
  const FailedNode node = failedNode(text);
  const std::string reason = openCvReason(text);
  const std::string lower = lowercase(reason);
  const bool assertion = contains(text, "Assertion failed");

  if (contains(text, "Can't create layer") || contains(lower, "not supported") || contains(lower, "unsupported")) {
    std::string what = node.type.empty() ? reason : node.type + " (node \"" + node.name + "\")";
    return {ImportFailure::Kind::UnsupportedOperation, "uses operations this runtime cannot run: " + what};
  }
  if (contains(text, "getMemoryShapes") || contains(lower, "channel") || contains(lower, "shape") ||
      contains(lower, "total(") || contains(lower, "dims") || contains(lower, "size")) {
    std::string clause = "cannot be built: the tensor shapes" + atNode(node) + " do not fit together";
    // An assertion's condition means nothing to a user; a sentence does.
    if (!assertion && !reason.empty()) clause += " (" + reason + ")";
    return {ImportFailure::Kind::ShapeMismatch, clause};
  }
  if (contains(text, "dumpValueInfoProto")) {
    return {ImportFailure::Kind::Malformed, "cannot be built: an input or output of its graph has no tensor type or shape"};
  }
  std::string clause = "cannot be built: its graph is malformed" + atNode(node);
  if (!assertion && !reason.empty()) clause += " (" + reason + ")";
  return {ImportFailure::Kind::Malformed, clause};
}

}  // namespace platform
