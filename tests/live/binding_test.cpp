// Live data bindings: every format read from bytes, the JSON checked whole, and the running
// binding against real files (watched) and a loopback HTTP server (polled): changes, failures
// that keep the last text, recovery, and the size and time limits. The main loop runs with a
// bounded wait for each condition.

#include "live/binding.h"
#include "tests/live/wait_for.h"

#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

namespace vxlive {
namespace {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()> &done, int timeout_ms = 5000) { return test::WaitFor(done, timeout_ms); }

std::string Value(const std::string &format, const std::string &select, const std::string &bytes) {
  BindingSettings s;
  s.format = format;
  s.select = select;
  return ExtractValue(s, bytes);
}

std::string Why(const std::string &format, const std::string &select, const std::string &bytes) {
  try {
    Value(format, select, bytes);
  } catch (const std::runtime_error &e) {
    return e.what();
  }
  return "";
}

TEST(BindingFormats, TextIsTheWholeTextWithoutItsLastLineBreak) {
  EXPECT_EQ(Value("text", "", "Live from the studio\r\n"), "Live from the studio");
  EXPECT_EQ(Value("text", "", "two\nlines\n"), "two\nlines");
  EXPECT_NE(Why("text", "", "\xff\xfe"), "");
}

TEST(BindingFormats, JsonPointerPicksAMember) {
  const std::string doc = R"({"items": [{"title": "First"}, {"title": "Second", "n": 3, "ok": true}], "a/b": {"~": 1.5}})";
  EXPECT_EQ(Value("json", "/items/1/title", doc), "Second");
  EXPECT_EQ(Value("json", "/items/1/n", doc), "3");
  EXPECT_EQ(Value("json", "/items/1/ok", doc), "true");
  EXPECT_EQ(Value("json", "/a~1b/~0", doc), "1.5");
  EXPECT_NE(Why("json", "/items/2/title", doc).find("nothing at /items/2"), std::string::npos);
  EXPECT_NE(Why("json", "/x", "{not json").find("not JSON"), std::string::npos);
}

TEST(BindingFormats, CsvTakesAColumnAndARowOrAllRowsJoined) {
  const std::string csv = "name,score\n\"Smith, J\",3\nLee,\"1\"\"0\"\n";
  EXPECT_EQ(Value("csv", "score,0", csv), "3");
  EXPECT_EQ(Value("csv", "name", csv), "Smith, J \xC2\xB7 Lee");
  EXPECT_EQ(Value("csv", "1,1", csv), "1\"0");
  EXPECT_NE(Why("csv", "age", csv).find("no column"), std::string::npos);
  EXPECT_NE(Why("csv", "name,5", csv).find("no row"), std::string::npos);
  EXPECT_NE(Why("csv", "name", "a,\"b\n"), "");
}

TEST(BindingFormats, RssAndAtomGiveTheFirstItemTitles) {
  const std::string rss = R"(<?xml version="1.0"?><rss version="2.0"><channel><title>Feed</title>
      <item><title> One &amp; only </title></item><item><title><![CDATA[Two]]></title></item><item><title>Three</title></item>
      </channel></rss>)";
  EXPECT_EQ(Value("rss", "2", rss), "One & only \xC2\xB7 Two");
  const std::string atom = R"(<feed xmlns="http://www.w3.org/2005/Atom"><title>F</title><entry><title>A1</title></entry></feed>)";
  EXPECT_EQ(Value("rss", "", atom), "A1");
  EXPECT_NE(Why("rss", "", "<rss><item><title>x</item></rss>").find("not an RSS"), std::string::npos);
  EXPECT_NE(Why("rss", "0", rss).find("number of titles"), std::string::npos);
}

TEST(BindingJson, RefusesWhatCannotRun) {
  auto why = [](const std::string &text) {
    std::string e;
    JsonNodePtr n = ParseJson(text, e);
    try {
      BindingsFromJson(n.get());
    } catch (const std::runtime_error &err) {
      return std::string(err.what());
    }
    return std::string();
  };
  EXPECT_EQ(why(R"({"bindings": [{"component": "t", "file": "/tmp/x", "format": "csv", "select": "a,1"}]})"), "");
  EXPECT_NE(why(R"({"bindings": [{"component": "t"}]})").find("one of"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "file": "x"}]})").find("absolute"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "url": "ftp://h/x"}]})").find("http"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "url": "http://h/", "interval_ms": 5}]})").find("interval_ms"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "file": "/x", "format": "xml"}]})").find("format"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "file": "/x", "template": "no value"}]})").find("{value}"), std::string::npos);
  EXPECT_NE(why(R"({"bindings": [{"component": "t", "file": "/x"}, {"component": "t", "file": "/y"}]})").find("another"), std::string::npos);
  EXPECT_EQ(ApplyTemplate("NEWS: {value} ({value})", "x"), "NEWS: x (x)");
}

// A binding as the channel runs it, with what it applied.
struct Running {
  std::vector<std::string> applied;
  int changes = 0;
  std::unique_ptr<Binding> binding;
  explicit Running(BindingSettings settings) {
    binding = std::make_unique<Binding>(std::move(settings), [this](const std::string &, const std::string &t) { applied.push_back(t); },
                                        [this] { ++changes; });
    binding->Start();
  }
  std::string error() const {
    JsonObject *o = binding->ToJson();
    std::string e = json_object_get_null_member(o, "error") ? "" : json_object_get_string_member(o, "error");
    json_object_unref(o);
    return e;
  }
};

class BindingRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("vxosd-binding-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string &text) {
    std::ofstream(dir_ / "feed.tmp") << text;
    fs::rename(dir_ / "feed.tmp", dir_ / "feed.txt");
  }
  fs::path dir_;
};

TEST_F(BindingRun, AWatchedFileFeedsEveryChangeAndKeepsTheLastGoodTextWhenItFails) {
  Write(R"({"t": "one"})");
  BindingSettings settings;
  settings.component = "tick";
  settings.file = (dir_ / "feed.txt").string();
  settings.format = "json";
  settings.select = "/t";
  settings.templ = "[{value}]";
  Running r(settings);
  ASSERT_TRUE(WaitFor([&] { return r.applied == std::vector<std::string>{"[one]"}; }));
  Write(R"({"t": "two"})");
  ASSERT_TRUE(WaitFor([&] { return r.applied.size() == 2 && r.applied[1] == "[two]"; }));
  Write("{broken");
  ASSERT_TRUE(WaitFor([&] { return r.error().find("not JSON") != std::string::npos; }));
  fs::remove(dir_ / "feed.txt");
  ASSERT_TRUE(WaitFor([&] { return r.error().find("gone") != std::string::npos; }));
  EXPECT_EQ(r.applied.size(), 2u);  // nothing applied while it fails
  Write(std::string(kMaxBindingBytes + 1, 'x'));
  ASSERT_TRUE(WaitFor([&] { return r.error().find("larger") != std::string::npos; }));
  Write(R"({"t": "three"})");
  ASSERT_TRUE(WaitFor([&] { return r.error().empty() && r.applied.back() == "[three]"; }));
}

// A loopback HTTP server whose answer the test sets: a body, a status, or no answer in time.
struct Feed {
  SoupServer *server = soup_server_new(nullptr, nullptr);
  std::string body = "<rss><channel><item><title>A</title></item><item><title>B</title></item></channel></rss>";
  int status = 200;
  bool slow = false;
  int requests = 0;
  int port = 0;
  Feed() {
    soup_server_add_handler(server, "/feed", [](SoupServer *, SoupServerMessage *msg, const char *, GHashTable *, gpointer d) {
      auto *f = static_cast<Feed *>(d);
      ++f->requests;
      if (f->slow) {
        // Held back longer than the binding waits; released later by the server's end.
        soup_server_message_pause(msg);
        return;
      }
      soup_server_message_set_status(msg, static_cast<guint>(f->status), nullptr);
      soup_server_message_set_response(msg, "application/rss+xml", SOUP_MEMORY_COPY, f->body.data(), f->body.size());
    }, this, nullptr);
    soup_server_listen_local(server, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr);
    GSList *uris = soup_server_get_uris(server);
    port = g_uri_get_port(static_cast<GUri *>(uris->data));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
  }
  ~Feed() {
    soup_server_disconnect(server);
    g_object_unref(server);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port) + "/feed"; }
};

TEST(BindingHttp, APolledUrlFailsWithinItsLimitsAndRecovers) {
  Feed feed;
  BindingSettings settings;
  settings.component = "tick";
  settings.url = feed.url();
  settings.format = "rss";
  settings.interval_ms = 300;
  Running r(settings);
  ASSERT_TRUE(WaitFor([&] { return !r.applied.empty() && r.applied.back() == "A \xC2\xB7 B"; }));
  feed.status = 500;
  ASSERT_TRUE(WaitFor([&] { return r.error().find("HTTP 500") != std::string::npos; }));
  feed.status = 200;
  feed.body = std::string(kMaxBindingBytes + 10, ' ');
  ASSERT_TRUE(WaitFor([&] { return r.error().find("larger") != std::string::npos; }));
  feed.slow = true;
  ASSERT_TRUE(WaitFor([&] { return r.error().find("no answer within 300 ms") != std::string::npos; }));
  feed.slow = false;
  feed.body = "<rss><channel><item><title>C</title></item></channel></rss>";
  ASSERT_TRUE(WaitFor([&] { return r.error().empty() && r.applied.back() == "C"; }));
  EXPECT_EQ(r.applied, (std::vector<std::string>{"A \xC2\xB7 B", "C"}));  // the last good text stayed meanwhile
}

}  // namespace
}  // namespace vxlive
