#pragma once
// The HTTP and WebSocket API on one port (libsoup 3, on the main loop). Every route is a small
// handler in one table, which also answers GET /api/v1: parse and check the whole request,
// hand it to the channel in one step, answer. WebSocket requests are a second table of the
// same kind; replies carry the request's id, events are a message kind of their own.

#include <libsoup/soup.h>

#include <memory>
#include <string>
#include <vector>

#include "live/channel.h"
#include "live/config.h"
#include "live/json.h"

namespace vxlive {

class WsClient;

// A request's failure as the API answers it: {"error": {"status", "message", "index"?}}.
struct ApiError {
  int status = 400;
  std::string message;
  int index = -1;  // the line a commands request failed on
};

class Api {
 public:
  Api(const ServerConfig &config, std::vector<std::unique_ptr<Channel>> &channels);
  ~Api();
  Api(const Api &) = delete;
  Api &operator=(const Api &) = delete;

  // Listens on the configured address; false with error.
  bool Listen(std::string &error);
  // The port actually listened on (the configured one, or the one chosen for port 0).
  int port() const { return port_; }

  // Pushes to the WebSocket clients that subscribed to the channel.
  void PushState(Channel &channel);
  void PushAsRun(Channel &channel, const AsRunEntry &entry);
  // Closes every WebSocket and preview (at shutdown).
  void CloseClients();

  // Bodies larger than this are answered 413.
  static constexpr gsize kMaxBody = 1 << 20;

  Channel *FindChannel(const std::string &name) const;
  // The folder the console's files are served from ("" when none was found).
  const std::string &console_dir() const { return console_dir_; }
  // {"lines": [...]} checked whole: the parsed steps, or the error to answer.
  bool ParseCommands(JsonNode *body, const Channel &channel, std::vector<vxscene::Step> &steps, ApiError &error) const;
  static JsonNode *CommandsResult(const Channel &channel, const ApplyOutcome &o);
  // A take, next, stop or undo: the commands result with the on-air cue and the undo levels.
  static JsonNode *ControlResult(const Channel &channel, const ApplyOutcome &o);
  // Runs a rundown or undo request ("take", "next", "stop", "undo"; id for a take).
  static void Control(Channel &channel, const std::string &action, const std::string &id, const std::string &source,
                      Channel::Reply reply);
  // A PUT's body checked whole and applied; the error to answer, status 0 when fine.
  static ApiError PutRundown(Channel &channel, JsonNode *body);
  static ApiError PutBindings(Channel &channel, JsonNode *body);
  static JsonNode *ErrorJson(const ApiError &e);
  JsonNode *ChannelsJson() const;
  JsonNode *Describe() const;

 private:
  friend class WsClient;
  static void OnRequest(SoupServer *, SoupServerMessage *msg, const char *path, GHashTable *query, gpointer data);
  static void OnWebSocketRequest(SoupServer *, SoupServerMessage *msg, const char *path, GHashTable *query, gpointer data);
  static void OnWebSocket(SoupServer *, SoupServerMessage *msg, const char *path, SoupWebsocketConnection *conn,
                          gpointer data);
  static void OnRequestStarted(SoupServer *, SoupServerMessage *msg, gpointer data);
  bool Authorized(SoupServerMessage *msg) const;
  bool ForeignOrigin(SoupServerMessage *msg) const;
  void Remove(WsClient *client);

  const ServerConfig &config_;
  std::vector<std::unique_ptr<Channel>> &channels_;
  SoupServer *server_ = nullptr;
  int port_ = 0;
  std::vector<std::unique_ptr<WsClient>> clients_;
  std::string console_dir_;
};

}  // namespace vxlive
