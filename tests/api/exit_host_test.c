/* Hosts that leave without FreeVxOSD, with the software card installed: each mode is one
 * process (CTest runs it with a time limit), which must end at once with status 0. A process
 * that hangs at exit (spinning on card state destroyed before the library) or crashes there
 * fails the test.
 *
 *   main      the main thread inits, runs two cycles and returns from main
 *   exit      the same, leaving through exit() from a function deep in the host
 *   orphan    a worker thread inits, runs two cycles and ends; main returns
 *   pending   as orphan, but the card never completes: the worker ends with a push pending
 *   latency   a card that completes 40 ms late on the manual clock: every push waits for it
 *             (in real time), nothing is reported stalled, then main returns */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include "drivers/virtualcard/virtualcard.h"
#include "tests/api/c_check.h"
#include "vxosd/vxosd.h"

static uint32_t latency_ms = 0;
static uint32_t faults = 0;

static VxVirtualCardCounters Counters(void) {
  VxVirtualCardCounters c;
  VxVirtualCard_GetCounters(&c);
  return c;
}

static int LastErrorMentions(const char *text) {
  char message[512];
  VxOSD_GetLastError(message, sizeof message);
  return strstr(message, text) != NULL;
}

/* Installs the card and runs a library for two cycles on the calling thread, leaving it
 * running. (On Windows the card's class is registered in the installing thread's apartment,
 * so the thread that inits installs.) */
static void RunTwoCycles(void) {
  VxVirtualCardOptions options;
  VxVirtualCard_DefaultOptions(&options);
  options.latency_ms = latency_ms;
  options.faults = faults;
  CHECK(VxVirtualCard_Install(&options) == 1);
  VxOSD_UseManualClock(1);
  if (faults) CHECK(VxOSD_SetCardWaitLimit(50) == 1);
  CHECK(InitVxOSD() == 1);
  CHECK(VxOSD_GetStatus() == VXOSD_STATUS_CARD);
  CHECK(VxOSD_AdvanceClock(60) == 1);
  CHECK(VxOSD_AdvanceClock(60) == 1);
}

#ifdef _WIN32
static DWORD WINAPI Worker(void *unused) {
  (void)unused;
  RunTwoCycles();
  return 0;
}
static void RunOnWorker(void) {
  HANDLE thread = CreateThread(NULL, 0, Worker, NULL, 0, NULL);
  CHECK(thread != NULL);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}
#else
static void *Worker(void *unused) {
  (void)unused;
  RunTwoCycles();
  return NULL;
}
static void RunOnWorker(void) {
  pthread_t thread;
  CHECK(pthread_create(&thread, NULL, Worker, NULL) == 0);
  pthread_join(thread, NULL);
}
#endif

static void LeaveThroughExit(void) { exit(CheckResult()); }

int main(int argc, char **argv) {
  const char *mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "main") == 0) {
    RunTwoCycles();
    CHECK(Counters().frames_received == 2);
  } else if (strcmp(mode, "exit") == 0) {
    RunTwoCycles();
    LeaveThroughExit();
  } else if (strcmp(mode, "orphan") == 0) {
    RunOnWorker();
#ifndef _WIN32
    /* The worker's library was freed as its thread ended: the card is free for this one. (On
     * Windows the card was registered in the worker's apartment, which ended with it.) */
    CHECK(InitVxOSD() == 1);
    CHECK(FreeVxOSD() == 1);
#endif
  } else if (strcmp(mode, "pending") == 0) {
    faults = VXVC_FAULT_NO_COMPLETION;
    RunOnWorker();
    CHECK(Counters().frames_received == 1); /* the first push is still held by the card */
  } else if (strcmp(mode, "latency") == 0) {
    VxVirtualCardCounters c;
    latency_ms = 40;
    RunTwoCycles();
    CHECK(!LastErrorMentions("did not complete"));
    c = Counters();
    CHECK(c.frames_received == 2 && c.completions == 2);
  } else {
    fprintf(stderr, "usage: %s main|exit|orphan|pending|latency\n", argv[0]);
    return 2;
  }
  return CheckResult();
}
