#include "figureloom/manual.h"

#include <string>

#include "common/manual_examples.h"
#include "common/manual_sections.h"
#include "figureloom/errors.h"
#include "figureloom/segmentation_pipeline.h"

namespace figureloom {

namespace {

using loom::definition;
using loom::example;
using loom::paragraph;

std::string message(ErrorCode code) { return toolError(code).message(); }

loom::ManualSection description() {
  return {"DESCRIPTION",
          {
              paragraph("figureloom reads one local video file and writes, for every frame it decodes, an 8-bit "
                        "person mask to standard output: 255 where a person is, 0 where nobody is, values in between "
                        "along the edges. Each mask has the width and height of its frame. Progress goes to standard "
                        "error as JSON lines. At the end figureloom decides whether the footage shows a person "
                        "clearly enough for the masks to be used, and exits with status 0 and a completion line, or "
                        "with status 1 and one error line."),
              paragraph("The masks come from the networks that ship with figureloom (see SHIPPED MODELS); only "
                        "regions that a detected person or face ties to a person are kept, so animals and objects "
                        "stay out of the mask. Frames stored sideways are looked at upright, and each mask keeps the "
                        "size and orientation of its frame as stored."),
              loom::videoInputParagraph("figureloom"),
              paragraph("figureloom is made to be started by a video editor as a child process. On a command line "
                        "it is a filter: pipe its standard output into ffmpeg(1) to blur the background, cut the "
                        "person out, or look at the masks (see EXAMPLES)."),
          }};
}

loom::ManualSection standardOutput() {
  return {"STANDARD OUTPUT",
          {
              paragraph("One binary PGM image (netpbm format P5, see pgm(5)) per decoded frame, in decoding order, "
                        "each written whole, with nothing before, between or after them. Each image is, byte by "
                        "byte:"),
              definition("P5 and a line feed", "0x50 0x35 0x0A: the magic number."),
              definition("<width> <height> and a line feed",
                         "The frame's width and height in decimal ASCII digits without leading zeros, one space "
                         "(0x20) between them."),
              definition("255 and a line feed", "0x32 0x35 0x35 0x0A: the largest value."),
              definition("width × height bytes",
                         "The mask: rows from top to bottom, each row from left to right, one unsigned byte per "
                         "pixel and no padding; 0 is background, 255 is person."),
              paragraph("The header takes 9 bytes plus the digits of width and height, so a 640×360 frame takes "
                        "15 + 230400 bytes. ffmpeg reads the stream with -f image2pipe -c:v pgm -i - (or "
                        "-f pgm_pipe -i -). The images carry no time stamps: mask n belongs to decoded frame n, so "
                        "give ffmpeg the video's frame rate with -framerate."),
              paragraph("A run that fails keeps the masks it wrote before the failure; after \"" +
                        message(kNoPerson) + "\" that is every frame."),
          }};
}

loom::ManualSection limits() {
  return {"LIMITS",
          {
              definition("At most " + std::to_string(kFrameCap) + " frames",
                         "About 60 seconds at 30 frames per second. The mask of frame " +
                             std::to_string(kFrameCap + 1) + " is still written, then the run fails with \"" +
                             message(kTooManyFrames) + "\""),
              definition("A person must be present",
                         "The run succeeds only when " + loom::coverageRule("mask") + "."),
              definition("Any frame size", "Masks have the size of their frames; each header states it."),
          }};
}

loom::ManualSection errors() {
  std::vector<loom::ManualBlock> blocks = {
      paragraph("The error line is one of these messages. figureloom's own are exactly:"),
      definition(message(kBadArguments),
                 "The arguments are not exactly one video path. Give one path, quoted when it holds spaces: "
                 "figureloom \"my talk.mp4\"."),
      definition(message(kNoVideoTrack),
                 "The file holds no video stream (an audio file, for example). Choose a file with video."),
      definition(message(kNoFrameImage),
                 "Decoding could not start and FFmpeg gave no reason, or a frame came without a picture. Convert "
                 "the video as shown under \"The video cannot be decoded\" below, and try again."),
      definition(message(kNoMask),
                 "The segmentation gave no mask for a frame; the wording is the one the video editor shows. Please "
                 "report it with the video."),
      definition(message(kUnreadableMask), "A mask came without pixels. Please report it with the video."),
      definition(message(kTooManyFrames),
                 "The video has more than " + std::to_string(kFrameCap) + " frames. Cut it first: ffmpeg -i in.mp4 "
                 "-frames:v " + std::to_string(kFrameCap) + " out.mp4."),
      definition(message(kDecodingInterrupted),
                 "Decoding stopped before the end of the video and FFmpeg gave no reason. Check the file; convert "
                 "it with ffmpeg."),
      definition(message(kNoPerson),
                 "The footage fails the presence rule under LIMITS. Every mask has been written. Use footage in "
                 "which a person is clearly visible, or keep the original background."),
  };
  for (loom::ManualBlock& block : loom::serviceErrorBlocks()) blocks.push_back(std::move(block));
  return {"ERRORS", std::move(blocks)};
}

loom::ManualSection files() {
  return {"FILES", {loom::shippedModelsFileBlock()}};
}

loom::ManualSection examples() {
  return {"EXAMPLES",
          {
              paragraph("The masks into a file, then one PNG picture per mask:"),
              example("figureloom talk.mp4 > masks.pgm\nffmpeg -f image2pipe -c:v pgm -i masks.pgm mask-%04d.png"),
              paragraph("The pipelines below read the video from VIDEO and write into the current folder. Set "
                        "VIDEO, and find the frame rate once per video:"),
              example("VIDEO=talk.mp4"),
              loom::pipelineExample("frame-rate.sh"),
              loom::pipelineExample("figureloom-blur.sh"),
              loom::pipelineExample("figureloom-transparent.sh"),
              loom::pipelineExample("figureloom-preview.sh"),
              paragraph("Progress lines and the error line appear on the terminal; the exit status of figureloom "
                        "is that of the pipeline under set -o pipefail."),
          }};
}

}  // namespace

loom::Manual manual() {
  loom::Manual m;
  m.name = "figureloom";
  m.summary = "a person mask for every frame of a video, as a stream of PGM images";
  m.version = loom::toolsVersion();
  m.synopsis = {
      {{"figureloom"}, {"video", true}},
      {{"figureloom"}, {"--help"}},
      {{"figureloom"}, {"--version"}},
  };
  m.sections = {
      description(),
      {"OPTIONS", loom::usageOptionBlocks("figureloom")},
      standardOutput(),
      loom::standardErrorSection("mask"),
      loom::exitStatusSection("Every frame was masked, a person is present and the completion line was written."),
      limits(),
      errors(),
      loom::shippedModelsSection("figureloom"),
      files(),
      examples(),
      {"SEE ALSO", {paragraph("alphaloom(1), ffmpeg(1), ffprobe(1), pgm(5)")}},
  };
  return m;
}

}  // namespace figureloom
