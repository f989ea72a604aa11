#include "platform/com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace vx {
namespace {

const CLSID kClsid = *ParseGUID("{5D896824-4239-4DDB-AF13-C80936C246BD}");
const IID kIidWidget = *ParseGUID("8c0e7f3a-0b1d-4d2e-9f10-23456789abcd");
const CLSID kUnknownClsid = *ParseGUID("{00000000-0000-0000-0000-000000000001}");

std::atomic<int> g_live{0};

// On Windows these calls are the system's COM, whose class table follows its own rules where
// ours differ (which of two registrations wins, the error for an unknown cookie, classes
// registered in another thread's apartment).
#ifdef _WIN32
constexpr bool kSystemCom = true;
#else
constexpr bool kSystemCom = false;
#endif

struct IWidget : IUnknown {
  virtual int Value() = 0;

 protected:
  ~IWidget() = default;
};

class Widget final : public IWidget {
 public:
  explicit Widget(int value) : value_(value) { ++g_live; }
  ~Widget() { --g_live; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == kIidWidget) {
      *out = static_cast<IWidget *>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
  std::uint32_t STDMETHODCALLTYPE Release() override {
    std::uint32_t n = refs_.Release();
    if (n == 0) delete this;  // COM objects own themselves
    return n;
  }
  int Value() override { return value_; }

 private:
  RefCount refs_;
  int value_;
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(int value) : value_(value) { ++g_live; }
  ~Factory() { --g_live; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory *>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t STDMETHODCALLTYPE AddRef() override { return refs_.Add(); }
  std::uint32_t STDMETHODCALLTYPE Release() override {
    std::uint32_t n = refs_.Release();
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto *w = new Widget(value_);
    HRESULT hr = w->QueryInterface(iid, out);
    w->Release();  // the caller's reference (if any) is the only one left
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  RefCount refs_;
  int value_;
};

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CoInitialize(nullptr), S_OK); }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(g_live.load(), 0) << "COM objects leaked";
  }
  DWORD Register(int value, DWORD context = CLSCTX_INPROC_SERVER) {
    auto *f = new Factory(value);
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(kClsid, f, context, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    f->Release();  // the registry keeps it alive
    return cookie;
  }
};

TEST(Guid, ParsesWithOrWithoutBracesAndFormatsUpperCase) {
  auto g = ParseGUID("{5d896824-4239-4ddb-af13-c80936c246bd}");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Data1, 0x5D896824u);
  EXPECT_EQ(g->Data2, 0x4239);
  EXPECT_EQ(g->Data3, 0x4DDB);
  EXPECT_EQ(g->Data4[0], 0xAF);
  EXPECT_EQ(g->Data4[7], 0xBD);
  EXPECT_EQ(FormatGUID(*g), "{5D896824-4239-4DDB-AF13-C80936C246BD}");
  EXPECT_EQ(ParseGUID("5D896824-4239-4DDB-AF13-C80936C246BD"), g);
  EXPECT_EQ(FormatGUID(IID_IClassFactory), "{00000001-0000-0000-C000-000000000046}");
}

TEST(Guid, RejectsMalformedText) {
  for (const char *bad : {"", "{}", "{5D896824-4239-4DDB-AF13-C80936C246BD",
                          "5D896824-4239-4DDB-AF13-C80936C246BD}", "{5D896824-4239-4DDB-AF13-C80936C246BG}",
                          "{5D8968244-239-4DDB-AF13-C80936C246BD}", "{5D896824-4239-4DDB-AF13-C80936C246BD0}",
                          "{5D896824+4239-4DDB-AF13-C80936C246BD}"})
    EXPECT_FALSE(ParseGUID(bad)) << bad;
}

// In-process creation, as the library creates the card. (Asked for a local server too, the
// system's COM calls its RPC service for an unknown class; under Wine on qemu-i386 that
// traffic beside a second thread of the test's crashes the emulator now and then.)
TEST(CoInit, CountsPerThreadAndCreationNeedsIt) {
  void *out = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidWidget, &out),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(out, nullptr);
  CoUninitialize();  // unbalanced: harmless
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  HRESULT other_thread = S_OK;
  std::thread([&] {
    void *o = nullptr;
    other_thread = CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidWidget, &o);
  }).join();
  EXPECT_EQ(other_thread, CO_E_NOTINITIALIZED);
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kUnknownClsid, nullptr, CLSCTX_INPROC_SERVER, kIidWidget, &out),
            REGDB_E_CLASSNOTREG);
  CoUninitialize();
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidWidget, &out),
            CO_E_NOTINITIALIZED);
}

TEST_F(ComTest, CreatesThroughTheRegisteredFactoryUntilRevoked) {
  DWORD cookie = Register(7);
  IWidget *w = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, reinterpret_cast<void **>(&w)), S_OK);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->Value(), 7);

  // A later registration of the same class takes over; revoking it brings back the first.
  // (The system's COM keeps the first and hands out no second cookie.)
  if (kSystemCom) {
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(w->Release(), 0u);
    return;
  }
  DWORD second = Register(8);
  IWidget *w2 = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, reinterpret_cast<void **>(&w2)), S_OK);
  if (!kSystemCom) {
    EXPECT_EQ(w2->Value(), 8);
  }
  EXPECT_EQ(CoRevokeClassObject(second), S_OK);
  if (kSystemCom) {
    EXPECT_TRUE(FAILED(CoRevokeClassObject(second)));
  } else {
    EXPECT_EQ(CoRevokeClassObject(second), CO_E_OBJNOTREG);
  }
  w2->Release();

  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
  void *out = nullptr;
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, &out), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(w->Value(), 7);  // objects outlive their factory's registration
  EXPECT_EQ(w->Release(), 0u);
}

TEST_F(ComTest, CreationFailuresLeaveNothingBehind) {
  DWORD cookie = Register(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, nullptr), E_POINTER);
  void *out = reinterpret_cast<void *>(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  Widget outer(0);
  outer.AddRef();  // a stack object must never reach zero
  EXPECT_EQ(CoCreateInstance(kClsid, &outer, CLSCTX_ALL, kIidWidget, &out), CLASS_E_NOAGGREGATION);
  // A context the factory was not registered for.
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_LOCAL_SERVER, kIidWidget, &out), REGDB_E_CLASSNOTREG);
  DWORD bad_cookie = 99;
  EXPECT_EQ(CoRegisterClassObject(kClsid, nullptr, CLSCTX_ALL, 0, &bad_cookie), E_INVALIDARG);
  EXPECT_EQ(bad_cookie, 0u);
  EXPECT_EQ(CoRegisterClassObject(kClsid, &outer, CLSCTX_ALL, 0, nullptr), E_POINTER);
  if (kSystemCom) {
    EXPECT_TRUE(FAILED(CoRevokeClassObject(0)));
  } else {
    EXPECT_EQ(CoRevokeClassObject(0), CO_E_OBJNOTREG);
  }
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST_F(ComTest, ReferenceCountsAreThreadSafe) {
  DWORD cookie = Register(3);
  IWidget *w = nullptr;
  ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, reinterpret_cast<void **>(&w)), S_OK);
  // The two threads count their failures; the checks run on the test's thread afterwards.
  std::atomic<int> failures{0};
  std::atomic<int> arrived{0};
  auto work = [w, &failures, &arrived] {
    if (!kSystemCom && FAILED(CoInitialize(nullptr))) ++failures;  // S_FALSE on the test's thread
    // Both threads start counting together, not one after the other has finished.
    ++arrived;
    while (arrived.load() < 2) std::this_thread::yield();
    for (int k = 0; k < 100000; ++k) {
      w->AddRef();
      IUnknown *u = nullptr;
      if (w->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&u)) != S_OK || u == nullptr) {
        ++failures;
      } else {
        u->Release();
      }
      w->Release();
    }
    // Creation from several threads at once goes through the one registry (the system's
    // COM keeps a registration to its own thread's apartment).
    if (!kSystemCom) {
      IWidget *mine = nullptr;
      if (CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, kIidWidget, reinterpret_cast<void **>(&mine)) != S_OK)
        ++failures;
      else
        mine->Release();
      CoUninitialize();
    }
  };
  // The test's thread works too: two threads at once are enough for the race, and qemu-i386
  // runs Wine's guest threads reliably only a few at a time.
  std::thread other(work);
  work();
  other.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(w->AddRef(), 2u);
  EXPECT_EQ(w->Release(), 1u);
  EXPECT_EQ(w->Release(), 0u);
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

TEST(Events, ManualResetStaysSignalledUntilReset) {
  HANDLE e = CreateEventA(nullptr, 1, 0, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(e, 5), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(CloseHandle(e));
}

TEST(Events, AutoResetReleasesOneWait) {
  HANDLE e = CreateEventA(nullptr, 0, 1, nullptr);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
  CloseHandle(e);
}

TEST(Events, AnotherThreadSetsTheEventAWaitWithTimeoutIsWaitingFor) {
  HANDLE request = CreateEventA(nullptr, 1, 0, nullptr);
  HANDLE done = CreateEventA(nullptr, 1, 0, nullptr);
  // The worker waits for the request, then answers; both sides wait on events, never sleep.
  DWORD worker_wait = WAIT_FAILED;
  std::thread worker([&] {
    worker_wait = WaitForSingleObject(request, 20000);
    SetEvent(done);
  });
  EXPECT_EQ(WaitForSingleObject(done, 0), WAIT_TIMEOUT);
  SetEvent(request);
  EXPECT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);
  worker.join();
  EXPECT_EQ(worker_wait, WAIT_OBJECT_0);
  CloseHandle(request);
  CloseHandle(done);
}

TEST(Events, BadHandlesFailCleanly) {
  EXPECT_EQ(CreateEventA(nullptr, 1, 0, "named"), nullptr);
  HANDLE e = CreateEventA(nullptr, 1, 0, nullptr);
  EXPECT_TRUE(CloseHandle(e));
  EXPECT_FALSE(CloseHandle(e));
  EXPECT_FALSE(SetEvent(e));
  EXPECT_FALSE(ResetEvent(e));
  EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(nullptr, INFINITE), WAIT_FAILED);
  int not_an_event = 0;
  EXPECT_EQ(WaitForSingleObject(&not_an_event, 0), WAIT_FAILED);
  OVERLAPPED ov;
  EXPECT_EQ(ov.hEvent, nullptr);
}

// A driver may signal an event after the handle was closed: the late signal must find nothing,
// never a later event that was given the same value. (The system's kernel handles are reused
// after CloseHandle, so there the card channel keeps an event open until its driver completes.)
TEST(Events, AClosedHandleNeverNamesALaterEvent) {
  if (kSystemCom) GTEST_SKIP() << "the system reuses closed handle values";
  std::vector<HANDLE> closed;
  for (int i = 0; i < 64; ++i) {
    HANDLE e = CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_NE(e, nullptr);
    closed.push_back(e);
    CloseHandle(e);
  }
  HANDLE later = CreateEventA(nullptr, 1, 0, nullptr);
  for (HANDLE old : closed) {
    EXPECT_NE(old, later);
    EXPECT_FALSE(SetEvent(old));
  }
  EXPECT_EQ(WaitForSingleObject(later, 0), WAIT_TIMEOUT);
  CloseHandle(later);
}

}  // namespace
}  // namespace vx
