// The element's library thread: work runs there, one piece at a time, and what it throws comes
// back to the caller.
#include "gst/library_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace {

using vxgst::LibraryThread;

TEST(LibraryThreadTest, WorkRunsOnTheLibrarysOwnThread) {
  LibraryThread library;
  std::thread::id first, second;
  library.Run([&] { first = std::this_thread::get_id(); });
  library.Run([&] { second = std::this_thread::get_id(); });
  EXPECT_NE(first, std::this_thread::get_id());
  EXPECT_EQ(first, second);
}

// A throwing job used to end the process (std::terminate on the library's thread) or leave
// the caller waiting for ever; now the caller gets the exception and the thread serves on.
TEST(LibraryThreadTest, AThrowingJobThrowsToTheCallerAndTheThreadGoesOn) {
  LibraryThread library;
  EXPECT_THROW(library.Run([] { throw std::runtime_error("job failed"); }), std::runtime_error);
  EXPECT_THROW(library.Run([] { throw 42; }), int);
  int ran = 0;
  library.Run([&] { ++ran; });
  EXPECT_EQ(ran, 1);
}

// Work that hands more work to the same thread (a callback of the library that reaches the
// element again) runs it at once instead of waiting for itself.
TEST(LibraryThreadTest, AReentrantCallRunsAtOnce) {
  LibraryThread library;
  std::thread::id outer, inner;
  library.Run([&] {
    outer = std::this_thread::get_id();
    library.Run([&] { inner = std::this_thread::get_id(); });
  });
  EXPECT_EQ(outer, inner);
  EXPECT_THROW(library.Run([&] { library.Run([] { throw std::runtime_error("inner"); }); }), std::runtime_error);
}

// Callers on several threads take turns.
TEST(LibraryThreadTest, CallersOnSeveralThreadsTakeTurns) {
  LibraryThread library;
  int count = 0;  // touched on the library's thread only
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t)
    callers.emplace_back([&] {
      for (int i = 0; i < 250; ++i) library.Run([&] { ++count; });
    });
  for (std::thread &t : callers) t.join();
  int seen = 0;
  library.Run([&] { seen = count; });
  EXPECT_EQ(seen, 1000);
}

}  // namespace
