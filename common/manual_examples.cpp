#include "common/manual_examples.h"

#include <string_view>

#include "docs/pipeline_examples.h"

namespace loom {

ManualBlock pipelineExample(const std::string& fileName) {
  for (const PipelineExample& pipeline : kPipelineExamples) {
    if (fileName == pipeline.file) {
      std::string_view text = pipeline.text;
      while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
      return example(std::string(text));
    }
  }
  // Only a renamed file can get here, and the documentation tests name it.
  return example("# docs/pipelines/" + fileName + " is missing");
}

}  // namespace loom
