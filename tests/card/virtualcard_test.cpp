// The software card as a strict driver: malformed submissions, sinks, uninstalling.

#include "drivers/virtualcard/virtualcard.h"

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "card_fixture.h"
#include "imaging/osd_graphic.h"
#include "platform/canvas.h"

namespace vx::test {
namespace {

std::string TempPath(const char *name) {
  static const std::string run = std::to_string(std::random_device{}());
  return (std::filesystem::temp_directory_path() / ("vxosd_" + run + "_" + name)).string();
}

#ifdef _WIN32
int MakePipe(int fds[2]) { return _pipe(fds, 4096, _O_BINARY); }
void CloseFd(int fd) { _close(fd); }
#else
int MakePipe(int fds[2]) { return pipe(fds); }
void CloseFd(int fd) { close(fd); }
#endif

std::vector<std::uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Talks to the card's stream directly, as a driver's client, to submit whatever it likes.
class StreamClient {
 public:
  StreamClient() {
    CoInitialize(nullptr);
    IVxDevice *device = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_VxDevice, nullptr, CLSCTX_INPROC_SERVER, IID_IVxDevice,
                               reinterpret_cast<void **>(&device)),
              S_OK);
    if (device == nullptr) return;
    void *out = nullptr;
    EXPECT_EQ(device->GetPin(0, -2, kVxCategoryPinOSD, IID_IVxStream, &out), S_OK);
    device->Release();
    stream = static_cast<IVxStream *>(out);
    if (stream != nullptr) stream->Run();
  }
  ~StreamClient() {
    if (stream != nullptr) stream->Release();
    CoUninitialize();
  }
  // Submits with a fresh event; returns the result and whether the event was signalled.
  HRESULT Submit(TVxFrameRequest *request, bool &signalled) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, 1, 0, nullptr);
    const HRESULT hr = stream->Submit(request, &overlapped);
    signalled = WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0;
    CloseHandle(overlapped.hEvent);
    return hr;
  }
  IVxStream *stream = nullptr;
};

TVxFrameRequest Request(DWORD data, DWORD extent) {
  TVxFrameRequest r;
  std::memset(&r, 0, sizeof r);
  r.Length = 56;
  r.Count = 1;
  r.Header.Size = 48;
  r.Header.FrameExtent = extent;
  r.Header.Data = data;
  return r;
}

TEST_F(CardTest, MalformedSubmissionsAreCountedRefusedAndCompleted) {
  Install();
  StreamClient client;
  ASSERT_NE(client.stream, nullptr);
  auto frame = KeyFrame(64, 48);
  const DWORD extent = static_cast<DWORD>(frame.size());
  TCardAddress mapped(frame.data(), frame.size());

  std::vector<TVxFrameRequest> bad;
  bad.push_back(Request(mapped.Value(), extent));
  bad.back().Length = 52;
  bad.push_back(Request(mapped.Value(), extent));
  bad.back().Header.Size = 40;
  bad.push_back(Request(mapped.Value(), extent));
  bad.back().Count = 2;
  bad.push_back(Request(mapped.Value(), extent - 1));   // extent shorter than the stream
  bad.push_back(Request(mapped.Value(), extent + 64));  // beyond the mapped block
  bad.push_back(Request(0, extent));                    // no address
  bad.push_back(Request(mapped.Value() + 0x100, extent));  // a forged address
  bad.push_back(Request(mapped.Value(), 8));               // too short for any frame
  int refused = 0;
  for (TVxFrameRequest &r : bad) {
    bool signalled = false;
    EXPECT_LT(client.Submit(&r, signalled), 0) << refused;
    EXPECT_TRUE(signalled) << refused;  // the caller never waits for a refused frame
    ++refused;
  }
  bool signalled = false;
  EXPECT_EQ(client.Submit(nullptr, signalled), E_POINTER);
  ++refused;

  // A buffer that does not begin with a valid frame stream header.
  auto corrupt = frame;
  corrupt[0] = 0x42;
  TCardAddress corrupt_address(corrupt.data(), corrupt.size());
  TVxFrameRequest r = Request(corrupt_address.Value(), extent);
  EXPECT_LT(client.Submit(&r, signalled), 0);
  ++refused;
  corrupt = frame;
  corrupt[3] ^= 1;  // length field disagrees
  r = Request(corrupt_address.Value(), extent);
  EXPECT_LT(client.Submit(&r, signalled), 0);
  ++refused;
  corrupt = frame;
  corrupt[5] = 0;  // width 0
  EXPECT_LT(client.Submit(&r, signalled), 0);
  ++refused;

  EXPECT_EQ(Counters().pushes_refused, static_cast<std::uint64_t>(refused));
  EXPECT_EQ(Counters().frames_received, 0u);

  r = Request(mapped.Value(), extent);
  EXPECT_EQ(client.Submit(&r, signalled), S_OK);
  EXPECT_TRUE(signalled);
  EXPECT_EQ(Counters().frames_received, 1u);
  EXPECT_EQ(Counters().bytes_received, frame.size());
}

TEST_F(CardTest, FramesAreRefusedWhileTheStreamIsStopped) {
  Install();
  StreamClient client;
  client.stream->Halt();
  auto frame = KeyFrame(8, 8);
  TCardAddress mapped(frame.data(), frame.size());
  TVxFrameRequest r = Request(mapped.Value(), static_cast<DWORD>(frame.size()));
  bool signalled = false;
  EXPECT_LT(client.Submit(&r, signalled), 0);
  EXPECT_TRUE(signalled);
  EXPECT_EQ(Counters().pushes_refused, 1u);
}

TEST_F(CardTest, RawSinkReceivesEachFrameStream) {
  const std::string path = TempPath("raw.bin");
  options_.sink = VXVC_SINK_RAW;
  options_.sink_path = path.c_str();
  Install();
  const auto first = KeyFrame();
  const auto second = MakeFrameStream(640, 480, [](int x, int) { return std::uint8_t(x & 0xFF); });
  {
    TOSDCard card;
    std::memcpy(card.GetBuffer(), first.data(), first.size());
    card.PushFrame();
    std::memcpy(card.GetBuffer(), second.data(), second.size());
    card.PushFrame();
  }
  VxVirtualCard_Uninstall();
  auto expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(ReadFile(path), expected);
  std::remove(path.c_str());
}

TEST_F(CardTest, RgbaSinkDecodesBackToTheColoursDrawn) {
  const std::string path = TempPath("frame.rgba");
  options_.sink = VXVC_SINK_RGBA;
  options_.sink_path = path.c_str();
  Install();
  // Quadrants drawn on a frame: red, blue, white at level 0x80, and the key green at level 0.
  TOSDGraphic frame;
  frame.SetSize(640, 480);
  TCanvas &canvas = frame.Canvas();
  const std::pair<TRect, TColor> quadrants[] = {{Rect(0, 0, 320, 240), 0x0000FF},
                                                {Rect(320, 0, 640, 240), 0xFF0000},
                                                {Rect(0, 240, 320, 480), 0xFFFFFF},
                                                {Rect(320, 240, 640, 480), kKeyColor}};
  for (const auto &[rect, color] : quadrants) {
    canvas.Brush.Color = color;
    canvas.FillRect(rect);
  }
  frame.AddColorLevel("root", kKeyColor, 0);
  frame.AddColorLevel("caption", 0xFFFFFF, 0x80);
  {
    TOSDCard card;
    std::uint8_t *buffer = card.GetBuffer();
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(frame.SaveToFrameBytes(std::span(reinterpret_cast<std::byte *>(buffer),
                                               card.BufferSize())),
              card.BufferSize());
    card.PushFrame();
  }
  VxVirtualCard_Uninstall();
  const auto rgba = ReadFile(path);
  ASSERT_EQ(rgba.size(), 640u * 480 * 4);
  struct Expect {
    int x, y, r, g, b, a;
  };
  for (const Expect &e : {Expect{10, 10, 255, 0, 0, 255}, Expect{639, 0, 0, 0, 255, 255},
                          Expect{0, 479, 255, 255, 255, 0x80}, Expect{400, 300, 0, 255, 0, 0}}) {
    const std::uint8_t *p = &rgba[(std::size_t(e.y) * 640 + e.x) * 4];
    EXPECT_NEAR(p[0], e.r, 3) << e.x << "," << e.y;
    EXPECT_NEAR(p[1], e.g, 3) << e.x << "," << e.y;
    EXPECT_NEAR(p[2], e.b, 3) << e.x << "," << e.y;
    EXPECT_EQ(p[3], e.a) << e.x << "," << e.y;
  }
  std::remove(path.c_str());
}

TEST(VirtualCardRgba, EveryPaletteColourSurvivesTheRoundTrip) {
  const auto frame = MakeFrameStream(256, 1, [](int x, int) { return std::uint8_t(x); });
  std::vector<std::uint8_t> rgba(640 * 480 * 4, 0xEE);
  ASSERT_EQ(VxVirtualCard_FrameToRGBA(frame.data(), frame.size(), rgba.data()), 1);
  for (int i = 0; i < 256; ++i) {
    int r, g, b;
    FrameColor(i, r, g, b);
    EXPECT_NEAR(rgba[4 * i], r, 3) << i;
    EXPECT_NEAR(rgba[4 * i + 1], g, 3) << i;
    EXPECT_NEAR(rgba[4 * i + 2], b, 3) << i;
    EXPECT_EQ(rgba[4 * i + 3], 255) << i;
  }
  EXPECT_EQ(rgba[4 * 640], 0);  // outside the stream: cleared
  EXPECT_EQ(VxVirtualCard_FrameToRGBA(frame.data(), frame.size() - 1, rgba.data()), 0);
  EXPECT_EQ(VxVirtualCard_FrameToRGBA(nullptr, 0, rgba.data()), 0);
}

TEST_F(CardTest, BrokenPipeClosesTheSinkWithoutKillingTheHost) {
  int fds[2];
  ASSERT_EQ(MakePipe(fds), 0);
  CloseFd(fds[0]);  // nobody reads
  options_.sink = VXVC_SINK_RAW;
  options_.sink_fd = fds[1];
  Install();
  {
    TOSDCard card;
    std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
    card.PushFrame();
    card.PushFrame();
  }
  EXPECT_EQ(Counters().sink_errors, 1u);
  EXPECT_EQ(Counters().frames_received, 2u);
  VxVirtualCard_Uninstall();
  CloseFd(fds[1]);
}

TEST_F(CardTest, InstallRefusesBadOptionsAndSecondCards) {
  options_.sink = 7;
  EXPECT_EQ(VxVirtualCard_Install(&options_), 0);
  options_.sink = VXVC_SINK_RAW;
  options_.sink_path = nullptr;
  EXPECT_EQ(VxVirtualCard_Install(&options_), 0);
  options_.sink_path = "/nonexistent-dir/x/y";
  EXPECT_EQ(VxVirtualCard_Install(&options_), 0);
  EXPECT_EQ(VxVirtualCard_Install(nullptr), 1);
  EXPECT_EQ(VxVirtualCard_Install(nullptr), 0);
  EXPECT_EQ(VxVirtualCard_Installed(), 1);
}

TEST_F(CardTest, UninstallWhileHeldRefusesFramesWithoutBlocking) {
  Install();
  TOSDCard::SetWaitLimit(kCardPushWaitMs);
  TOSDCard card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  VxVirtualCard_Uninstall();
  const auto before = std::chrono::steady_clock::now();
  card.PushFrame();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
  VxVirtualCardCounters c;
  EXPECT_EQ(VxVirtualCard_GetCounters(&c), 0);
  EXPECT_EQ(VxVirtualCard_LastFrame(nullptr, 0), 0u);
}

TEST_F(CardTest, FaultsCanChangeWhileInstalled) {
  Install();
  TOSDCard card;
  std::memcpy(card.GetBuffer(), KeyFrame().data(), 308232);
  VxVirtualCard_SetFaults(VXVC_FAULT_NO_COMPLETION);
  card.PushFrame();
  EXPECT_EQ(Counters().completions, 0u);
  VxVirtualCard_SetFaults(VXVC_FAULT_NO_COMPLETION | VXVC_FAULT_DMA);  // still holding
  EXPECT_EQ(Counters().completions, 0u);
  VxVirtualCard_SetFaults(0);  // the held frame is completed now
  EXPECT_EQ(Counters().completions, 1u);
  card.PushFrame();
  EXPECT_EQ(Counters().completions, 2u);
  EXPECT_EQ(Counters().frames_received, 2u);
}

}  // namespace
}  // namespace vx::test
