#include "common/tool_entry.h"

#include <new>

#include "common/status_lines.h"

namespace loom {

int runAndReport(ByteSink& err, const std::function<void()>& job) {
  try {
    job();
    return 0;
  } catch (const platform::Error& error) {
    reportFailure(err, error);
  } catch (const std::bad_alloc&) {
    reportFailure(err, platform::Error("loom.internal", 1, "Out of memory."));
  } catch (const std::exception& other) {
    reportFailure(err, platform::Error("loom.internal", 2,
                                       platform::oneLineSentence(std::string("Internal error: ") + other.what())));
  } catch (...) {
    reportFailure(err, platform::Error("loom.internal", 3, "Internal error."));
  }
  return 1;
}

}  // namespace loom
