#pragma once
// Waiting on the GLib main context in the live tests: a condition, never a fixed time.

#include <glib.h>

#include <chrono>
#include <functional>

namespace vxlive::test {

// Runs the main context until done() holds or timeout_ms passes; the result of done().
inline bool WaitFor(const std::function<bool()> &done, int timeout_ms = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    // Wakes at least every 20 ms to look again.
    GSource *tick = g_timeout_source_new(20);
    g_source_set_callback(tick, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(tick, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(tick);
    g_source_unref(tick);
  }
  return true;
}

}  // namespace vxlive::test
