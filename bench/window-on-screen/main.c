/* Times how long a program takes until its window is on screen: drawn, not
 * only mapped. Starts COMMAND, waits for a top-level window titled TITLE to
 * be mapped, then reads the pixel at (5, 5) of that window until it has the
 * colour RED,GREEN,BLUE that the program paints there, prints the
 * milliseconds since the start and ends the program.
 *   window-on-screen TITLE RED,GREEN,BLUE COMMAND [ARGUMENT...]
 * Exit status: 0 when timed, 1 on a wrong call or no display, 2 when the
 * program ended first, 3 when nothing showed within 30 s.
 * One X client that listens for the map and then reads one pixel at a time
 * sees the window far closer to when it appears than polling with a new
 * client per look would. */
#define _POSIX_C_SOURCE 200809L
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>

static double NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)now.tv_sec * 1000.0 + (double)now.tv_nsec / 1e6;
}

static xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, (uint16_t)strlen(name), name), NULL);
  xcb_atom_t atom = reply ? reply->atom : XCB_ATOM_NONE;
  free(reply);
  return atom;
}

/* Whether the window's title (_NET_WM_NAME, else WM_NAME) is exactly title. */
static int HasTitle(xcb_connection_t* x, xcb_window_t window, xcb_atom_t netName,
                    const char* title) {
  const xcb_atom_t names[2] = {netName, XCB_ATOM_WM_NAME};
  for (int i = 0; i < 2; ++i) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, names[i], XCB_GET_PROPERTY_TYPE_ANY, 0, 256), NULL);
    if (!reply) continue;
    const int length = xcb_get_property_value_length(reply);
    const int same = length > 0 && (size_t)length == strlen(title) &&
                     memcmp(xcb_get_property_value(reply), title, (size_t)length) == 0;
    free(reply);
    if (same) return 1;
  }
  return 0;
}

/* Whether the pixel at (5, 5) of the window has the colour; 0 while the
 * window cannot be read yet. */
static int PixelIs(xcb_connection_t* x, xcb_window_t window, const unsigned rgb[3]) {
  xcb_get_image_reply_t* reply = xcb_get_image_reply(
      x, xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 5, 5, 1, 1, 0xffffffffu), NULL);
  if (!reply) return 0;
  const uint8_t* bgrx = xcb_get_image_data(reply);
  const int same = xcb_get_image_data_length(reply) >= 3 && bgrx[2] == rgb[0] &&
                   bgrx[1] == rgb[1] && bgrx[0] == rgb[2];
  free(reply);
  return same;
}

int main(int argc, char** argv) {
  unsigned rgb[3];
  if (argc < 4 || sscanf(argv[2], "%u,%u,%u", &rgb[0], &rgb[1], &rgb[2]) != 3) {
    fputs("usage: window-on-screen TITLE RED,GREEN,BLUE COMMAND [ARGUMENT...]\n", stderr);
    return 1;
  }
  const char* title = argv[1];
  xcb_connection_t* x = xcb_connect(NULL, NULL);
  if (xcb_connection_has_error(x)) {
    fputs("window-on-screen: no display\n", stderr);
    return 1;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, root, XCB_CW_EVENT_MASK, &mask);
  const xcb_atom_t netName = Atom(x, "_NET_WM_NAME"); /* a round trip: the mask is in force */

  const double start = NowMs();
  const pid_t program = fork();
  if (program == 0) {
    execvp(argv[3], argv + 3);
    perror(argv[3]);
    _exit(127);
  }
  int status = 1;
  xcb_window_t target = XCB_WINDOW_NONE;
  while (NowMs() - start < 30000.0) {
    if (waitpid(program, NULL, WNOHANG) == program) {
      fprintf(stderr, "window-on-screen: %s ended before its window showed\n", argv[3]);
      xcb_disconnect(x);
      return 2;
    }
    xcb_generic_event_t* event;
    while ((event = xcb_poll_for_event(x)) != NULL) {
      if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && target == XCB_WINDOW_NONE) {
        const xcb_window_t mapped = ((xcb_map_notify_event_t*)event)->window;
        if (HasTitle(x, mapped, netName, title)) target = mapped;
      }
      free(event);
    }
    if (xcb_connection_has_error(x)) break;
    if (target != XCB_WINDOW_NONE && PixelIs(x, target, rgb)) {
      printf("%.1f\n", NowMs() - start);
      status = 0;
      break;
    }
    if (target == XCB_WINDOW_NONE) {
      struct pollfd wait = {xcb_get_file_descriptor(x), POLLIN, 0};
      poll(&wait, 1, 2);
    } else {
      const struct timespec pause = {0, 250000};
      nanosleep(&pause, NULL);
    }
  }
  if (status != 0) fprintf(stderr, "window-on-screen: no window \"%s\" drawn in 30 s\n", title);
  kill(program, SIGTERM);
  waitpid(program, NULL, 0);
  xcb_disconnect(x);
  return status == 0 ? 0 : 3;
}
