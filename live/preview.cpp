#include "live/preview.h"

#include <string>

namespace vxlive {

PreviewHub::PreviewHub(std::function<void(std::size_t)> viewers_changed) : viewers_changed_(std::move(viewers_changed)) {}

PreviewHub::~PreviewHub() { CloseAll(); }

void PreviewHub::AddViewer(SoupServerMessage *msg) {
  soup_server_message_set_status(msg, SOUP_STATUS_OK, nullptr);
  SoupMessageHeaders *h = soup_server_message_get_response_headers(msg);
  soup_message_headers_set_content_type(
      h, (std::string("multipart/x-mixed-replace;boundary=") + kBoundary).c_str(), nullptr);
  soup_message_headers_replace(h, "Cache-Control", "no-cache, no-store");
  soup_message_headers_set_encoding(h, SOUP_ENCODING_CHUNKED);
  // Written parts are freed, not kept for the length of the response.
  soup_message_body_set_accumulate(soup_server_message_get_response_body(msg), FALSE);
  viewers_.push_back({this, msg});
  Viewer &v = viewers_.back();
  g_object_ref(msg);
  v.wrote_id = g_signal_connect(msg, "wrote-body-data", G_CALLBACK(OnWrote), &v);
  v.finished_id = g_signal_connect(msg, "finished", G_CALLBACK(OnFinished), &v);
  v.disconnected_id = g_signal_connect(msg, "disconnected", G_CALLBACK(OnFinished), &v);
  soup_server_message_pause(msg);
  viewers_changed_(viewers_.size());
}

void PreviewHub::OnWrote(SoupServerMessage *, guint size, gpointer data) {
  auto *v = static_cast<Viewer *>(data);
  v->pending = v->pending > size ? v->pending - size : 0;
}

void PreviewHub::OnFinished(SoupServerMessage *, gpointer data) {
  auto *v = static_cast<Viewer *>(data);
  v->hub->Remove(v);
}

void PreviewHub::Remove(Viewer *v) {
  g_signal_handler_disconnect(v->msg, v->wrote_id);
  g_signal_handler_disconnect(v->msg, v->finished_id);
  g_signal_handler_disconnect(v->msg, v->disconnected_id);
  g_object_unref(v->msg);
  viewers_.remove_if([&](const Viewer &o) { return &o == v; });
  viewers_changed_(viewers_.size());
}

void PreviewHub::Broadcast(GBytes *jpeg, std::uint64_t running_time_ns) {
  const gsize size = g_bytes_get_size(jpeg);
  const std::string head = std::string("--") + kBoundary + "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                           std::to_string(size) + "\r\nX-Running-Time: " + std::to_string(running_time_ns) + "\r\n\r\n";
  for (Viewer &v : viewers_) {
    if (v.pending > kMaxPendingBytes) {
      ++dropped_;
      continue;
    }
    SoupMessageBody *body = soup_server_message_get_response_body(v.msg);
    soup_message_body_append(body, SOUP_MEMORY_COPY, head.data(), head.size());
    soup_message_body_append_bytes(body, jpeg);
    soup_message_body_append(body, SOUP_MEMORY_STATIC, "\r\n", 2);
    v.pending += head.size() + size + 2;
    soup_server_message_unpause(v.msg);
    ++sent_;
  }
}

void PreviewHub::CloseAll() {
  while (!viewers_.empty()) {
    Viewer &v = viewers_.front();
    SoupServerMessage *msg = v.msg;
    g_object_ref(msg);
    soup_message_body_complete(soup_server_message_get_response_body(msg));
    soup_server_message_unpause(msg);
    if (!viewers_.empty() && viewers_.front().msg == msg) Remove(&viewers_.front());
    g_object_unref(msg);
  }
}

}  // namespace vxlive
