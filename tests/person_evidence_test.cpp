// Person evidence for the masks: the detector's grid decoding, the region
// gating rules, the evidence memory and the detector cadence.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/vision/human_rectangles.h"
#include "platform/vision/person_detector.h"
#include "platform/vision/person_evidence_memory.h"
#include "platform/vision/person_region_gate.h"

namespace {

constexpr size_t kRowLength = 85;
constexpr size_t kDogClass = 16;

// A YOLOX output grid for a 64x32 input: 8x4 cells of stride 8, 4x2 of
// stride 16 and 2x1 of stride 32, all empty.
std::vector<float> emptyGrid() { return std::vector<float>((32 + 8 + 2) * kRowLength, 0.f); }

void setCell(std::vector<float>& grid, size_t row, float dx, float dy, float w, float h, float objectness,
             size_t classIndex, float classProbability) {
  float* cell = grid.data() + row * kRowLength;
  cell[0] = dx, cell[1] = dy, cell[2] = std::log(w), cell[3] = std::log(h), cell[4] = objectness;
  cell[5 + classIndex] = classProbability;
}

TEST(PersonDetector, DecodesTheGridByHand) {
  std::vector<float> grid = emptyGrid();
  // Stride 16, column 1, row 1 (row 32 + 4 + 1): centre (1.5, 1.25) x 16 =
  // (24, 20), size 2 x 4 cells = 32 x 64 network pixels; score 0.8 x 0.5.
  setCell(grid, 37, 0.5f, 0.25f, 2.f, 4.f, 0.8f, 0, 0.5f);
  // The same person seen by a stride-8 cell (column 3, row 2), less sure.
  setCell(grid, 19, 0.f, 0.5f, 4.f, 8.f, 0.7f, 0, 0.5f);
  // A dog: confident object, tiny person probability.
  setCell(grid, 0, 0.5f, 0.5f, 1.f, 1.f, 0.9f, kDogClass, 0.95f);
  grid[0 * kRowLength + 5] = 0.05f;

  // The network saw the image at half its size.
  auto people = platform::decodePersonGrid(grid.data(), 42, kRowLength, {64, 32}, 0.5, 0.3f);
  ASSERT_EQ(people.size(), 1u);
  EXPECT_FLOAT_EQ(people[0].score, 0.4f);
  EXPECT_NEAR(people[0].box.x, 16.f, 1e-4);
  EXPECT_NEAR(people[0].box.y, -24.f, 1e-4);
  EXPECT_NEAR(people[0].box.width, 64.f, 1e-4);
  EXPECT_NEAR(people[0].box.height, 128.f, 1e-4);

  // Only the dog: no person at all.
  std::vector<float> dogOnly = emptyGrid();
  setCell(dogOnly, 0, 0.5f, 0.5f, 1.f, 1.f, 0.9f, kDogClass, 0.95f);
  EXPECT_TRUE(platform::decodePersonGrid(dogOnly.data(), 42, kRowLength, {64, 32}, 0.5, 0.3f).empty());
}

// Two blobs in a 40x20 probability map: A on the left, B on the right.
cv::Mat twoBlobs() {
  cv::Mat probability = cv::Mat::zeros(20, 40, CV_32F);
  probability(cv::Rect(2, 4, 8, 12)).setTo(0.9f);
  probability(cv::Rect(28, 4, 8, 12)).setTo(0.8f);
  return probability;
}

TEST(PersonRegionGate, KeepsOnlyRegionsTiedToAPerson) {
  struct Case {
    const char* name;
    platform::PersonEvidence evidence;
    bool keepA, keepB;
  };
  const Case cases[] = {
      {"person box over A, no face anywhere", {{cv::Rect2f(0, 0, 12, 20)}, {}}, true, false},
      {"box only touching B's edge", {{cv::Rect2f(34, 14, 10, 10)}, {}}, false, true},
      {"face at B's edge", {{}, {cv::Point2f(37.f, 3.f)}}, false, true},
      {"no evidence (an animal is no person box)", {}, false, false},
      {"box and face on empty ground", {{cv::Rect2f(14, 0, 10, 20)}, {cv::Point2f(20, 10)}}, false, false},
  };
  const cv::Mat probability = twoBlobs();
  for (const Case& c : cases) {
    platform::ProbabilityRegions regions = platform::findProbabilityRegions(probability);
    ASSERT_EQ(regions.count, 3) << c.name;
    cv::Mat kept = platform::keepRegions(probability, regions, platform::regionsWithEvidence(regions, c.evidence));
    EXPECT_EQ(kept.at<float>(10, 5) > 0.5f, c.keepA) << c.name;
    EXPECT_EQ(kept.at<float>(10, 31) > 0.5f, c.keepB) << c.name;
    EXPECT_EQ(kept.at<float>(0, 20), 0.f) << c.name;
  }
}

TEST(PersonRegionGate, UnexplainedRegionsAskTheDetectorToLook) {
  platform::ProbabilityRegions regions = platform::findProbabilityRegions(twoBlobs());
  auto explained = platform::regionsWithEvidence(regions, {{cv::Rect2f(0, 0, 12, 20)}, {}});
  EXPECT_TRUE(platform::hasUnexplainedRegion(regions, explained, 96));   // B has 96 pixels
  EXPECT_FALSE(platform::hasUnexplainedRegion(regions, explained, 97));  // too small to matter
  explained = platform::regionsWithEvidence(regions, {{cv::Rect2f(0, 0, 40, 20)}, {}});
  EXPECT_FALSE(platform::hasUnexplainedRegion(regions, explained, 1));
}

TEST(PersonEvidenceMemory, MissesKeepRecentEvidenceThenItExpires) {
  platform::PersonEvidenceMemory memory(2);
  memory.seePeople({cv::Rect2f(1, 2, 3, 4)});
  memory.seeFaces({cv::Point2f(5, 6)});
  for (int frame = 0; frame <= 2; ++frame) {
    EXPECT_EQ(memory.recent().personBoxes.size(), 1u) << frame;
    EXPECT_EQ(memory.recent().faceCentres.size(), 1u) << frame;
    memory.endFrame();
    memory.seePeople({});  // the detector found nobody
    memory.seeFaces({});
  }
  EXPECT_TRUE(memory.recent().personBoxes.empty());
  EXPECT_TRUE(memory.recent().faceCentres.empty());
}

TEST(DetectorCadence, RegularAndEarlyWhenSomethingNewAppears) {
  platform::DetectorCadence cadence(5, 2);
  std::string runs;
  // Frames 0-11; something unexplained is in view from frame 7 on.
  for (int frame = 0; frame < 12; ++frame) {
    bool run = cadence.due(frame >= 7);
    if (run) cadence.ran();
    runs += run ? 'D' : '.';
    cadence.endFrame();
  }
  EXPECT_EQ(runs, "D....D.D.D.D");
}

TEST(HumanRectangles, PersonBoxBecomesItsUpperHalf) {
  platform::NormalizedRect upper = platform::upperBodyFromPerson(cv::Rect2f(320, 90, 128, 540), 1280, 720);
  EXPECT_FLOAT_EQ(upper.x, 0.25f);
  EXPECT_FLOAT_EQ(upper.y, 0.125f);
  EXPECT_FLOAT_EQ(upper.width, 0.1f);
  EXPECT_FLOAT_EQ(upper.height, 0.375f);
  // Boxes reaching past the frame are clipped to it.
  platform::NormalizedRect edge = platform::upperBodyFromPerson(cv::Rect2f(-100, -50, 300, 400), 1280, 720);
  EXPECT_FLOAT_EQ(edge.x, 0.f);
  EXPECT_FLOAT_EQ(edge.y, 0.f);
}

}  // namespace
