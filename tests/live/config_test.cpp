#include "live/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vxlive {
namespace {

namespace fs = std::filesystem;

// Stands in for GStreamer's parser: a fragment naming "nosuch" does not parse.
std::string FakeCheck(const std::string &fragment, bool) {
  return fragment.find("nosuch") != std::string::npos ? "no element \"nosuch\"" : "";
}

ServerConfig Parse(const std::string &text) { return ParseConfig(text, "test.conf", "/etc/show", FakeCheck); }

// The error a configuration stops with: line and reason.
ConfigError ErrorOf(const std::string &text) {
  try {
    Parse(text);
  } catch (const ConfigError &e) {
    return e;
  }
  ADD_FAILURE() << "no error for:\n" << text;
  return ConfigError("", 0, "");
}

constexpr const char *kChannel = "[channel main]\nsource=videotestsrc\n";

TEST(Config, AFullConfigurationIsRead) {
  const ServerConfig c = Parse(
      "# a show\n"
      "[server]\n"
      "listen=0.0.0.0:9000   # every interface\n"
      "token=s3cret-Token_1\n"
      "state=state\n"
      "osc=127.0.0.1:8089\n"
      "osc_from=192.168.1.20, 10.0.0.1\n"
      "[channel main]\n"
      "source=videotestsrc is-live=true ! video/x-raw,width=1280,height=720\n"
      "output=autovideosink\n"
      "output3=fakesink\n"
      "output2=filesink location=a#b\n");
  EXPECT_EQ(c.listen.host, "0.0.0.0");
  EXPECT_EQ(c.listen.port, 9000);
  EXPECT_EQ(c.token, "s3cret-Token_1");
  EXPECT_EQ(c.state_dir, "/etc/show/state");
  ASSERT_TRUE(c.osc);
  EXPECT_EQ(c.osc->port, 8089);
  EXPECT_EQ(c.osc_from, (std::vector<std::string>{"192.168.1.20", "10.0.0.1"}));
  ASSERT_EQ(c.channels.size(), 1u);
  EXPECT_EQ(c.channels[0].name, "main");
  EXPECT_EQ(c.channels[0].source, "videotestsrc is-live=true ! video/x-raw,width=1280,height=720");
  // Outputs in their numbers' order; a '#' without a space before it is not a comment.
  EXPECT_EQ(c.channels[0].outputs, (std::vector<std::string>{"autovideosink", "filesink location=a#b", "fakesink"}));
  EXPECT_EQ(c.channels[0].line, 8);
}

TEST(Config, DefaultsApplyToKeysLeftOut) {
  const ServerConfig c = Parse(kChannel);
  EXPECT_EQ(c.listen.ToString(), "127.0.0.1:8088");
  EXPECT_TRUE(c.token.empty());
  EXPECT_FALSE(c.osc);
  EXPECT_EQ(c.state_dir, DefaultStateDir());
  EXPECT_EQ(c.channels[0].outputs, std::vector<std::string>{"fakesink"});
}

TEST(Config, TheBuiltInDefaultIsValid) {
  for (bool display : {true, false}) {
    const ServerConfig c = Parse(DefaultConfigText(display));
    EXPECT_EQ(c.listen.ToString(), "127.0.0.1:8088");
    ASSERT_EQ(c.channels.size(), 1u);
    EXPECT_EQ(c.channels[0].name, "main");
    EXPECT_EQ(c.channels[0].outputs[0], display ? "autovideosink" : "fakesink");
  }
}

TEST(Config, EveryErrorNamesItsLineAndReason) {
  struct Case {
    std::string text;
    int line;
    const char *reason;
  };
  const Case cases[] = {
      {"[server]\nlisten=127.0.0.1:8088\nport=1\n", 3, "unknown key \"port\" in [server]"},
      {"[server]\nlisten=localhost\n", 2, "is not HOST:PORT"},
      {"[server]\nlisten=example.com:80\n", 2, "is not an IP address"},
      {"[server]\nlisten=127.0.0.1:70000\n", 2, "is not a port"},
      {"[server]\nlisten=::1:80\n", 2, "[ADDRESS]:PORT"},
      {"[server]\nlisten=0.0.0.0:8088\n", 2, "a token= is required"},
      {"[server]\ntoken=has space\n", 2, "token:"},
      {"[server]\nosc=nowhere\n", 2, "osc:"},
      {"[server]\nosc_from=10.0.0.1,somebody\n", 2, "\"somebody\" is not an IP address"},
      {"[server]\nstate=\n", 2, "state:"},
      {"[server]\nlisten=127.0.0.1:1\nlisten=127.0.0.1:2\n", 3, "given twice"},
      {"[sever]\n", 1, "unknown group [sever]"},
      {"[server]\njust words\n", 2, "is not KEY=VALUE"},
      {"key=1\n", 1, "before the first [group]"},
      {"[channel a b]\nsource=x\n", 1, "channel name"},
      {"[channel main]\noutput=fakesink\n", 1, "needs a source="},
      {"[channel main]\nsource=nosuch ! fakesink\n", 2, "source: no element"},
      {"[channel main]\nsource=videotestsrc\noutput=nosuch\n", 3, "output: no element"},
      {"[channel main]\nsource=videotestsrc\noutput3=fakesink\n", 3, "output3 without output"},
      {"[channel main]\nsource=videotestsrc\noutput=fakesink\noutput01=fakesink\n", 4, "unknown key \"output01\""},
      {"[channel main]\nsource=videotestsrc\nsorce=x\n", 3, "unknown key \"sorce\""},
      {"[channel main]\nsource=videotestsrc\nscene=/no/such.scene\n", 3, "scene: cannot read /no/such.scene"},
      {"[channel main]\nsource=videotestsrc\n[channel main]\nsource=videotestsrc\n", 3, "given twice"},
      {"[server]\n", 0, "no [channel NAME] group"},
  };
  for (const Case &c : cases) {
    const ConfigError e = ErrorOf(c.text);
    EXPECT_EQ(e.line, c.line) << c.text << e.what();
    EXPECT_NE(e.reason.find(c.reason), std::string::npos) << c.text << " gave: " << e.what();
    EXPECT_EQ(e.file, "test.conf");
  }
}

TEST(Config, SeveralChannelsRunInOneProcessUpToTheBound) {
  std::string text;
  for (std::size_t i = 0; i < kMaxChannelsPerProcess; ++i)
    text += "[channel c" + std::to_string(i) + "]\nsource=videotestsrc\n";
  EXPECT_EQ(Parse(text).channels.size(), kMaxChannelsPerProcess);
  const ConfigError e = ErrorOf(text + "[channel one_more]\nsource=videotestsrc\n");
  EXPECT_EQ(e.line, static_cast<int>(2 * kMaxChannelsPerProcess + 1));
  EXPECT_NE(e.reason.find("at most 16 channels"), std::string::npos) << e.what();
}

TEST(Config, ASceneWithABadLineNamesTheSceneLine) {
  const fs::path scene = fs::temp_directory_path() / ("vxosd-config-" + std::to_string(getpid()) + ".scene");
  std::ofstream(scene) << "AddVxComponent a 0\nNoSuchCall a\n";
  const ConfigError e = ErrorOf(std::string(kChannel) + "scene=" + scene.string() + "\n");
  fs::remove(scene);
  EXPECT_EQ(e.line, 3);
  EXPECT_NE(e.reason.find(scene.string() + ":2: unknown call"), std::string::npos) << e.what();
}

TEST(Config, LoopbackAddresses) {
  HostPort hp;
  std::string why;
  for (const char *a : {"127.0.0.1:1", "127.8.9.1:1", "localhost:1", "[::1]:1"}) {
    ASSERT_TRUE(ParseHostPort(a, hp, why)) << a << why;
    EXPECT_TRUE(hp.loopback()) << a;
  }
  for (const char *a : {"0.0.0.0:1", "192.168.1.2:1", "[::]:1"}) {
    ASSERT_TRUE(ParseHostPort(a, hp, why)) << a << why;
    EXPECT_FALSE(hp.loopback()) << a;
  }
  EXPECT_NO_THROW(Parse(std::string("[server]\nlisten=[::]:80\ntoken=t\n") + kChannel));
}

TEST(Config, AFileThatCannotBeReadIsAnError) {
  EXPECT_THROW(LoadConfigFile("/no/such/file.conf", FakeCheck), ConfigError);
  EXPECT_THROW(LoadConfigFile("/tmp", FakeCheck), ConfigError);
}

}  // namespace
}  // namespace vxlive
