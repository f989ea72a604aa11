/* A software capture card: a driver that implements the card's device object and its five
 * interfaces in-process, registered with the library's COM layer, so that the whole OSD path
 * runs on any machine. Frames the library pushes are checked like a strict driver would,
 * counted, kept (the last one), optionally written to a file or pipe, and completed at once
 * or after a latency from a driver thread.
 *
 * Threads: the report functions (counters, properties, frames, log, live objects, faults) may
 * be called from any thread, and the card's objects lock their own state. Install and
 * Uninstall belong to one thread, the host's: on Windows Install registers the card's class in
 * the installing thread's COM apartment (a library on another thread reaches the card only
 * through the DLL's registration), and Install's CoInitialize is undone by the Uninstall on
 * that thread (a thread already in the multithreaded apartment keeps its own initialisation).
 * On Linux the card is the process's, whichever thread installed it. Functions that report on
 * the card return 0 (or an empty result) while no card is installed.
 *
 * On Linux the card is libvxvirtualcard.so (pkg-config vxvirtualcard, CMake VXOSD::virtualcard),
 * which registers with the COM layer libvxosd.so probes (libvxcom.so, shared by both); it
 * serves only once installed. On Windows it is
 * a DLL of its own, vxvirtualcard.dll: a COM in-process server (regsvr32 registers it) which the
 * library reaches through CoCreateInstance, as a real card's driver. There:
 * - when COM asks the registered DLL for the card and none is installed, a card with the
 *   default options is installed by the DLL itself (Installed() reports it, and the report
 *   functions read it), so any host gets the card just by its registration;
 * - Install replaces that default card (objects a client took from it refuse frames from then
 *   on: install before the library is initialised) and also registers the card's class object
 *   in the installing thread's apartment, so that the library on that thread reaches this copy
 *   of the DLL even when another file (or none) is registered; Install still returns 0 while a
 *   card installed by a host is installed;
 * - Uninstall ends either card; the registered DLL installs a default one when next asked;
 * - the DLL is not unloaded (DllCanUnloadNow) while a card object or class factory is alive,
 *   the factory is locked, a card installed with a latency runs its driver thread, or frames
 *   are held under VXVC_FAULT_NO_COMPLETION. */
#ifndef VXOSD_VIRTUALCARD_H
#define VXOSD_VIRTUALCARD_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VXVC_API __attribute__((visibility("default")))
#else
#define VXVC_API
#endif

/* Where received frames go. */
enum {
  VXVC_SINK_NONE = 0,
  VXVC_SINK_RAW = 1,  /* each frame stream as received, back to back */
  VXVC_SINK_RGBA = 2  /* 640 x 480 RGBA per frame (A = colour level), converted through the
                         frame's own palette */
};

/* Fault injection, combined as bits. */
enum {
  VXVC_FAULT_CREATE = 0x01,        /* creating the device object fails */
  VXVC_FAULT_NO_OSD_PIN = 0x02,    /* the device has no OSD pin */
  VXVC_FAULT_DMA = 0x04,           /* driver-mapped allocation fails */
  VXVC_FAULT_NO_COMPLETION = 0x08, /* accepted frames are not completed while the fault is
                                      set; clearing it completes them (a card that resumes) */
  VXVC_FAULT_PROPERTIES = 0x10     /* property reads and writes fail */
};

typedef struct VxVirtualCardOptions {
  int sink;                /* VXVC_SINK_* */
  const char *sink_path;   /* file or named pipe, created/truncated; used when sink_fd < 0 */
  int sink_fd;             /* an open descriptor (a pipe to a video tool); not closed; -1 */
  uint32_t latency_ms;     /* 0: complete during the submission; else from a driver thread */
  uint32_t faults;         /* VXVC_FAULT_* */
  uint32_t version;        /* value of property 446 (default 9) */
  uint32_t flags;          /* initial value of property 422 (default 0x60) */
  /* Called on the submitting thread for every accepted frame, before it completes. */
  void (*on_frame)(void *user);
  void *user;
} VxVirtualCardOptions;

typedef struct VxVirtualCardCounters {
  uint64_t frames_received;  /* accepted submissions */
  uint64_t bytes_received;   /* their frame bytes */
  uint64_t pushes_refused;   /* malformed submissions, or submissions while stopped */
  uint64_t property_writes;  /* accepted property writes */
  uint64_t completions;      /* events signalled */
  uint64_t sink_errors;      /* failed sink writes (the sink is closed after the first) */
  uint32_t started;          /* the OSD stream is running */
  uint32_t dma_buffers;      /* driver-mapped buffers currently allocated */
  int32_t rect[4];           /* last rectangle written through property 822 */
} VxVirtualCardCounters;

/* Fills the defaults: no sink, sink_fd -1, no latency, no faults, version 9, flags 0x60. */
VXVC_API void VxVirtualCard_DefaultOptions(VxVirtualCardOptions *options);
/* Registers the card's class factory. Returns 0 when a card is already installed (on Windows:
 * one a host installed), the options are invalid, or the sink cannot be opened. Null options
 * mean the defaults. The card
 * initialises COM on the calling thread until it is uninstalled; on Windows it is reachable
 * from that thread's apartment, so install and use it on the host's thread. */
VXVC_API int VxVirtualCard_Install(const VxVirtualCardOptions *options);
/* Revokes the factory, stops the driver thread (pending and held completions are dropped) and
 * closes the sink. Objects still held by a client keep working but refuse frames. */
VXVC_API void VxVirtualCard_Uninstall(void);
VXVC_API int VxVirtualCard_Installed(void);
/* Replaces the fault bits of the installed card. Without VXVC_FAULT_NO_COMPLETION, the frames
 * held under it are completed before this returns. */
VXVC_API void VxVirtualCard_SetFaults(uint32_t faults);

VXVC_API int VxVirtualCard_GetCounters(VxVirtualCardCounters *out);
/* Current value of a property; returns 0 when the property was never read or written. */
VXVC_API int VxVirtualCard_GetProperty(uint32_t number, uint32_t *value);
/* The last accepted frame stream: copies up to `capacity` bytes and returns its length. */
VXVC_API size_t VxVirtualCard_LastFrame(uint8_t *dest, size_t capacity);
/* The 56 bytes of the last submitted frame request record, accepted or not; 0 if none. */
VXVC_API int VxVirtualCard_LastRequest(uint8_t record[56]);
/* The driver's call log, one call per line ("Run", "SetProperty 422 0x80000001", ...),
 * at most the last 256 calls. Copies up to capacity - 1 bytes plus a terminating zero and
 * returns the full length. */
VXVC_API size_t VxVirtualCard_GetLog(char *dest, size_t capacity);
VXVC_API void VxVirtualCard_ClearLog(void);
/* Card objects alive in the process (device, stream and its interfaces), installed or not. */
VXVC_API uint32_t VxVirtualCard_LiveObjects(void);

/* Converts one frame stream to a 640 x 480 RGBA picture (4 x 640 x 480 bytes), as the RGBA
 * sink does: pixels outside the stream's width and height are 0. Returns 0 for a malformed
 * stream. */
VXVC_API int VxVirtualCard_FrameToRGBA(const uint8_t *stream, size_t length, uint8_t *rgba);

#ifdef __cplusplus
}
#endif

#endif
