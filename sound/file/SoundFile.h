#pragma once
// A session's sound written to a WAV, FLAC or Ogg Vorbis file through
// libsndfile, block by block, with the project's atomic writer: the file
// appears complete under its name or not at all.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "fileio/AtomicFile.h"
#include "session/Session.h"
#include "sound/SessionSynth.h"

namespace ovrel::sound {

enum class SoundFileFormat {
  Wav,   // 16-bit PCM, dithered (RF64 when longer than a WAV file
         // can hold: over 4 GB, about 6.7 hours at 44100 Hz)
  Flac,  // 16-bit, dithered
  Ogg,   // Vorbis
};

// The format a file name's extension (.wav, .flac, .ogg, any case) asks for.
std::optional<SoundFileFormat> SoundFileFormatOf(const std::string& path);

// Whether libsndfile writes format at rate samples a second.
bool FormatTakesRate(SoundFileFormat format, int rate);

// Told after each block how many frames of how many are written; returning
// false stops the write and discards the file.
using SoundFileProgress = std::function<bool(int64_t done, int64_t total)>;

// Renders ses with settings into path in format.
FileWriteResult WriteSoundFile(const Session& ses, const SynthSettings& settings,
                               SoundFileFormat format, const std::string& path,
                               const SoundFileProgress& progress = {});

}  // namespace ovrel::sound
