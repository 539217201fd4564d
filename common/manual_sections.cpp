#include "common/manual_sections.h"

#include <cstdio>

#include "common/coverage_meter.h"
#include "common/status_lines.h"

namespace loom {

namespace {

std::string percent(double fraction) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g%%", fraction * 100.0);
  return buffer;
}

std::string ordinal(long n) {
  long lastTwo = n % 100;
  const char* suffix = (lastTwo >= 11 && lastTwo <= 13) ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
  return std::to_string(n) + suffix;
}

}  // namespace

std::string toolsVersion() { return LOOM_VERSION; }

std::vector<ManualBlock> usageOptionBlocks(const std::string& tool) {
  return {
      definition("--help", "Print this text on standard output and exit with status 0. Only when it is the first "
                           "and only argument."),
      definition("--version", "Print \"" + tool + " " + toolsVersion() +
                                  "\" on standard output and exit with status 0. Only when it is the first and only "
                                  "argument."),
      paragraph("Next to other arguments, --help and --version are no options but paths like any other "
                "argument. A video file named --help or --version is read when it is written as ./--help or "
                "./--version."),
  };
}

ManualBlock videoInputParagraph(const std::string& tool) {
  return paragraph("The video must be a regular file that FFmpeg can read: pipes, devices and directories are "
                   "refused, and the path is never taken as a URL or as standard input. " + tool +
                   " reads the first video track only; audio and other tracks are ignored. Every decoded frame is "
                   "processed once, in decoding order.");
}

ManualSection standardErrorSection(const std::string& unit) {
  const std::string every = ordinal(kProgressInterval);
  const std::string first = std::to_string(kProgressInterval);
  return {"STANDARD ERROR",
          {
              paragraph("Standard error carries lines of UTF-8 text, each ending in one line feed (0x0A), and "
                        "nothing else: the log output of the libraries is silenced."),
              definition("{\"frames\":N}",
                         "After the " + unit + " of every " + every + " frame has been written: N = " + first + ", " +
                             std::to_string(2 * kProgressInterval) + ", " + std::to_string(3 * kProgressInterval) +
                             ", and so on, the number of " + unit + "s written so far. JSON without spaces."),
              definition("{\"frames\":N,\"complete\":true}",
                         "Once, last, when the run succeeds: N is the number of " + unit +
                             "s written. Exit status 0 follows."),
              definition("one error line",
                         "Once, last, when the run fails: one English sentence ending in a full stop (see ERRORS). "
                         "It is not JSON, so a line that does not begin with { is the error. Exit status 1 follows."),
          }};
}

ManualSection exitStatusSection(const std::string& success) {
  return {"EXIT STATUS",
          {
              definition("0", success + " Also after --help and --version."),
              definition("1", "Failure: standard error ends with one error line."),
              paragraph("When the reader of standard output goes away early, the tool ends by SIGPIPE like any "
                        "other filter (status 141 in a shell), or, where SIGPIPE is ignored, fails with \"Could not "
                        "write to standard output: Broken pipe.\""),
          }};
}

std::string coverageRule(const std::string& unit) {
  return "the " + unit + "s cover, on average over all frames, more than " + percent(kPresenceThreshold) +
         " of the frame (sampled in every " + ordinal(static_cast<long>(kSampleStride)) +
         " column); a video without frames shows nobody";
}

std::vector<ManualBlock> serviceErrorBlocks() {
  return {
      paragraph("The services the tools share report these kinds of failure; their lines name the file or quote "
                "the reason FFmpeg, OpenCV or the system gave, as in the examples."),
      definition("The video file cannot be opened",
                 "For example \"The file \"clip.mp4\" could not be opened: No such file or directory.\", \"The "
                 "path \"clips\" is a directory, not a video file.\", \"The path \"/dev/stdin\" is not a regular "
                 "file.\", \"The file \"notes.txt\" is not a readable media file: Invalid data found when processing "
                 "input.\". Check the path and its permissions; save a stream to a file first."),
      definition("The video cannot be decoded",
                 "For example \"No decoder is available for the video codec NAME.\", \"The video stream could not be "
                 "decoded: REASON.\", \"The video stream is damaged.\", \"Video frames in pixel format NAME cannot be "
                 "converted to BGRA.\". Convert the video first: ffmpeg -i in.mkv -c:v libx264 -pix_fmt yuv420p "
                 "out.mp4."),
      definition("The video file is cut short",
                 "\"The video file could not be read to its end: REASON.\", or \"The video file ends in the middle "
                 "of its data; it may have been cut short.\" and the like. The frames before the damage have been "
                 "written. Copy or download the file again."),
      definition("A shipped model is missing or broken",
                 "For example \"The model file \"NAME\" that ships with this tool was not found.\", \"The face "
                 "detection model could not be loaded.\". The installation is incomplete: install the package "
                 "again, or see SHIPPED MODELS."),
      definition("Detection fails",
                 "For example \"Person segmentation failed: REASON.\", \"Face detection failed.\". Please report it "
                 "with the video."),
      definition("Standard output or standard error cannot be written",
                 "For example \"Could not write to standard output: No space left on device.\". The reader of the "
                 "stream closed it or the disk is full."),
      definition("Out of memory",
                 "\"Out of memory.\", \"Out of memory while decoding the video.\", \"Out of memory while opening the "
                 "video file.\". Close other programs, or use a smaller video."),
      definition("Internal error", "\"Internal error: TEXT.\" or \"Internal error.\". Please report it with the video."),
  };
}

ManualSection shippedModelsSection(const std::string& tool) {
  const std::string installed = std::string("<exe dir>/") + LOOM_MODELS_FROM_BINDIR;
  return {"SHIPPED MODELS",
          {
              paragraph(tool + " loads the networks that ship with it from the first of these folders that holds "
                               "the file. <exe dir> is the folder of the running executable, with symbolic links "
                               "resolved; no path of the machine it was built on is used."),
              definition("<exe dir>/models", "Beside the executable: the build tree."),
              definition("<exe dir>/../models", "One folder up: tests and benchmarks in the build tree."),
              definition(installed, "An installed tree, wherever it was moved: /usr/share/loom/models for the Debian "
                                    "package, <prefix>/share/loom/models after cmake --install."),
              paragraph("A file that is in none of them fails the run with \"The model file \"NAME\" that ships with "
                        "this tool was not found.\""),
          }};
}

ManualBlock shippedModelsFileBlock() {
  return definition("/usr/share/loom/models/",
                    "The shipped networks (ONNX files) and their licence notices: README.md names each file's "
                    "origin and licence, and licence texts lie beside the models they belong to. "
                    "<prefix>/share/loom/models/ in a tree made by cmake --install --prefix <prefix>.");
}

}  // namespace loom
