// The sound output library's one entry point (sound/SessionOutput.h).

#include "sound/output/SessionPlayer.h"

extern "C" __attribute__((visibility("default"))) ovrel::sound::SessionOutput*
ovrel_make_session_output_v1() {
  return new ovrel::sound::SessionPlayer;
}
