#include "alphaloom/manual.h"

#include <cstdio>
#include <string>

#include "alphaloom/failure.h"
#include "alphaloom/human_presence_probe.h"
#include "alphaloom/matting_pipeline.h"
#include "common/manual_examples.h"
#include "common/manual_sections.h"

namespace alphaloom {

namespace {

using loom::definition;
using loom::example;
using loom::paragraph;
using std::to_string;

std::string frameSize() { return to_string(kFrameWidth) + "×" + to_string(kFrameHeight); }

std::string quoted(const char* message) { return std::string("\"") + message + "\""; }

std::string confidence() {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%g", kPersonConfidence);
  return buffer;
}

std::string personRule() {
  return "an upper body was found with confidence of at least " + confidence() + " in one of the frames probed, " +
         "and " + loom::coverageRule("matte");
}

loom::ManualSection description() {
  return {"DESCRIPTION",
          {
              paragraph("alphaloom reads one local " + frameSize() + " video file and a compiled MODNet model, and "
                        "writes, for every frame it decodes, the model's 8-bit alpha matte to standard output as " +
                        to_string(kFrameBytes) + " raw bytes: 255 where the person is, 0 where the background is. "
                        "Progress goes to standard error as JSON lines. At the end alphaloom decides whether the "
                        "footage shows a person clearly enough, and exits with status 0 and a completion line, or "
                        "with status 1 and one error line."),
              paragraph("The compiled model is loaded before the video is opened, so a missing or broken model is "
                        "reported first. Frames 0, " + to_string(kProbeInterval) + ", " +
                        to_string(2 * kProbeInterval) + " and so on are searched for an upper body until one is "
                        "found: the upper half of a person that the shipped person detector (YOLOX-Nano) finds, or a "
                        "face inside such a person. Frames stored sideways are searched upright."),
              loom::videoInputParagraph("alphaloom"),
              paragraph("alphaloom --compile turns a MODNet ONNX export into a compiled model (see COMPILING A "
                        "MODEL). No MODNet weights ship with alphaloom."),
              paragraph("alphaloom is made to be started by a video editor as a child process. On a command line "
                        "it is a filter: pipe its standard output into ffmpeg(1) to blur the background, cut the "
                        "person out, or look at the mattes (see EXAMPLES)."),
          }};
}

loom::ManualSection compiling() {
  return {"COMPILING A MODEL",
          {
              paragraph("alphaloom --compile model.onnx destination reads the ONNX file, takes its image input "
                        "([1, 3, H, W]: the input named src if there is one, else the first) and its alpha output "
                        "(pha, else the first output), rewrites what OpenCV 4.6 cannot import, proves the result on "
                        "a " + frameSize() + " frame, and moves the compiled model to destination. It writes nothing to "
                        "standard output or standard error when it succeeds, and exits with status 0; on failure it "
                        "writes one error line and exits with status 1."),
              paragraph("It never replaces anything: an existing file, directory or symbolic link at destination "
                        "(even one that points nowhere) makes the command fail with \"Could not move \"FROM\" to "
                        "\"destination\" because an item with the same name already exists.\" and stays untouched. "
                        "The compiled model is made in a new folder loom-compiled-XXXXXX under $TMPDIR (else /tmp) "
                        "and renamed to destination, or copied into new files when destination is on another file "
                        "system; when the move fails, it stays in that folder."),
              paragraph("A compiled model is a directory holding model.onnx (the rewritten network) and "
                        "compiled-model.txt (its input, output and preprocessing)."),
              paragraph("Preprocessing follows MODNet: RGB, value = pixel / 127.5 − 1, alpha in [0, 1]. A model "
                        "with fixed spatial dimensions runs at them; free dimensions follow MODNet's reference-size "
                        "rule (short side to 512, each side down to a multiple of 32), so " + frameSize() +
                        " frames run at 896×512. Metadata properties of the ONNX model override the defaults: "
                        "matting.channel_order (RGB or BGR), matting.scale, matting.bias, matting.input_width, "
                        "matting.input_height."),
          }};
}

loom::ManualSection standardOutput() {
  return {"STANDARD OUTPUT",
          {
              paragraph("One alpha matte per decoded frame, in decoding order, each written whole, with no header, "
                        "separator or trailer:"),
              definition(to_string(kFrameBytes) + " bytes per frame",
                         to_string(kFrameWidth) + " × " + to_string(kFrameHeight) + " unsigned bytes: rows from top "
                         "to bottom, each row from left to right, no padding; 0 is background, 255 is person. Byte k "
                         "of the stream is column k mod " + to_string(kFrameWidth) + " of row (k / " +
                         to_string(kFrameWidth) + ") mod " + to_string(kFrameHeight) + " of frame k / " +
                         to_string(kFrameBytes) + ", counting from 0 and rounding down."),
              paragraph("ffmpeg reads the stream with -f rawvideo -pix_fmt gray -s " + to_string(kFrameWidth) + "x" +
                        to_string(kFrameHeight) + " -i -. The frames carry no time stamps: matte n belongs to "
                        "decoded frame n, so give ffmpeg the video's frame rate with -framerate."),
              paragraph("A run that fails keeps the mattes it wrote before the failure; after " +
                        quoted(messages::kNoPerson) + " that is every frame."),
          }};
}

loom::ManualSection limits() {
  return {"LIMITS",
          {
              definition(frameSize() + " frames only",
                         "The first frame of another size fails the run with " + quoted(messages::kWrongFrameSize) +
                             " before its matte is written. Scale and pad the video first (see EXAMPLES)."),
              definition("At most " + to_string(kFrameCap) + " frames",
                         "About ten minutes at 30 frames per second. The matte of frame " + to_string(kFrameCap + 1) +
                             " is still written, then the run fails with " + quoted(messages::kTooLong)),
              definition("A person must be present", "The run succeeds only when " + personRule() + "."),
          }};
}

loom::ManualSection errors() {
  std::vector<loom::ManualBlock> blocks = {
      paragraph("The error line is one of these messages. alphaloom's own are exactly:"),
      definition(messages::kBadArguments,
                 "The arguments are neither a video and a compiled model nor --compile with a model and a "
                 "destination. Give both paths, quoted when they hold spaces."),
      definition(messages::kNoVideoTrack,
                 "The file holds no video stream (an audio file, for example). Choose a file with video."),
      definition(messages::kCouldNotDecode,
                 "Decoding could not start and FFmpeg gave no reason. Convert the video as shown under \"The "
                 "video cannot be decoded\" below, and try again."),
      definition(messages::kWrongFrameSize,
                 "A frame is not " + frameSize() + ". Scale and pad the video to " + frameSize() + " first (see EXAMPLES)."),
      definition(messages::kInvalidAlpha,
                 "The model's alpha is not an 8-bit " + frameSize() + " image. Compile the model again, or use "
                 "another MODNet export."),
      definition(messages::kTooLong,
                 "The video has more than " + to_string(kFrameCap) + " frames. Cut it first: ffmpeg -i in.mp4 "
                 "-frames:v " + to_string(kFrameCap) + " out.mp4."),
      definition(messages::kNoPerson,
                 "The footage fails the presence rule under LIMITS. Every matte has been written. Use footage in "
                 "which a person faces the camera, or keep the original."),
      definition(messages::kInterrupted,
                 "Decoding stopped before the end of the video and FFmpeg gave no reason. Check the file; convert "
                 "it with ffmpeg."),
  };
  for (loom::ManualBlock& block : loom::serviceErrorBlocks()) blocks.push_back(std::move(block));
  blocks.push_back(definition(
      "The compiled model cannot be used",
      "For example \"\"talk.compiled\" is not a compiled model: compiled-model.txt is missing.\", \"The compiled "
      "model at \"PATH\" could not be loaded: REASON.\", \"The model's prediction failed: REASON.\". The path is not "
      "a directory made by alphaloom --compile, or it was made for another version. Compile the model again."));
  blocks.push_back(definition(
      "--compile: the ONNX file cannot be compiled",
      "For example \"The model \"PATH\" could not be read: No such file or directory.\", \"The file \"PATH\" is "
      "not an ONNX model.\", \"The model \"PATH\" has no alpha output: REASON.\", \"The metadata "
      "matting.channel_order of the model \"PATH\" must be RGB or BGR.\", \"The model \"PATH\" uses operations this "
      "runtime cannot run: REASON.\", \"The model \"PATH\" cannot run on a 1280×720 frame at 896x512: REASON.\". "
      "Export the model again from MODNet (an image input src, an alpha output pha), or fix its metadata."));
  blocks.push_back(definition(
      "--compile: the compiled model cannot be written or moved",
      "\"Could not move \"FROM\" to \"TO\" because an item with the same name already exists.\": choose a "
      "destination that does not exist, or remove the old one yourself. Others, for example \"Could not create a "
      "directory for the compiled model: REASON.\" or \"Could not move \"FROM\" to \"TO\": Permission denied.\", "
      "name the system's reason: check the permissions and free space of $TMPDIR and of the destination."));
  return {"ERRORS", std::move(blocks)};
}

loom::ManualSection files() {
  return {"FILES",
          {
              definition("destination/model.onnx, destination/compiled-model.txt",
                         "A compiled model made by alphaloom --compile."),
              loom::shippedModelsFileBlock(),
          }};
}

loom::ManualSection examples() {
  return {"EXAMPLES",
          {
              paragraph("Compile a MODNet export once, then write the mattes of a video into a file:"),
              example("alphaloom --compile modnet.onnx modnet.compiled\nalphaloom talk-720p.mp4 modnet.compiled > "
                      "mattes.raw"),
              paragraph("The pipelines below read the video from VIDEO and the compiled model from MODEL, and write "
                        "into the current folder. A video of another size is scaled and padded first:"),
              example("VIDEO=talk.mp4"),
              loom::pipelineExample("alphaloom-normalise.sh"),
              paragraph("Then, with VIDEO set to the " + frameSize() + " video, find its frame rate once:"),
              example("VIDEO=video-720p.mp4\nMODEL=modnet.compiled"),
              loom::pipelineExample("frame-rate.sh"),
              loom::pipelineExample("alphaloom-blur.sh"),
              loom::pipelineExample("alphaloom-transparent.sh"),
              loom::pipelineExample("alphaloom-preview.sh"),
              paragraph("Progress lines and the error line appear on the terminal; the exit status of alphaloom "
                        "is that of the pipeline under set -o pipefail."),
          }};
}

}  // namespace

loom::Manual manual() {
  loom::Manual m;
  m.name = "alphaloom";
  m.summary = "a MODNet alpha matte for every frame of a " + frameSize() + " video, as raw 8-bit frames";
  m.version = loom::toolsVersion();
  m.synopsis = {
      {{"alphaloom"}, {"video", true}, {"compiled-model", true}},
      {{"alphaloom"}, {"--compile"}, {"model.onnx", true}, {"destination", true}},
      {{"alphaloom"}, {"--help"}},
      {{"alphaloom"}, {"--version"}},
  };
  m.sections = {
      description(),
      {"OPTIONS", loom::usageOptionBlocks("alphaloom")},
      compiling(),
      standardOutput(),
      loom::standardErrorSection("matte"),
      loom::exitStatusSection("Every frame was matted, a person is present and the completion line was written; or "
                              "--compile made the compiled model, writing nothing."),
      limits(),
      errors(),
      loom::shippedModelsSection("alphaloom"),
      {"ENVIRONMENT", {definition("TMPDIR", "Where alphaloom --compile makes the compiled model before moving it; "
                                            "/tmp when unset.")}},
      files(),
      examples(),
      {"SEE ALSO", {paragraph("figureloom(1), ffmpeg(1), ffprobe(1)")}},
  };
  return m;
}

}  // namespace alphaloom
