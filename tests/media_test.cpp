// The FFmpeg media service against small videos generated with the ffmpeg
// tool at test time.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/media/ffmpeg_media_service.h"
#include "platform/media/media_service.h"
#include "tests/support/decoding.h"
#include "tests/support/fixtures.h"

namespace {

using loomtest::decodeAll;
using loomtest::Decoded;
using loomtest::ffmpeg;
using loomtest::TempDir;

class MediaTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(MediaTest, EveryFrameOfCommonEncodingsMatchesFfprobe) {
  struct Case { const char* name; int width, height, frames; const char* encode; const char* extension; };
  const Case cases[] = {
      {"h264_bframes", 640, 360, 47, "-c:v libx264 -pix_fmt yuv420p -bf 3", "mp4"},
      {"h264_444_odd_size", 641, 361, 20, "-c:v libx264 -pix_fmt yuv444p", "mp4"},
      {"ffv1_420_odd_size", 641, 361, 5, "-c:v ffv1 -pix_fmt yuv420p", "mkv"},
      {"h264_10bit", 320, 180, 20, "-c:v libx264 -pix_fmt yuv420p10le", "mkv"},
      {"mpeg4_bframes", 352, 288, 33, "-c:v mpeg4 -bf 2", "avi"},
      {"vp9", 160, 90, 12, "-c:v libvpx-vp9 -deadline realtime", "webm"},
      {"mjpeg_full_range", 160, 120, 10, "-c:v mjpeg -pix_fmt yuvj422p", "mov"},
      {"ffv1_rgb", 64, 48, 8, "-c:v ffv1 -pix_fmt bgr0", "mkv"},
      {"variable_rate", 200, 100, 30, "-vf setpts='N*N' -fps_mode vfr -c:v libx264", "mkv"},
  };
  for (const Case& c : cases) {
    std::string path = loomtest::testPatternClip(dir, c.name, c.width, c.height, c.frames, c.encode, c.extension);
    Decoded decoded = decodeAll(path);
    EXPECT_EQ(decoded.status, platform::ReaderStatus::Completed) << c.name;
    EXPECT_FALSE(decoded.error) << c.name;
    EXPECT_EQ(static_cast<long>(decoded.sizes.size()), loomtest::ffprobeFrameCount(path)) << c.name;
    EXPECT_EQ(decoded.sizes.size(), static_cast<size_t>(c.frames)) << c.name;
    for (auto size : decoded.sizes) {
      EXPECT_EQ(size, (std::pair<size_t, size_t>(c.width, c.height))) << c.name;
    }
  }
}

TEST_F(MediaTest, ColoursComeOutRightInBgra) {
  // 0x3366CC: R 0x33, G 0x66, B 0xCC; tolerance covers YUV rounding.
  struct Case { const char* name; const char* encode; const char* extension; };
  const Case cases[] = {
      {"sd_420", "-c:v libx264 -qp 0 -pix_fmt yuv420p -s 320x240", "mp4"},
      {"hd_420_bt709", "-vf scale=out_color_matrix=bt709:out_range=tv -c:v libx264 -qp 0 -pix_fmt yuv420p -colorspace bt709 -color_primaries bt709 -color_trc bt709", "mp4"},
      {"444_10bit", "-c:v libx264 -qp 0 -pix_fmt yuv444p10le -s 320x240", "mkv"},
      {"full_range_jpeg", "-c:v mjpeg -q:v 1 -pix_fmt yuvj444p -s 320x240", "mov"},
  };
  for (const Case& c : cases) {
    std::string path = dir.file(std::string(c.name) + "." + c.extension);
    ffmpeg("-f lavfi -i color=c=0x3366CC:size=1280x720:rate=30:duration=0.1,format=rgb24 " + std::string(c.encode) + " '" + path + "'");
    Decoded decoded = decodeAll(path);
    ASSERT_EQ(decoded.firstFrameCentre.size(), 4u) << c.name;
    EXPECT_NEAR(decoded.firstFrameCentre[0], 0xCC, 3) << c.name;
    EXPECT_NEAR(decoded.firstFrameCentre[1], 0x66, 3) << c.name;
    EXPECT_NEAR(decoded.firstFrameCentre[2], 0x33, 3) << c.name;
    EXPECT_EQ(decoded.firstFrameCentre[3], 0xFF) << c.name;
  }
}

TEST_F(MediaTest, FrameSizeChangeMidStream) {
  // Two H.264 elementary streams back to back: one stream whose size changes.
  std::string a = loomtest::testPatternClip(dir, "a", 320, 240, 10, "-c:v libx264", "h264");
  std::string b = loomtest::testPatternClip(dir, "b", 176, 144, 7, "-c:v libx264", "h264");
  std::string joined = dir.file("joined.h264");
  std::ofstream out(joined, std::ios::binary);
  out << std::ifstream(a, std::ios::binary).rdbuf() << std::ifstream(b, std::ios::binary).rdbuf();
  out.close();
  Decoded decoded = decodeAll(joined);
  EXPECT_EQ(decoded.status, platform::ReaderStatus::Completed);
  EXPECT_FALSE(decoded.error);
  ASSERT_EQ(decoded.sizes.size(), 17u);
  EXPECT_EQ(static_cast<long>(decoded.sizes.size()), loomtest::ffprobeFrameCount(joined));
  EXPECT_EQ(decoded.sizes.front(), (std::pair<size_t, size_t>(320, 240)));
  EXPECT_EQ(decoded.sizes.back(), (std::pair<size_t, size_t>(176, 144)));
}

TEST_F(MediaTest, TrackSelection) {
  std::string audioFirst = dir.file("audio_first.mkv");
  ffmpeg("-f lavfi -i sine=duration=1 -f lavfi -i testsrc2=size=96x64:rate=30:duration=0.4 -map 0:a -map 1:v -frames:v 12 -c:v libx264 -c:a aac '" +
         audioFirst + "'");
  Decoded decoded = decodeAll(audioFirst);
  EXPECT_EQ(decoded.tracks, 1u);
  EXPECT_EQ(decoded.sizes.size(), 12u);

  std::string twoVideos = dir.file("two_videos.mkv");
  ffmpeg("-f lavfi -i testsrc2=size=96x64:rate=30:duration=0.2 -f lavfi -i testsrc2=size=48x32:rate=30:duration=0.2 -map 0:v -map 1:v "
         "-c:v libx264 '" + twoVideos + "'");
  decoded = decodeAll(twoVideos);
  EXPECT_EQ(decoded.tracks, 2u);
  ASSERT_FALSE(decoded.sizes.empty());
  EXPECT_EQ(decoded.sizes.front(), (std::pair<size_t, size_t>(96, 64)));

  std::string cover = dir.file("cover.png"), song = dir.file("song.mp3");
  ffmpeg("-f lavfi -i color=c=red:size=64x64:duration=0.04 -frames:v 1 '" + cover + "'");
  ffmpeg("-f lavfi -i sine=duration=1 -i '" + cover + "' -map 0:a -map 1:v -c:v png -disposition:v attached_pic '" + song + "'");
  EXPECT_EQ(decodeAll(song).tracks, 0u);

  // A video track that holds no frame: the reader completes with nothing.
  std::string noFrames = dir.file("no_frames.mkv");
  ffmpeg("-f lavfi -i sine=duration=1 -f lavfi -i testsrc=size=64x48:duration=1 -map 0:a -map 1:v -frames:v 0 "
         "-c:v libx264 -c:a aac '" + noFrames + "'");
  decoded = decodeAll(noFrames);
  EXPECT_EQ(decoded.tracks, 1u);
  EXPECT_TRUE(decoded.sizes.empty());
  EXPECT_EQ(decoded.status, platform::ReaderStatus::Completed);

  std::string audioOnly = dir.file("audio.wav");
  ffmpeg("-f lavfi -i sine=duration=1 '" + audioOnly + "'");
  EXPECT_EQ(decodeAll(audioOnly).tracks, 0u);
}

TEST_F(MediaTest, DamagedFilesNeverComplete) {
  struct Case { const char* name; const char* encode; const char* extension; bool truncate; };
  const Case cases[] = {
      {"mp4_cut_short", "-c:v libx264 -movflags +faststart", "mp4", true},
      {"mkv_cut_short", "-c:v libx264", "mkv", true},
      {"ts_cut_short", "-c:v libx264", "ts", true},
      {"mp4_corrupt_middle", "-c:v libx264 -movflags +faststart", "mp4", false},
      {"ts_corrupt_middle", "-c:v libx264", "ts", false},
  };
  for (const Case& c : cases) {
    std::string path = loomtest::testPatternClip(dir, c.name, 320, 240, 90, std::string(c.encode) + " -g 15", c.extension);
    auto size = std::filesystem::file_size(path);
    if (c.truncate) {
      std::filesystem::resize_file(path, size * 6 / 10);
    } else {
      std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
      file.seekp(static_cast<std::streamoff>(size / 2));
      std::string garbage(4096, '\0');
      for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
      file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
    }
    Decoded decoded = decodeAll(path);
    EXPECT_NE(decoded.status, platform::ReaderStatus::Completed) << c.name << " gave " << decoded.sizes.size() << " frames";
    ASSERT_TRUE(decoded.error) << c.name;
    EXPECT_FALSE(decoded.error->localizedDescription().empty());
    EXPECT_EQ(decoded.error->localizedDescription().back(), '.');
    EXPECT_EQ(decoded.error->localizedDescription().find('\n'), std::string::npos);
    EXPECT_GT(decoded.sizes.size(), 10u) << c.name << ": frames before the damage are delivered";
    EXPECT_LT(decoded.sizes.size(), 90u) << c.name;
  }
}

TEST_F(MediaTest, OnlyTheNamedLocalFileIsRead) {
  std::string clip = loomtest::testPatternClip(dir, "real", 64, 48, 6, "-c:v libx264", "mp4");
  // Names that look like URLs or protocols are plain file names.
  for (const char* name : {"http:clip.mp4", "pipe:0", "file with spaces & ünïcode.mp4", "concat:a|b.mp4"}) {
    std::filesystem::copy_file(clip, dir.path() / name);
    Decoded decoded = decodeAll(dir.file(name));
    EXPECT_EQ(decoded.sizes.size(), 6u) << name;
  }
  // Lists that would make the demuxer open other files or addresses are
  // refused in words the user can act on, whatever their names, and no
  // listed file is read: relative entries included, which a concat list
  // would otherwise open itself.
  std::filesystem::copy_file(clip, dir.path() / "entry.mp4");
  const std::string playlistRefusal = "is a playlist that refers to other files, which this tool does not read; give it a single video file.";
  const std::string networkRefusal = "describes a network stream, which this tool does not read; give it a single video file.";
  struct Case { const char* name; std::string text; std::string refusal; };
  const Case cases[] = {
      {"list.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\n" + clip + "\n#EXT-X-ENDLIST\n", playlistRefusal},
      {"relative.m3u8", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nentry.mp4\n#EXT-X-ENDLIST\n", playlistRefusal},
      {"playlist.mp4", "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nentry.mp4\n#EXT-X-ENDLIST\n", playlistRefusal},
      {"list.ffconcat", "ffconcat version 1.0\nfile '" + clip + "'\n", playlistRefusal},
      {"relative.ffconcat", "ffconcat version 1.0\nfile 'entry.mp4'\n", playlistRefusal},
      {"stream.sdp", "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=x\nc=IN IP4 127.0.0.1\nt=0 0\nm=video 5004 RTP/AVP 96\na=rtpmap:96 H264/90000\n", networkRefusal},
  };
  for (const Case& c : cases) {
    std::ofstream(dir.file(c.name)) << c.text;
    try {
      Decoded decoded = decodeAll(dir.file(c.name));
      ADD_FAILURE() << c.name << " gave " << decoded.sizes.size() << " frames";
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.localizedDescription(), "The file \"" + dir.file(c.name) + "\" " + c.refusal);
    }
  }
}

TEST_F(MediaTest, UnreadablePathsGiveOneLineErrors) {
  struct Case { std::string path; std::string description; };
  std::filesystem::create_directory(dir.path() / "folder");
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);  // no writer: must not block
  std::ofstream(dir.file("text.mp4")) << "not a video at all\n";
  const Case cases[] = {
      {dir.file("missing.mp4"), "The file \"" + dir.file("missing.mp4") + "\" could not be opened: No such file or directory."},
      {dir.file("folder"), "The path \"" + dir.file("folder") + "\" is a directory, not a video file."},
      {dir.file("fifo"), "The path \"" + dir.file("fifo") + "\" is not a regular file."},
      {dir.file("text.mp4"), "The file \"" + dir.file("text.mp4") + "\" is not a readable media file: Invalid data found when processing input."},
  };
  auto media = platform::makeFfmpegMediaService();
  for (const Case& c : cases) {
    try {
      media->openAsset(c.path)->videoTrackCount();
      ADD_FAILURE() << c.path;
    } catch (const platform::Error& error) {
      EXPECT_EQ(error.localizedDescription(), c.description);
    }
  }
}

}  // namespace
