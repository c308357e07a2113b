#include "sound/output/ServerConnection.h"

#include <pulse/context.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace ovrel::sound {

namespace {

void Woken(pa_context*, void* connection) {
  static_cast<ServerConnection*>(connection)->Wake();
}

}  // namespace

ServerConnection::ServerConnection() : loop_(pa_threaded_mainloop_new()) {
  if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
    pa_threaded_mainloop_free(loop_);
    loop_ = nullptr;
  }
}

ServerConnection::~ServerConnection() {
  if (!loop_) return;
  Lock();
  if (context_) {
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  Unlock();
  pa_threaded_mainloop_stop(loop_);
  pa_threaded_mainloop_free(loop_);
}

SoundServerAnswer ServerConnection::Connect(std::chrono::milliseconds timeout) {
  if (!loop_) return SoundServerAnswer::NoServer;
  Lock();
  context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Sorvani Ovrelware");
  SoundServerAnswer answer = SoundServerAnswer::NoServer;
  if (context_) {
    pa_context_set_state_callback(context_, Woken, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
      const bool settled = WaitFor(
          [this] {
            const pa_context_state_t state = pa_context_get_state(context_);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
          },
          timeout);
      if (!settled)
        answer = SoundServerAnswer::Silent;
      else if (pa_context_get_state(context_) == PA_CONTEXT_READY)
        answer = SoundServerAnswer::Answered;
    }
  }
  Unlock();
  return answer;
}

void ServerConnection::Lock() {
  pa_threaded_mainloop_lock(loop_);
}
void ServerConnection::Unlock() {
  pa_threaded_mainloop_unlock(loop_);
}
void ServerConnection::Wake() {
  pa_threaded_mainloop_signal(loop_, 0);
}

bool ServerConnection::WaitFor(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
  // A timer on the server's thread wakes the wait at the deadline.
  pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
  timeval at{};
  pa_timeval_add(pa_gettimeofday(&at), static_cast<pa_usec_t>(timeout.count()) * PA_USEC_PER_MSEC);
  timedOut_ = false;
  pa_time_event* deadline = api->time_new(
      api, &at,
      [](pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        auto* connection = static_cast<ServerConnection*>(self);
        connection->timedOut_ = true;
        connection->Wake();
      },
      this);
  bool ok = true;
  while (!done()) {
    if (timedOut_) {
      ok = false;
      break;
    }
    pa_threaded_mainloop_wait(loop_);
  }
  api->time_free(deadline);
  return ok;
}

}  // namespace ovrel::sound
