// Mask quality on footage with human-annotated person masks, and false
// coverage on footage without people, for the segmentation settings that
// matter: edge-aware against bilinear upsampling, with and without gating.
//
//   mask_quality <footage-dir> [--quick]
// (the folder holding truth/, people/, nopeople/; --quick: the shipped
// settings on the annotated footage only)
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "common/coverage_meter.h"
#include "platform/imaging/image_ops.h"
#include "platform/media/media_service.h"
#include "platform/vision/person_segmentation.h"
#include "platform/imaging/opencv_logging.h"
#include "platform/media/ffmpeg_media_service.h"

namespace fs = std::filesystem;

namespace {

struct Scores {
  double iouSum = 0, boundarySum = 0;
  int count = 0;
  void add(double iou, double boundary) { iouSum += iou; boundarySum += boundary; ++count; }
};

double intersectionOverUnion(const cv::Mat& predicted, const cv::Mat& truth) {
  cv::Mat p = predicted >= 128, t = truth >= 128;
  double inter = cv::countNonZero(p & t), uni = cv::countNonZero(p | t);
  return uni == 0 ? 1.0 : inter / uni;
}

// Boundary F-measure with a tolerance of 3 pixels.
double boundaryF(const cv::Mat& predicted, const cv::Mat& truth) {
  auto edges = [](const cv::Mat& m) {
    cv::Mat b = m >= 128, e;
    cv::morphologyEx(b, e, cv::MORPH_GRADIENT, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    return e;
  };
  cv::Mat pe = edges(predicted), te = edges(truth), pd, td;
  cv::Mat disk = cv::getStructuringElement(cv::MORPH_ELLIPSE, {7, 7});
  cv::dilate(pe, pd, disk);
  cv::dilate(te, td, disk);
  double pn = cv::countNonZero(pe), tn = cv::countNonZero(te);
  if (pn == 0 || tn == 0) return pn == tn ? 1.0 : 0.0;
  double precision = cv::countNonZero(pe & td) / pn, recall = cv::countNonZero(te & pd) / tn;
  return precision + recall == 0 ? 0 : 2 * precision * recall / (precision + recall);
}

double maskCoverage(const cv::Mat& mask) {
  uint64_t sum = 0;
  for (int y = 0; y < mask.rows; ++y) {
    for (int x = 0; x < mask.cols; x += 8) sum += mask.at<uint8_t>(y, x);
  }
  return static_cast<double>(sum) / static_cast<double>(loom::coverageDenominator(mask.cols, mask.rows));
}

// Calls visit(frameIndex, bgraFrame) for every frame of a clip, every step-th frame.
template <typename Visit>
void forEachFrame(platform::MediaService& media, const std::string& path, int step, Visit visit) {
  auto asset = media.openAsset(path);
  auto reader = asset->makeReader(0);
  reader->startReading();
  int index = 0;
  while (auto sample = reader->copyNextSample()) {
    if (index % step == 0) visit(index, platform::bgraView(*sample->imageBuffer));
    ++index;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s <footage-dir> [--quick]\n", argv[0]);
    return 2;
  }
  const bool quick = argc == 3 && std::string(argv[2]) == "--quick";
  platform::silenceFfmpegLogging();
  platform::silenceOpenCvLogging();
  const fs::path footage = argv[1];
  auto media = platform::makeFfmpegMediaService();

  struct Mode { const char* name; platform::SegmentationSettings settings; };
  const Mode modes[] = {
      {"edge-aware, gated", {true, true}},
      {"bilinear, gated", {false, true}},
      {"edge-aware, ungated", {true, false}},
  };

  for (const Mode& mode : modes) {
    if (quick && &mode != &modes[0]) break;
    std::printf("== %s\n", mode.name);
    std::map<std::string, Scores> byGroup;
    for (const char* size : {"720p", "native"}) {
      // Stills: every frame of the clip shows the same picture; score frame 0.
      for (const char* still : {"t01_coco_000785_skier", "t09_easyportrait_a"}) {
        platform::PersonSegmentationEngine engine(mode.settings);
        cv::Mat truth = cv::imread((footage / "truth" / (std::string(still) + "_mask_" + size + ".png")).string(),
                                   cv::IMREAD_GRAYSCALE);
        // Give the temporal parts a few frames, as in a real run.
        forEachFrame(*media, (footage / "truth" / (std::string(still) + "__" + size + ".mp4")).string(), 1,
                     [&](int index, const cv::Mat& frame) {
                       if (index > 5) return;
                       cv::Mat mask = engine.segment(frame);
                       if (index == 5) {
                         double iou = intersectionOverUnion(mask, truth), bf = boundaryF(mask, truth);
                         std::printf("  %-28s %-6s IoU %.3f  boundary F %.3f\n", still, size, iou, bf);
                         byGroup[still[1] == '0' && still[2] == '9' ? "portrait" : "general"].add(iou, bf);
                       }
                     });
      }
      platform::PersonSegmentationEngine engine(mode.settings);
      Scores parkour;
      const fs::path dir = footage / "truth" / "t13_davis_parkour";
      forEachFrame(*media, (dir / (std::string("t13_davis_parkour__") + size + ".mp4")).string(), 1,
                   [&](int index, const cv::Mat& frame) {
                     cv::Mat mask = engine.segment(frame);
                     if (index % 5) return;
                     char name[16];
                     std::snprintf(name, sizeof name, "%05d.png", index);
                     cv::Mat truth = cv::imread((dir / (std::string("mask_") + size) / name).string(), cv::IMREAD_GRAYSCALE);
                     if (truth.empty()) return;
                     parkour.add(intersectionOverUnion(mask, truth), boundaryF(mask, truth));
                   });
      std::printf("  %-28s %-6s IoU %.3f  boundary F %.3f  (%d frames)\n", "t13_davis_parkour", size,
                  parkour.iouSum / parkour.count, parkour.boundarySum / parkour.count, parkour.count);
      byGroup["general"].add(parkour.iouSum / parkour.count, parkour.boundarySum / parkour.count);
    }
    for (auto& [group, s] : byGroup) {
      std::printf("  mean %-9s IoU %.3f  boundary F %.3f\n", group.c_str(), s.iouSum / s.count, s.boundarySum / s.count);
    }
    if (quick) break;
    for (const char* folder : {"people", "nopeople"}) {
      for (const auto& entry : fs::directory_iterator(footage / folder)) {
        if (entry.path().extension() != ".mp4") continue;
        platform::PersonSegmentationEngine engine(mode.settings);
        double sum = 0;
        int frames = 0, emptyFrames = 0;
        forEachFrame(*media, entry.path().string(), 1, [&](int, const cv::Mat& frame) {
          double coverage = maskCoverage(engine.segment(frame));
          sum += coverage;
          emptyFrames += coverage <= loom::kPresenceThreshold;
          ++frames;
        });
        std::printf("  coverage %-40s %.4f %-6s frames without a person %d of %d\n", entry.path().filename().c_str(),
                    sum / frames, sum / frames > loom::kPresenceThreshold ? "person" : "none", emptyFrames, frames);
      }
    }
  }
  return 0;
}
