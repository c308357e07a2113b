// Micro-benchmarks: reading and writing a 380-segment session, compiling a
// 30-session library from its files, merging a session into a downloaded
// image, and the receiver fed 1 MB of reply frames.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "device/protocol/ReplyReceiver.h"
#include "library/LibraryImage.h"
#include "library/SessionScan.h"
#include "library/LibraryCompiler.h"
#include "format/SessionFile.h"
#include "VariedSession.h"

namespace {

void BM_ReadSession380(benchmark::State& state) {
  const std::string text = ovrel::SessionFileText(VariedSession(380));
  for (auto _ : state) {
    auto read = ovrel::ReadSessionText(text, "bench.svs");
    benchmark::DoNotOptimize(read);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadSession380);

void BM_WriteSession380(benchmark::State& state) {
  const ovrel::Session ses = VariedSession(380);
  for (auto _ : state) {
    std::string text = ovrel::SessionFileText(ses);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_WriteSession380);

// 30 session files of 12 segments each (2039 of the 2048 bytes) in a
// temporary folder; the compiler reads every file on each run.
void BM_CompileLibrary30(benchmark::State& state) {
  const auto folder =
      std::filesystem::temp_directory_path() / ("ovrel-bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::vector<ovrel::LibraryEntry> entries;
  for (int i = 0; i < 30; ++i) {
    const std::string path = (folder / std::to_string(i)).string() + ".svs";
    std::ofstream(path, std::ios::binary) << ovrel::SessionFileText(VariedSession(12));
    entries.push_back({path, 0, 0, 12});
  }
  for (auto _ : state) {
    auto image = ovrel::CompileSesLib(entries);
    benchmark::DoNotOptimize(image);
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_CompileLibrary30);

// A downloaded image of 29 sessions and a session file of 10 segments: the
// read of the file, the check of the image and the merge.
void BM_Merge(benchmark::State& state) {
  std::array<std::uint8_t, ovrel::SesMemSize> downloaded{0x17, 0x00, 0x00, 0x04, 0x13};
  ovrel::SessionRecord one;
  one.Segments.assign(10, {36, 10, 10, 100, 100});
  for (int i = 0; i < 29; ++i) ovrel::AppendSession(downloaded, one);
  const std::string text = ovrel::SessionFileText(VariedSession(10));
  for (auto _ : state) {
    auto image = downloaded;
    const ovrel::SessionRecordRead read = ovrel::ReadSessionRecord(text, "bench.svs");
    if (!read || ovrel::CheckLibraryImage(image)) state.SkipWithError("not mergeable");
    auto merged = ovrel::AppendSession(image, *read);
    benchmark::DoNotOptimize(merged);
    benchmark::DoNotOptimize(image);
  }
}
BENCHMARK(BM_Merge);

// 1 MB of 133-byte r replies, handed to the receiver in the port's 1024-byte
// reads, each frame completing an awaited read.
void BM_Receiver1MB(benchmark::State& state) {
  std::vector<std::uint8_t> stream;
  std::array<std::uint8_t, ovrel::kBlockSize> payload{};
  std::array<std::uint8_t, ovrel::kBlockSize + ovrel::kFrameOverhead> frame{};
  while (stream.size() + frame.size() <= 1 << 20) {
    payload[0] = static_cast<std::uint8_t>(stream.size());
    const int n = ovrel::BuildFrame(frame, ovrel::cmd::r, payload);
    stream.insert(stream.end(), frame.begin(), frame.begin() + n);
  }
  auto receiver = std::make_unique<ovrel::ReplyReceiver>();
  for (auto _ : state) {
    receiver->Restart();
    receiver->Await(ovrel::cmd::r);
    for (std::size_t at = 0; at < stream.size(); at += 1024) {
      const std::size_t n = std::min<std::size_t>(1024, stream.size() - at);
      receiver->Receive(std::span(stream).subspan(at, n));
    }
    benchmark::DoNotOptimize(receiver->Payload().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_Receiver1MB);

}  // namespace

BENCHMARK_MAIN();
