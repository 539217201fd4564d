#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "common/status_lines.h"
#include "common/tool_entry.h"
#include "common/tool_error.h"
#include "tests/support/fakes.h"

namespace {

TEST(StatusLines, ProgressOnlyOnMultiplesOfFifteen) {
  loomtest::MemorySink err;
  for (int64_t count = 1; count <= 31; ++count) loom::writeProgress(err, count);
  EXPECT_EQ(err.data, "{\"frames\":15}\n{\"frames\":30}\n");
  EXPECT_EQ(err.writes, 2);
}

TEST(StatusLines, CompletionLine) {
  loomtest::MemorySink err;
  loom::writeCompletion(err, 1805);
  EXPECT_EQ(err.data, "{\"frames\":1805,\"complete\":true}\n");
}

TEST(StatusLines, EntryReportsOneLineAndStatusOne) {
  loomtest::MemorySink err;
  EXPECT_EQ(loom::runAndReport(err, [] {}), 0);
  EXPECT_EQ(err.data, "");
  EXPECT_EQ(loom::runAndReport(err, [] { throw loom::ToolError("Quillmere.MODNet", 1, "MODNet requires normalized 1280×720 video."); }), 1);
  EXPECT_EQ(err.data, "MODNet requires normalized 1280\xC3\x97" "720 video.\n");
  err.data.clear();
  EXPECT_EQ(loom::runAndReport(err, [] { throw std::runtime_error("boom"); }), 1);
  EXPECT_EQ(err.data, "Internal error: boom.\n");
}

TEST(StatusLines, FailedErrorLineIsIgnored) {
  loomtest::MemorySink err;
  err.failAfterWrites = 0;
  EXPECT_EQ(loom::runAndReport(err, [] { throw loom::ToolError("Quillmere", 8, "x."); }), 1);
  EXPECT_EQ(err.data, "");
}

TEST(FileDescriptorSink, WritesLargeBuffersWholeThroughAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string payload(3 * 1024 * 1024 + 17, 'x');
  for (size_t i = 0; i < payload.size(); i += 4099) payload[i] = static_cast<char>(i % 251);
  std::string received;
  std::thread reader([&] {
    char buffer[1000];  // small reads force many partial writes on the other side
    ssize_t got;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) received.append(buffer, static_cast<size_t>(got));
  });
  {
    loom::FileDescriptorSink sink(fds[1], "standard output");
    sink.write(payload);
    ::close(fds[1]);
  }
  reader.join();
  ::close(fds[0]);
  EXPECT_EQ(received, payload);
}

TEST(FileDescriptorSink, ClosedDescriptorThrowsTheSystemError) {
  loom::FileDescriptorSink sink(-1, "standard error");
  try {
    sink.write("x");
    FAIL() << "no error";
  } catch (const platform::Error& error) {
    EXPECT_EQ(error.localizedDescription(), "Could not write to standard error: Bad file descriptor.");
  }
}

}  // namespace
