#pragma once
// The MJPEG preview of one channel: each JPEG the channel encodes once is handed to every
// viewer as one part of a multipart/x-mixed-replace response. A viewer that has not yet taken
// the previous frames drops this one: the pipeline never waits for a viewer, and what waits
// per viewer is bounded.

#include <cstdint>
#include <functional>
#include <list>

#include <glib.h>
#include <libsoup/soup.h>

namespace vxlive {

class PreviewHub {
 public:
  // Called with the number of viewers whenever it changes (the channel encodes only while
  // somebody watches).
  explicit PreviewHub(std::function<void(std::size_t)> viewers_changed);
  ~PreviewHub();
  PreviewHub(const PreviewHub &) = delete;
  PreviewHub &operator=(const PreviewHub &) = delete;

  // Starts the multipart response on msg and keeps it as a viewer until it goes away.
  void AddViewer(SoupServerMessage *msg);
  // One JPEG for every viewer (main thread), with the running time of its video frame (sent
  // as the part's X-Running-Time header, in ns, so a viewer can tell how late it is).
  void Broadcast(GBytes *jpeg, std::uint64_t running_time_ns);
  // Ends every viewer's response (at shutdown).
  void CloseAll();
  std::size_t viewers() const { return viewers_.size(); }
  std::uint64_t frames_sent() const { return sent_; }
  std::uint64_t frames_dropped() const { return dropped_; }

  static constexpr const char *kBoundary = "vxosdframe";
  // A viewer with more than this many bytes not yet written drops new frames.
  static constexpr gsize kMaxPendingBytes = 512 * 1024;

 private:
  struct Viewer {
    PreviewHub *hub;
    SoupServerMessage *msg;
    gsize pending = 0;
    gulong wrote_id = 0, finished_id = 0, disconnected_id = 0;
  };
  static void OnWrote(SoupServerMessage *msg, guint size, gpointer data);
  static void OnFinished(SoupServerMessage *msg, gpointer data);
  void Remove(Viewer *v);

  std::function<void(std::size_t)> viewers_changed_;
  std::list<Viewer> viewers_;
  std::uint64_t sent_ = 0, dropped_ = 0;
};

}  // namespace vxlive
