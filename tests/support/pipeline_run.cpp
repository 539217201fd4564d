#include "tests/support/pipeline_run.h"

namespace loomtest {

PipelineOutcome runPipeline(const FakeVideo& video, const PipelineJob& job, PipelineStreams streams) {
  FakeMediaService media(video);
  MemorySink out, err;
  out.keepData = streams.keepOutput;
  out.failAfterWrites = streams.failOutputAfter;
  PipelineOutcome outcome;
  try {
    outcome.status = job(media, out, err);
  } catch (const platform::Error& error) {
    outcome.status = 1;
    outcome.error = error;
  }
  outcome.out = std::move(out.data);
  outcome.outBytes = out.total;
  outcome.err = std::move(err.data);
  outcome.samplesDelivered = media.samplesDelivered;
  outcome.openedPaths = media.openedPaths;
  return outcome;
}

}  // namespace loomtest
