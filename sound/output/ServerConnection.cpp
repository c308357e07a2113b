#include "editor/SoundServerProbe.h"

#include <pulse/context.h>
#include <pulse/mainloop.h>

namespace ovrel {

SoundServerAnswer ProbeSoundServer(std::chrono::milliseconds timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + timeout;
  pa_mainloop* loop = pa_mainloop_new();
  if (!loop) return SoundServerAnswer::NoServer;
  pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Sorvani Ovrelware");
  SoundServerAnswer answer = SoundServerAnswer::NoServer;
  // The loop runs here, on this thread, and only until the deadline.
  if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
    answer = SoundServerAnswer::Silent;
    for (;;) {
      const pa_context_state_t state = pa_context_get_state(context);
      if (state == PA_CONTEXT_READY) {
        answer = SoundServerAnswer::Answered;
        break;
      }
      if (!PA_CONTEXT_IS_GOOD(state)) {
        answer = SoundServerAnswer::NoServer;
        break;
      }
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      if (pa_mainloop_prepare(loop, static_cast<int>(left.count())) < 0 ||
          pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
        break;
    }
    pa_context_disconnect(context);
  }
  if (context) pa_context_unref(context);
  pa_mainloop_free(loop);
  return answer;
}

}  // namespace ovrel
