// The .sbg export played by a reader we did not write: FFmpeg's sbg demuxer
// renders each exported session; the sound must last the session's total
// time and beat at the session's frequency.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ExchangeSessions.h"
#include "fileio/TempDirTest.h"
#include "format/ExchangeFormat.h"
#include "format/FileFormats.h"
#include "format/SbgFormat.h"
#include "support/StrongestTone.h"

namespace ovrel {
namespace {

constexpr int kRate = 2000;           // samples a second: above twice 400 Hz + half a beat
constexpr double kWindowSeconds = 2;  // the stretch a frequency is measured over

// A point where the beat is measured: the middle of a segment.
struct Probe {
  int32_t Segment = 0;
  double Seconds = 0;
  double Beat = 0;  // what the session plays there
  double Pitch = 0;
  std::vector<double> Left, Right;
};

bool HaveFfmpeg() {
  return std::system("command -v ffmpeg >/dev/null 2>&1") == 0;
}

// Debian 12's FFmpeg (5.1) reads only the first 8191 bytes of an .sbg file
// correctly: its sbg demuxer reads every further block over the start of its
// buffer. A session whose export is larger is therefore played in parts,
// each exported by the same writer, one after the other.
constexpr size_t kFfmpegSbgLimit = 8191;

// The session's segments first..last as a session of their own.
Session Part(const Session& ses, int32_t first, int32_t last) {
  Session part;
  part.SegCount = last - first + 1;
  for (int32_t k = first; k <= last; ++k) part[k - first + 1] = ses[k];
  return part;
}

// Consecutive parts whose exports FFmpeg reads whole.
std::vector<std::pair<int32_t, int32_t>> PlayableParts(const Session& ses) {
  std::vector<std::pair<int32_t, int32_t>> parts;
  int32_t first = 1;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    if (k > first &&
        SbgText(Part(ses, first, k), "part", "Exchange test").size() >= kFfmpegSbgLimit) {
      parts.emplace_back(first, k - 1);
      first = k;
    }
  }
  parts.emplace_back(first, ses.SegCount);
  return parts;
}

class FfmpegPlaysExports : public TempDirTest {
 protected:
  // Exports ses, has FFmpeg render it and checks the length and, at the
  // middle of the chosen segments, the beat and the pitch. Returns the
  // rendered length in seconds.
  double RenderAndCheck(const std::string& name, const Session& ses, int32_t firstNo,
                        bool everySegment) {
    const std::string path = (dir_ / (name + ".sbg")).string();
    EXPECT_TRUE(WriteFormatFile(path, {FormatRole::Schedule}, ses, name, "Exchange test"));
    EXPECT_LT(SbgText(ses, name, "Exchange test").size(), kFfmpegSbgLimit);
    std::vector<Probe> probes;
    double start = 0;
    for (int32_t k = 1; k <= ses.SegCount; ++k) {
      const Segment& s = ses[k];
      const double len = s.Time * double{TimeUnit};
      if (everySegment || k % 7 == 1 || k == ses.SegCount) {
        Probe p;
        p.Segment = firstNo + k - 1;
        p.Seconds = start + len / 2;
        p.Beat = (s.FreqStart + s.FreqEnd) / 2.0;
        p.Pitch = s.Pitch;
        probes.push_back(p);
      }
      start += len;
    }
    const double total = start;

    const std::string command = "ffmpeg -nostdin -v error -f sbg -sample_rate " +
                                std::to_string(kRate) + " -i '" + path +
                                "' -f s16le -acodec pcm_s16le -";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
      ADD_FAILURE() << command;
      return 0;
    }
    std::vector<int16_t> buf(2 * 65536);
    int64_t frames = 0;
    size_t next = 0;  // the first probe whose window is not complete
    for (;;) {
      const size_t got = std::fread(buf.data(), sizeof(int16_t), buf.size(), pipe);
      if (got == 0) break;
      for (size_t i = 0; i + 1 < got; i += 2, ++frames) {
        const double t = static_cast<double>(frames) / kRate;
        while (next < probes.size() && t >= probes[next].Seconds + kWindowSeconds / 2) ++next;
        if (next < probes.size() && t >= probes[next].Seconds - kWindowSeconds / 2) {
          probes[next].Left.push_back(buf[i]);
          probes[next].Right.push_back(buf[i + 1]);
        }
      }
    }
    EXPECT_EQ(pclose(pipe), 0) << name << ": " << command;

    const double rendered = static_cast<double>(frames) / kRate;
    EXPECT_NEAR(rendered, total, 1.0) << name << ": rendered length";
    for (const Probe& p : probes) {
      if (p.Left.size() < static_cast<size_t>(kRate)) {
        ADD_FAILURE() << name << " segment " << p.Segment << " was not rendered";
        continue;
      }
      // The left ear hears the carrier plus half the beat, the right minus.
      const double left = StrongestTone(p.Left, kRate, p.Pitch - 30, p.Pitch + 30, 0.25, 0.01).Hz;
      const double right = StrongestTone(p.Right, kRate, p.Pitch - 30, p.Pitch + 30, 0.25, 0.01).Hz;
      EXPECT_NEAR(left - right, p.Beat, 0.2)
          << name << " segment " << p.Segment << " at " << p.Seconds << " s";
      EXPECT_NEAR((left + right) / 2, p.Pitch, 0.2) << name << " segment " << p.Segment;
    }
    return rendered;
  }
};

TEST_F(FfmpegPlaysExports, WithTheSessionsLengthAndBeat) {
  ASSERT_TRUE(HaveFfmpeg()) << "ffmpeg is not installed; scripts/setup installs it. This "
                               "test needs it as the independent reader of .sbg files.";
  for (const auto& [name, ses] : ExchangeTestSessions(OVREL_EXAMPLES_DIR)) {
    const auto parts = PlayableParts(ses);
    double rendered = 0;
    double total = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
      const auto [first, last] = parts[i];
      const Session part = Part(ses, first, last);
      rendered +=
          RenderAndCheck(name + "-" + std::to_string(i + 1), part, first, ses.SegCount < 50);
      for (int32_t k = 1; k <= part.SegCount; ++k) total += part[k].Time * double{TimeUnit};
    }
    EXPECT_NEAR(rendered, total, 1.0) << name << ": rendered length of all parts";
    if (ses.SegCount == MaxSegCount) {
      EXPECT_GT(parts.size(), 1u);
    }
  }
}

}  // namespace
}  // namespace ovrel
