// The simulator over a real pseudo-terminal: raw bytes both ways, the peer
// closing, hang-ups and stopping.
#include "sim/session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>

#include "tests/sim/frames.h"
#include "tests/support/temp_dir.h"

namespace voren::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    auto opened = Pty::open(&error);
    ASSERT_TRUE(opened) << error;
    pty_.emplace(std::move(*opened));
    ASSERT_EQ(pipe(stop_), 0);
    ASSERT_TRUE(folder_.made());
    dump_ = folder_.file("dump.bin");
  }

  void TearDown() override {
    closePeer();
    if (session_.valid()) {
      stop();
      session_.wait_for(5s);
    }
    ::close(stop_[0]);
    ::close(stop_[1]);
  }

  void start(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--dump", dump_, "--lifetime", "30"});
    auto parsed = parseOptions(arguments);
    ASSERT_TRUE(parsed.options) << parsed.message;
    session_ = std::async(std::launch::async, [this, options = std::move(*parsed.options)] {
      return runSession(options, *pty_, stop_[0], [this](const std::string& text) {
        std::lock_guard lock(reportsMutex_);
        reports_.push_back(text);
      });
    });
  }

  void openPeer() {
    peer_ = ::open(pty_->path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(peer_, 0);
    termios mode{};
    tcgetattr(peer_, &mode);
    cfmakeraw(&mode);
    tcsetattr(peer_, TCSANOW, &mode);
  }

  void closePeer() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
  }

  void stop() {
    char byte = 1;
    ASSERT_EQ(::write(stop_[1], &byte, 1), 1);
  }

  // The next byte from the printer, or -1 after the time-out, -2 on hang-up.
  int readByte(std::chrono::milliseconds timeout = 2000ms) {
    pollfd peer = {peer_, POLLIN, 0};
    if (::poll(&peer, 1, static_cast<int>(timeout.count())) <= 0) return -1;
    std::uint8_t byte = 0;
    return ::read(peer_, &byte, 1) == 1 ? byte : -2;
  }

  void write(const Bytes& bytes) {
    ASSERT_EQ(::write(peer_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  bool uploadBlock(int block) {
    auto frames = test::framesFor(block, test::patternBlock(block));
    write({kEscape, 0x01});
    if (readByte() != kAck) return false;
    write(frames.first);
    if (readByte() != kStatusOk) return false;
    write(frames.second);
    return readByte() == kStatusOk;
  }

  bool sessionEnds(std::chrono::milliseconds within) {
    return session_.wait_for(within) == std::future_status::ready;
  }

  bool reported(const std::string& text) {
    std::lock_guard lock(reportsMutex_);
    for (const auto& line : reports_) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }

  std::optional<Pty> pty_;
  int stop_[2] = {-1, -1};
  int peer_ = -1;
  const ::voren::test::TempDir folder_{"voren-sim-session"};
  std::string dump_;
  std::future<int> session_;
  std::mutex reportsMutex_;
  std::vector<std::string> reports_;
};

TEST_F(SessionTest, FullUploadOverThePtyEndsWhenThePeerCloses) {
  start({"--exit-on-close"});
  // A port probe opens and closes without a word: that is no end of session.
  openPeer();
  closePeer();
  EXPECT_FALSE(sessionEnds(300ms));

  openPeer();
  for (int block = 0; block < kBlockCount; ++block) ASSERT_TRUE(uploadBlock(block)) << block;
  closePeer();
  ASSERT_TRUE(sessionEnds(3s));
  EXPECT_EQ(session_.get(), 0);

  std::ifstream in(dump_, std::ios::binary);
  Bytes dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Bytes expected;
  for (int block = 0; block < kBlockCount; ++block) {
    auto bytes = test::patternBlock(block);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(dump, expected);  // XON and XOFF bytes arrived untouched
  EXPECT_TRUE(reported("blocks stored 144/144"));
  EXPECT_TRUE(reported("protocol errors 0"));
}

TEST_F(SessionTest, QuietLineAbandonsAHalfSentCommand) {
  start({"--frame-gap", "200"});
  openPeer();
  write({kEscape, 0x01, 0x01, 0x40});
  EXPECT_EQ(readByte(), kAck);
  std::this_thread::sleep_for(400ms);
  EXPECT_TRUE(uploadBlock(0));  // the printer listens for a new command again
  stop();
  ASSERT_TRUE(sessionEnds(2s));
  EXPECT_TRUE(reported("cut short"));
  EXPECT_TRUE(reported("protocol errors 1"));
}

TEST_F(SessionTest, HangUpReachesThePeer) {
  start({"--hangup-after", "50"});
  openPeer();
  write({kEscape, 0x01});
  EXPECT_EQ(readByte(), kAck);
  write(Bytes(60, 0x01));
  ASSERT_TRUE(sessionEnds(2s));
  EXPECT_FALSE(pty_->open());
  // A peer sees the hang-up: poll reports it and read fails or ends.
  pollfd peer = {peer_, POLLIN, 0};
  ASSERT_EQ(::poll(&peer, 1, 1000), 1);
  EXPECT_TRUE(peer.revents & (POLLHUP | POLLERR | POLLIN));
  std::uint8_t byte;
  EXPECT_LE(::read(peer_, &byte, 1), 0);
}

TEST_F(SessionTest, PacedAnswersTakeTheLineTime) {
  start({"--baud", "9600"});
  openPeer();
  auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(uploadBlock(0));
  auto took = std::chrono::steady_clock::now() - begin;
  // 265 bytes of 11 bits at 9600 baud: about 304 ms on a real line.
  EXPECT_GE(took, 290ms);
  EXPECT_LT(took, 1500ms);
}

TEST_F(SessionTest, AnAdapterHoldsEachAnswerForItsTimer) {
  start({"--latency-timer", "100"});
  openPeer();
  auto begin = std::chrono::steady_clock::now();
  ASSERT_TRUE(uploadBlock(0));
  auto took = std::chrono::steady_clock::now() - begin;
  // Three answers, each held 100 ms.
  EXPECT_GE(took, 300ms);
  EXPECT_LT(took, 1500ms);
}

TEST_F(SessionTest, StopsOnRequestAndWritesItsDump) {
  start({});
  openPeer();
  ASSERT_TRUE(uploadBlock(7));
  stop();
  ASSERT_TRUE(sessionEnds(2s));
  std::ifstream in(dump_, std::ios::binary);
  Bytes dump((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(dump.size(), kMemorySize);
  auto block = test::patternBlock(7);
  EXPECT_TRUE(std::equal(block.begin(), block.end(), dump.begin() + 7 * kBlockSize));
  EXPECT_TRUE(reported("blocks stored 1/144"));
}

}  // namespace
}  // namespace voren::sim
