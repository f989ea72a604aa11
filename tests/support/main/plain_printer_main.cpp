// The tests' main on Windows. GoogleTest's default printer reports a failure through the
// debugger channel as well, which ends the process when 32-bit code runs under qemu; this
// printer writes to stdout only, in the default printer's format.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

namespace {

class PlainPrinter : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &t) override {
    std::printf("[ RUN      ] %s.%s\n", t.test_suite_name(), t.name());
    std::fflush(stdout);
  }
  void OnTestPartResult(const testing::TestPartResult &r) override {
    if (r.failed() || r.skipped())
      std::printf("%s:%d: %s\n%s\n", r.file_name() != nullptr ? r.file_name() : "unknown file",
                  r.line_number(), r.skipped() ? "Skipped" : "Failure", r.message());
    std::fflush(stdout);
  }
  void OnTestEnd(const testing::TestInfo &t) override {
    const char *status = t.result()->Skipped() ? " SKIPPED " : t.result()->Passed() ? "      OK " : " FAILED  ";
    std::printf("[%s] %s.%s (%lld ms)\n", status, t.test_suite_name(), t.name(),
                static_cast<long long>(t.result()->elapsed_time()));
    std::fflush(stdout);
  }
  void OnTestProgramEnd(const testing::UnitTest &u) override {
    std::printf("[==========] %d tests ran: %d passed, %d failed, %d skipped.\n", u.test_to_run_count(),
                u.successful_test_count(), u.failed_test_count(), u.skipped_test_count());
    std::fflush(stdout);
  }
};

}  // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::TestEventListeners &listeners = testing::UnitTest::GetInstance()->listeners();
  std::unique_ptr<testing::TestEventListener> default_printer(
      listeners.Release(listeners.default_result_printer()));
  listeners.Append(std::make_unique<PlainPrinter>().release());  // the listener list owns it
  const int result = RUN_ALL_TESTS();
  // CTest runs one case per process, found by scanning the sources: a case that the build
  // left out must not pass by running nothing.
  if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
    std::printf("No test matched the filter.\n");
    return 1;
  }
  return result;
}
