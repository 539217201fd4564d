#include "common/usage_request.h"

#include "common/manual_text.h"
#include "common/tool_entry.h"

namespace loom {

std::optional<UsageRequest> usageRequest(const std::vector<std::string>& arguments) {
  if (arguments.size() != 2) return std::nullopt;
  if (arguments[1] == "--help") return UsageRequest::Help;
  if (arguments[1] == "--version") return UsageRequest::Version;
  return std::nullopt;
}

int answerUsageRequest(UsageRequest request, const Manual& manual, const StandardStreams& streams) {
  return runAndReport(streams.err, [&] {
    if (request == UsageRequest::Help) {
      streams.out.write(renderPlainText(manual));
    } else {
      streams.out.write(manual.name + " " + manual.version + "\n");
    }
  });
}

}  // namespace loom
