/* kwin-keys: presses evdev key codes through KWin's org_kde_kwin_fake_input, for the hot-key
   test. Usage: kwin-keys CODE...; a code with a leading '+' is held until the end (a
   modifier): kwin-keys +29 30 is Ctrl+A. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>
#include "fake-input-client-protocol.h"
static struct org_kde_kwin_fake_input* fake;
static void global(void* data, struct wl_registry* r, uint32_t name, const char* iface,
                   uint32_t v) {
  (void)data;
  if (!strcmp(iface, org_kde_kwin_fake_input_interface.name))
    fake = wl_registry_bind(r, name, &org_kde_kwin_fake_input_interface, v < 4 ? v : 4);
}
static void global_remove(void* data, struct wl_registry* r, uint32_t name) {
  (void)data;
  (void)r;
  (void)name;
}
static const struct wl_registry_listener listener = {global, global_remove};
int main(int argc, char** argv) {
  struct wl_display* dpy = wl_display_connect(NULL);
  if (!dpy) {
    fprintf(stderr, "no wayland display\n");
    return 1;
  }
  wl_registry_add_listener(wl_display_get_registry(dpy), &listener, NULL);
  wl_display_roundtrip(dpy);
  if (!fake) {
    fprintf(stderr, "no org_kde_kwin_fake_input\n");
    return 2;
  }
  if (wl_proxy_get_version((struct wl_proxy*)fake) < 4) {
    fprintf(stderr, "fake input < v4\n");
    return 3;
  }
  org_kde_kwin_fake_input_authenticate(fake, "test bed", "inject keys");
  wl_display_roundtrip(dpy);
  for (int i = 1; i < argc; i++) {
    int held = argv[i][0] == '+';
    uint32_t code = atoi(argv[i] + held);
    org_kde_kwin_fake_input_keyboard_key(fake, code, 1);
    if (!held) org_kde_kwin_fake_input_keyboard_key(fake, code, 0);
    wl_display_roundtrip(dpy);
    usleep(20000);
  }
  for (int i = argc - 1; i >= 1; i--)
    if (argv[i][0] == '+') org_kde_kwin_fake_input_keyboard_key(fake, atoi(argv[i] + 1), 0);
  wl_display_roundtrip(dpy);
  wl_display_disconnect(dpy);
  return 0;
}
