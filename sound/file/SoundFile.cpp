#include "sound/file/SoundFile.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

namespace ovrel::sound {

namespace {

// Frames a block: 64 KB of 16-bit stereo.
constexpr std::size_t kBlockFrames = 16384;

// The most a WAV file's 32-bit sizes describe, less room for its header.
constexpr int64_t kMaxWavDataBytes = 0xFFFFFFFFll - 4096;

// libsndfile's format for a file of frames frames.
int SndFormat(SoundFileFormat format, int64_t frames = 0) {
  switch (format) {
    case SoundFileFormat::Wav:
      // A plain WAV file while it fits, as more players read it.
      return (frames * 4 > kMaxWavDataBytes ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    case SoundFileFormat::Flac:
      return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    case SoundFileFormat::Ogg:
      return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  }
  return 0;
}

// libsndfile's input and output on the temporary file's descriptor, keeping
// the first error the system reported: libsndfile itself reports some
// failed writes (those of the last pages, the header) only as a bad close
// or not at all.
struct Output {
  int Fd;
  int Error = 0;
};

sf_count_t Length(void* user) {
  struct stat st {};
  return ::fstat(static_cast<Output*>(user)->Fd, &st) == 0 ? st.st_size : -1;
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  return ::lseek(static_cast<Output*>(user)->Fd, offset, whence);
}

sf_count_t Read(void* ptr, sf_count_t count, void* user) {
  Output& out = *static_cast<Output*>(user);
  for (;;) {
    const ssize_t n = ::read(out.Fd, ptr, static_cast<size_t>(count));
    if (n >= 0) return n;
    if (errno != EINTR) return 0;
  }
}

sf_count_t Write(const void* ptr, sf_count_t count, void* user) {
  Output& out = *static_cast<Output*>(user);
  const char* bytes = static_cast<const char*>(ptr);
  sf_count_t done = 0;
  while (done < count && out.Error == 0) {
    const ssize_t n = ::write(out.Fd, bytes + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) out.Error = n < 0 ? errno : ENOSPC;
    else done += n;
  }
  return done;
}

sf_count_t Tell(void* user) { return ::lseek(static_cast<Output*>(user)->Fd, 0, SEEK_CUR); }

}  // namespace

std::optional<SoundFileFormat> SoundFileFormatOf(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return std::nullopt;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "wav") return SoundFileFormat::Wav;
  if (ext == "flac") return SoundFileFormat::Flac;
  if (ext == "ogg") return SoundFileFormat::Ogg;
  return std::nullopt;
}

bool FormatTakesRate(SoundFileFormat format, int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 2;
  info.format = SndFormat(format);
  return rate >= MinRate && rate <= MaxRate && sf_format_check(&info) == SF_TRUE;
}

FileWriteResult WriteSoundFile(const Session& ses, const SynthSettings& settings,
                               SoundFileFormat format, const std::string& path,
                               const SoundFileProgress& progress) {
  AtomicFileStream file(path);
  if (!file.IsOpen()) return file.Error();
  Output out{file.Descriptor()};
  SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
  SessionSynth synth(ses, settings);
  SF_INFO info{};
  info.samplerate = settings.Rate;
  info.channels = 2;
  info.format = SndFormat(format, synth.TotalFrames());
  SNDFILE* snd = sf_open_virtual(&io, SFM_WRITE, &info, &out);
  if (!snd) return file.Discard(out.Error != 0 ? out.Error : EINVAL);
  if (format == SoundFileFormat::Ogg) {
    double quality = 0.5;
    sf_command(snd, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  }

  const bool pcm = format != SoundFileFormat::Ogg;
  std::vector<int16_t> samples(pcm ? 2 * kBlockFrames : 0);
  std::vector<float> floats(pcm ? 0 : 2 * kBlockFrames);
  bool stopped = false;
  while (!synth.Finished() && out.Error == 0) {
    const auto frames = static_cast<sf_count_t>(pcm ? synth.Render16(samples.data(), kBlockFrames)
                                                    : synth.Render(floats.data(), kBlockFrames));
    const sf_count_t written = pcm ? sf_writef_short(snd, samples.data(), frames)
                                   : sf_writef_float(snd, floats.data(), frames);
    if (written != frames && out.Error == 0) out.Error = EIO;
    if (progress && !progress(synth.Position(), synth.TotalFrames())) {
      stopped = true;
      break;
    }
  }
  if (sf_close(snd) != 0 && out.Error == 0) out.Error = EIO;
  if (stopped) return file.Discard(EINTR);
  if (out.Error != 0) return file.Discard(out.Error);
  return file.Commit();
}

}  // namespace ovrel::sound
