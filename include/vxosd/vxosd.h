/* VXOSD: on-screen-display overlays for a video capture card, as a C interface.
 *
 * A host calls InitVxOSD first, then any of the other calls, and FreeVxOSD last, all on one
 * thread, and runs that thread's message loop (VxOSD_ProcessMessages, or poll VxOSD_EventFd):
 * every 60 ms the library composes the visible components into one 640 x 480 frame over the
 * key colour 0x00FF00 and hands it to the capture card, or, without a card, to the frame
 * callback. Components are addressed by name: an 8-bit, zero-terminated string compared byte
 * for byte; the newest of several components with one name is the one addressed. "root" names
 * no component; SetVxComponent_Color("root", ...) sets the level of the background colour.
 *
 * Types: texts, font faces, file paths and the access code are zero-terminated UTF-16
 * (uint16_t code units); colours are 0x00BBGGRR; a rectangle is four int32_t: left, top,
 * right, bottom; flags and kinds are 32-bit arguments of which only the low byte is read.
 * Results are one byte: 1 when the call was carried out (for a component call: the named
 * component exists and the call applies to its kind), 0 otherwise. Nothing ever throws across
 * this interface: a failed call returns 0 and VxOSD_GetLastError says why (for example an
 * unreadable picture file).
 *
 * Every call but InitVxOSD (and the host helpers) returns 0 before InitVxOSD, after FreeVxOSD,
 * and on another thread than the one that called InitVxOSD. Null names, texts, rectangles and
 * device contexts are refused with 0. A second InitVxOSD without FreeVxOSD first frees the
 * running library (its components are destroyed) and then starts a fresh one; it is refused
 * on another thread than the running library's. */
#ifndef VXOSD_VXOSD_H
#define VXOSD_VXOSD_H

#include <stdint.h>

#if defined(_WIN32) && !defined(VXOSD_BUILD_DLL)
/* A device context: a window's or a memory DC of the host, or one made by
 * VxOSD_CreateBufferDC. */
#include <windows.h>
#else
/* A device context: on Linux one made by VxOSD_CreateBufferDC. (The library's own sources
 * see <windows.h>'s declaration of it without the rest of that header.) */
typedef struct HDC__ *HDC;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* On 32-bit Windows every function is stdcall, exported under its plain name (InitVxOSD, not
 * InitVxOSD@0); link with the import library libvxosd.dll.a (or use vxosd.def), or load the
 * DLL with LoadLibraryW and GetProcAddress by the plain names. */
#if defined(_WIN32) && !defined(_WIN64)
#define VXOSD_CALL __stdcall
#else
#define VXOSD_CALL
#endif

#if defined(_WIN32) && defined(VXOSD_BUILD_DLL)
#define VXOSD_API /* the library's .def file names the exports */
#elif defined(_WIN32)
#define VXOSD_API __declspec(dllimport)
#elif defined(__GNUC__)
#define VXOSD_API __attribute__((visibility("default")))
#else
#define VXOSD_API
#endif

/* Component kinds for AddVxComponent. */
enum {
  VXOSD_PANEL = 0,
  VXOSD_SCROLLTEXT = 1,
  VXOSD_TEXT = 2,
  VXOSD_PICTURE = 3,
  VXOSD_DATETIME = 4
};

/* Starts the library: probes for the capture card, starts the 60 ms cycle and gives the key
 * colour level 0. Returns 1 when the card's OSD channel was found, 0 when the library runs
 * without a card (or the call was refused; VxOSD_GetLastError then says why). */
VXOSD_API uint8_t VXOSD_CALL InitVxOSD(void);
/* Stops the cycle and releases the card, the frame, every component and the Debug View.
 * Returns 1 (0 when nothing was running, or on another thread). */
VXOSD_API uint8_t VXOSD_CALL FreeVxOSD(void);

VXOSD_API uint8_t VXOSD_CALL AddVxComponent(const char *name, int32_t kind);
VXOSD_API uint8_t VXOSD_CALL DelVxComponent(const char *name);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Pos(const char *name, int32_t x, int32_t y, int32_t w,
                                                int32_t h);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Color(const char *name, int32_t color, int32_t level);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Font(const char *name, const uint16_t *face,
                                                 int32_t color, int32_t size);
/* The first flag is ignored; the second shows (non-zero low byte) or hides. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Visible(const char *name, int32_t ignored,
                                                    int32_t visible);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Text(const char *name, const uint16_t *text);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Time(const char *name, int32_t ms);
/* Measures text in the component's font; rect receives left, top, right, bottom. */
VXOSD_API uint8_t VXOSD_CALL GetVxComponent_TextRect(const char *name, const uint16_t *text,
                                                     int32_t rect[4]);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextStep(const char *name, int32_t step);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextScroll(const char *name, int32_t scroll);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextMode(const char *name, int32_t mode);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextGradual(const char *name, int32_t color1,
                                                        int32_t color2);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextHtml(const char *name, int32_t html);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_RandomColor(const char *name, int32_t color1,
                                                        int32_t color2, int32_t color3,
                                                        int32_t color4, int32_t color5);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_RandomTextColor(const char *name, int32_t color1,
                                                            int32_t color2, int32_t color3,
                                                            int32_t color4, int32_t color5);
/* Accepted for compatibility; changes nothing (1 when the component exists). */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextFile(const char *name, int32_t ignored);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicFile(const char *name, const uint16_t *path);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitFile(const char *name, const uint16_t *path,
                                                         int32_t count);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitTextPos(const char *name, int32_t x,
                                                            int32_t step);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitShow(const char *name, int32_t index);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicMovie(const char *name, const uint16_t *path,
                                                     int32_t first, int32_t last);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicTime(const char *name, int32_t ms);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_MovieTime(const char *name, int32_t ms, int32_t loop);

/* Copies the current frame (640 x 480) to (0, 0) of dc. Works with or without a card and
 * whether or not the cycle runs; the frame holds what the last cycle composed. On Windows dc
 * may be any device context of the host's (a window's, or a memory DC with a bitmap selected;
 * GDI converts the colours to its format), or one made by VxOSD_CreateBufferDC. */
VXOSD_API void VXOSD_CALL SetVxOSD_Debug(HDC dc);
/* Opens the "Debug View" window (a real window on Windows, and on Linux when a display is
 * available) when code is the access code; a wrong code changes nothing and returns 0. The
 * window's 640 x 480 client area shows each composed frame; closing it hides it, and the next
 * accepted call shows it again. */
VXOSD_API uint8_t VXOSD_CALL SetVxOSD_DebugView(const uint16_t *code);

/* ---- Host helpers, for hosts without a Windows message loop and for deterministic runs ---- */

/* Runs the timer events due on this thread, waiting at most max_wait_ms for the first (never
 * waiting on the manual clock). Returns how many ran. */
VXOSD_API uint32_t VXOSD_CALL VxOSD_ProcessMessages(uint32_t max_wait_ms);
/* A descriptor that is readable when a timer event of this thread is due (for poll loops);
 * -1 when none is available (always on Windows, where the thread's message loop runs the
 * timers). */
VXOSD_API int VXOSD_CALL VxOSD_EventFd(void);
/* Before InitVxOSD: with on != 0, the next InitVxOSD runs the library on a manual clock that
 * moves only through VxOSD_AdvanceClock; with 0, on real time (the default). */
VXOSD_API void VXOSD_CALL VxOSD_UseManualClock(uint8_t on);
/* On the manual clock: moves time by ms, firing each due event at its own due time. Returns
 * how many ran (0 on real time or on another thread than InitVxOSD's). */
VXOSD_API uint32_t VXOSD_CALL VxOSD_AdvanceClock(uint32_t ms);
/* A device context over host memory: width x height 32-bit pixels, B, G, R, X in each, rows
 * top-down stride bytes apart (stride >= 4 * width). The memory must outlive the context.
 * Returns null for bad arguments. */
VXOSD_API HDC VXOSD_CALL VxOSD_CreateBufferDC(void *bgra, int32_t width, int32_t height,
                                              int32_t stride);
VXOSD_API void VXOSD_CALL VxOSD_DeleteDC(HDC dc);
/* The output of a cycle without a card: cb receives the composed frame as a frame stream
 * (8-byte header, 1024-byte A/Y/Cb/Cr palette with the colour levels, 640 x 480 palette
 * indices), valid during the call only. Null cb switches the output off. Set it before
 * InitVxOSD or on the library's thread (elsewhere it is refused while the library runs); it
 * is called on the library's thread. Calling FreeVxOSD or InitVxOSD from inside cb is
 * refused. With a card the frames go to the card instead. */
/* The callback uses the C calling convention (cdecl), on 32-bit Windows as well. */
typedef void (*VxOSD_FrameCallback)(const uint8_t *frame_stream, uint32_t size, void *user);
VXOSD_API void VXOSD_CALL VxOSD_SetFrameCallback(VxOSD_FrameCallback cb, void *user);
/* The message of the last failed call on this thread, as UTF-8: copies at most size - 1 bytes
 * (a message cut short ends at a character boundary) and a terminating zero into utf8 (when
 * size > 0) and returns the message's full length in bytes; 0 when no call failed. */
VXOSD_API uint32_t VXOSD_CALL VxOSD_GetLastError(char *utf8, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif /* VXOSD_VXOSD_H */
