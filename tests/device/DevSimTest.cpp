// The device emulator, driven over its pseudo-terminal with raw frames.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <thread>

#include "TerminalTestSupport.h"
#include "support/DevSim.h"

namespace ovrel::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int ReplyWaitMs = 2000;
constexpr int SilenceMs = 300;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A library image of `length` used bytes whose checksum offset (bytes 2 and
// 3) is length - 1, filled with a recognisable pattern, zero-padded.
Bytes PatternImage(size_t length) {
  Bytes image(2048, 0);
  for (size_t i = 0; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  image[0] = 23;
  image[2] = static_cast<std::uint8_t>((length - 1) >> 8);
  image[3] = static_cast<std::uint8_t>((length - 1) & 0xFF);
  return image;
}

std::uint8_t XorOf(const Bytes& bytes, size_t count) {
  return std::accumulate(bytes.begin(), bytes.begin() + static_cast<long>(count), std::uint8_t{0},
                         [](std::uint8_t a, std::uint8_t b) { return std::uint8_t(a ^ b); });
}

class DevSimTest : public ::testing::Test {
 protected:
  // Sends one command frame and returns the reply, expected to be
  // replyLength bytes.
  Bytes Ask(RawEnd& port, char letter, const Bytes& payload, size_t replyLength,
            int timeoutMs = ReplyWaitMs) {
    EXPECT_TRUE(port.Send(Frame(letter, payload)));
    return port.Receive(replyLength, timeoutMs);
  }
  void Upload(RawEnd& port, const Bytes& image) {
    ASSERT_EQ(Ask(port, 'W', {}, 5), Frame('W'));
    for (size_t block = 0; block < 16; ++block) {
      const Bytes data(image.begin() + static_cast<long>(block * 128),
                       image.begin() + static_cast<long>(block * 128 + 128));
      ASSERT_EQ(Ask(port, 'D', data, 5), Frame('D')) << "block " << block;
    }
    ASSERT_EQ(Ask(port, 'E', {}, 5), Frame('E'));
  }
};

TEST_F(DevSimTest, AnswersEveryCommandWithAFrameOfItsLetter) {
  DevSim sim;
  RawEnd port(sim.path());
  ASSERT_TRUE(port.Valid());
  const Bytes probe = Ask(port, 'S', {}, 10);
  ASSERT_EQ(probe.size(), 10u);
  EXPECT_EQ(Bytes(probe.begin(), probe.begin() + 3), (Bytes{0x41, 0x54, 'S'}));
  // The probe rules: payload bytes 0, 1, 2 and 4 are S, V, 2 and 3.
  EXPECT_EQ(probe[4], 'S');
  EXPECT_EQ(probe[5], 'V');
  EXPECT_EQ(probe[6], '2');
  EXPECT_EQ(probe[8], '3');
  EXPECT_EQ(probe, Frame('S', Bytes(probe.begin() + 4, probe.end() - 1)));
  for (char letter : {'I', 'C', 'W', 'E', 'O'})
    EXPECT_EQ(Ask(port, letter, {}, 5), Frame(letter)) << letter;
  // The frame of a command without payload is five bytes: 41 54 53 00 53.
  EXPECT_EQ(Frame('S'), (Bytes{0x41, 0x54, 0x53, 0x00, 0x53}));
  EXPECT_TRUE(port.Receive(1, SilenceMs).empty()) << "one reply per command";
}

TEST_F(DevSimTest, UploadIsStoredSavedAndReadBack) {
  DevSim sim;
  RawEnd port(sim.path());
  const Bytes image = PatternImage(700);
  ASSERT_EQ(Ask(port, 'I', {}, 5), Frame('I'));
  ASSERT_EQ(Ask(port, 'C', {}, 5), Frame('C'));
  Upload(port, image);
  EXPECT_EQ(sim.memory(), image) << "saved after E";
  EXPECT_EQ(Ask(port, 'X', {}, 6), Frame('X', {XorOf(image, 699)}));
  ASSERT_EQ(Ask(port, 'O', {}, 5), Frame('O'));
  // Block 5 (address 640) is requested as 41 54 72 03 02 80 80 73.
  const Bytes read640 = {0x02, 0x80, 0x80};
  EXPECT_EQ(Frame('r', read640), (Bytes{0x41, 0x54, 0x72, 0x03, 0x02, 0x80, 0x80, 0x73}));
  EXPECT_EQ(Ask(port, 'r', read640, 133),
            Frame('r', Bytes(image.begin() + 640, image.begin() + 768)));
  // A second W starts again at address 0.
  Upload(port, PatternImage(100));
  EXPECT_EQ(sim.memory(), PatternImage(100));
}

TEST_F(DevSimTest, MemoryFileIsLoadedAtStartAndChecksumIsClamped) {
  Bytes image(2048, 0x5A);
  image[2] = 0xFF;  // a checksum offset beyond the memory
  image[3] = 0xFF;
  DevSim sim({}, image);
  RawEnd port(sim.path());
  EXPECT_EQ(Ask(port, 'r', {0x07, 0x80, 0x80}, 133),
            Frame('r', Bytes(image.begin() + 1920, image.end())));
  EXPECT_EQ(Ask(port, 'X', {}, 6), Frame('X', {XorOf(image, 2047)}));
}

TEST_F(DevSimTest, IgnoresNoiseAndDamagedFrames) {
  DevSim sim;
  RawEnd port(sim.path());
  Bytes damaged = Frame('I');
  damaged.back() ^= 1;
  ASSERT_TRUE(port.Send(damaged));
  EXPECT_TRUE(port.Receive(1, SilenceMs).empty());
  Bytes noisy = {0x00, 0x41, 0xFF, 0x54};
  const Bytes frame = Frame('W');
  noisy.insert(noisy.end(), frame.begin(), frame.end());
  // Sent in two pieces, split inside the frame.
  ASSERT_TRUE(port.Send(Bytes(noisy.begin(), noisy.begin() + 6)));
  ASSERT_TRUE(port.Send(Bytes(noisy.begin() + 6, noisy.end())));
  EXPECT_EQ(port.Receive(5, ReplyWaitMs), Frame('W'));
}

// In strict mode any byte outside a well-formed frame, even one the device
// would skip, ends the run with status 3; so does a frame left unfinished.
TEST_F(DevSimTest, StrictModeRefusesStrayBytes) {
  {
    DevSim sim({"--strict"});
    RawEnd port(sim.path());
    EXPECT_EQ(Ask(port, 'I', {}, 5), Frame('I'));
    Bytes stray = Frame('W');
    stray.insert(stray.begin(), 0x0D);
    ASSERT_TRUE(port.Send(stray));
    EXPECT_TRUE(port.Receive(1, SilenceMs).empty());
    EXPECT_EQ(sim.waitExit(2000), 3);
    EXPECT_NE(sim.log().find("strict: 1 bytes outside a frame"), std::string::npos) << sim.log();
  }
  DevSim sim({"--strict"});
  RawEnd port(sim.path());
  EXPECT_EQ(Ask(port, 'I', {}, 5), Frame('I'));
  ASSERT_TRUE(port.Send({0x41, 0x54, 'W'}));
  EXPECT_TRUE(port.Receive(1, SilenceMs).empty());
  EXPECT_EQ(sim.stop(), 3);
}

TEST_F(DevSimTest, FaultFlagsChangeTheNamedReplies) {
  DevSim sim({"--no-reply", "D:2", "--wrong-letter", "W:1", "--bad-checksum", "--log"});
  RawEnd port(sim.path());
  const Bytes block(128, 0x11);
  Bytes wrong = Frame('W');
  wrong[2] = 'Z';
  wrong[4] = 'Z';
  EXPECT_EQ(Ask(port, 'W', {}, 5), wrong);
  EXPECT_EQ(Ask(port, 'W', {}, 5), Frame('W')) << "only the first W";
  EXPECT_EQ(Ask(port, 'D', block, 5), Frame('D'));
  EXPECT_TRUE(Ask(port, 'D', block, 5, SilenceMs).empty()) << "no reply to the second D";
  EXPECT_EQ(Ask(port, 'D', block, 5), Frame('D'));
  Ask(port, 'E', {}, 5);
  const Bytes memory = sim.memory();
  ASSERT_EQ(memory.size(), 2048u);
  // The unanswered block was stored all the same: three blocks of 0x11.
  EXPECT_EQ(memory[383], 0x11);
  EXPECT_EQ(memory[384], 0x00);
  // Bytes 2 and 3 hold 0x1111, beyond the memory: the sum covers 0 .. 2046.
  const std::uint8_t rightSum = XorOf(memory, 2047);
  const Bytes xReply = Ask(port, 'X', {}, 6);
  ASSERT_EQ(xReply.size(), 6u);
  EXPECT_NE(xReply[4], rightSum);
  EXPECT_EQ(xReply, Frame('X', {xReply[4]})) << "the frame itself is well formed";
  EXPECT_NE(sim.log().find("no reply"), std::string::npos);
}

TEST_F(DevSimTest, ProbeFaults) {
  {
    DevSim sim({"--probe-e"});
    RawEnd port(sim.path());
    EXPECT_EQ(Ask(port, 'S', {}, 5), (Bytes{0x41, 0x54, 0x65, 0x00, 0x65}));
  }
  {
    DevSim sim({"--probe-bad"});
    RawEnd port(sim.path());
    const Bytes reply = Ask(port, 'S', {}, 10);
    ASSERT_GE(reply.size(), 9u);
    EXPECT_EQ(reply[2], 'S');
    EXPECT_FALSE(reply[4] == 'S' && reply[5] == 'V' && reply[6] == '2' && reply[8] == '3');
  }
}

TEST_F(DevSimTest, DelaysAndPiecesAreHonoured) {
  DevSim sim({"--c-delay", "300", "--chunk", "3"});
  RawEnd port(sim.path());
  auto start = Clock::now();
  EXPECT_EQ(Ask(port, 'C', {}, 5), Frame('C'));
  EXPECT_GE(MillisecondsSince(start), 290);
  // 133 bytes in pieces of 3, 2 ms apart: at least 44 pauses.
  start = Clock::now();
  EXPECT_EQ(Ask(port, 'r', {0, 0, 128}, 133), Frame('r', Bytes(128, 0)));
  EXPECT_GE(MillisecondsSince(start), 80);
}

TEST_F(DevSimTest, HangsUpAfterTheGivenNumberOfCommands) {
  DevSim sim({"--hangup-after", "2"});
  RawEnd port(sim.path());
  EXPECT_EQ(Ask(port, 'I', {}, 5), Frame('I'));
  EXPECT_EQ(Ask(port, 'C', {}, 5), Frame('C'));
  EXPECT_TRUE(Ask(port, 'W', {}, 5, SilenceMs).empty());
  EXPECT_EQ(sim.waitExit(2000), 0);
  pollfd hangup{port.Fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&hangup, 1, 1000), 1);
  EXPECT_TRUE(hangup.revents & POLLHUP);
}

TEST_F(DevSimTest, LinkIsPlacedAndRemovedAndTermEndsCleanly) {
  const std::string link =
      (std::filesystem::temp_directory_path() / ("ovrel-devsim-link-" + std::to_string(::getpid())))
          .string();
  DevSim sim({"--link", link});
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.path());
  EXPECT_EQ(sim.stop(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// A test process that dies without its destructors (a crash) takes its
// emulator with it.
TEST_F(DevSimTest, EndsWithTheProcessThatStartedIt) {
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    DevSim* sim = new DevSim();
    const pid_t simPid = sim->pid();
    [[maybe_unused]] ssize_t written = ::write(pipeFds[1], &simPid, sizeof simPid);
    written = ::write(pipeFds[1], sim->memoryFile().data(), sim->memoryFile().size());
    ::raise(SIGKILL);
  }
  ::close(pipeFds[1]);
  pid_t simPid = 0;
  ASSERT_EQ(::read(pipeFds[0], &simPid, sizeof simPid), static_cast<ssize_t>(sizeof simPid));
  char memoryFile[4096] = {};
  const ssize_t nameLength = ::read(pipeFds[0], memoryFile, sizeof memoryFile - 1);
  ::close(pipeFds[0]);
  ::waitpid(child, nullptr, 0);
  // The crashed test's temporary folder is cleaned up here.
  if (nameLength > 0) {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(memoryFile).parent_path(), ignored);
  }
  // Gone, or a zombie that its new parent has not reaped yet.
  const auto running = [simPid] {
    std::ifstream stat("/proc/" + std::to_string(simPid) + "/stat");
    std::string pid, name, state;
    return stat >> pid >> name >> state && state != "Z";
  };
  const auto start = Clock::now();
  while (running() && MillisecondsSince(start) < 3000)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const bool leftRunning = running();
  if (leftRunning) ::kill(simPid, SIGKILL);
  EXPECT_FALSE(leftRunning);
}

TEST_F(DevSimTest, RefusesUnknownOptions) {
  EXPECT_THROW(DevSim({"--no-reply", "D"}), std::runtime_error);
  EXPECT_THROW(DevSim({"--frobnicate"}), std::runtime_error);
}

}  // namespace
}  // namespace ovrel::test
