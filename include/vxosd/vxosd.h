/* VXOSD: on-screen-display overlays for a video capture card, as a C interface.
 *
 * A host calls InitVxOSD first, then any of the other calls, and FreeVxOSD last, all on one
 * thread, and runs that thread's message loop (VxOSD_ProcessMessages, or poll VxOSD_EventFd):
 * every 60 ms the library composes the visible components into one 640 x 480 frame over the
 * key colour 0x00FF00 and hands it to the capture card, or, without a card, to the frame
 * callback. Components are addressed by name: an 8-bit, zero-terminated string compared byte
 * for byte; the newest of several components with one name is the one addressed. "root" names
 * no component; SetVxComponent_Color("root", colour, level) records a level for a colour
 * (InitVxOSD gives the key colour 0x00FF00 level 0). docs/reference.md describes every call.
 *
 * Types: texts, font faces, file paths and the access code are zero-terminated UTF-16
 * (uint16_t code units); colours are 0x00BBGGRR; a rectangle is four int32_t: left, top,
 * right, bottom; flags and kinds are 32-bit arguments of which only the low byte is read.
 * Results are one byte: 1 when the call was carried out (for a component call: the named
 * component exists and the call applies to its kind), 0 otherwise. Nothing ever throws across
 * this interface: a failed call returns 0 and VxOSD_GetLastError says why (for example an
 * unreadable picture file).
 *
 * One library per thread. InitVxOSD on a thread starts THAT THREAD'S library; every other call
 * acts on the calling thread's library, and FreeVxOSD frees it. Any number of threads may each
 * run a library of their own at once (a pipeline with several overlays, a server with several
 * channels); a single-threaded host sees one library, as ever. A call on a thread without a
 * running library returns 0 with a message that says so. What belongs to which:
 * - per library (per thread): the components, the frame, the 60 ms cycle and the thread's
 *   timers, the manual clock and its start (VxOSD_UseManualClock, VxOSD_SetManualClockStart),
 *   the frame callback, the card wait limit, the Debug View, and the last-error message;
 * - per process, shared by the libraries and safe to use from all of them at once: fonts and
 *   the glyph cache, the palette maps, the device contexts of VxOSD_CreateBufferDC (delete
 *   one only when no library draws into it), and the capture card: the card goes to the first
 *   library whose InitVxOSD finds it, until that library is freed; a later library's
 *   InitVxOSD meanwhile returns 0, runs without the card, and says so (VxOSD_GetStatus gives
 *   VXOSD_STATUS_CARD_TAKEN; the message is "VxOSD: the capture card is held by the library
 *   of another thread; ...").
 * A thread that ends with its library running frees it as it ends. A process that exits with
 * libraries running (a host that returns from main or calls exit() without FreeVxOSD) ends at
 * once: the exiting thread's library is freed on the way (on Linux), the others are left to
 * the system.
 *
 * COM (Windows): InitVxOSD initialises COM on its thread with CoInitialize (a single-threaded
 * apartment) to reach the card's driver, and FreeVxOSD undoes exactly what that did. A thread
 * that is already in an apartment keeps it: one in the multithreaded apartment (a .NET worker,
 * a service thread) reaches the card from there, and its own COM initialisation is left
 * alone. Since the library's thread runs a message loop anyway, a single-threaded apartment
 * suits it best.
 *
 * With a card, each cycle hands the frame to the card's driver and waits, in real time
 * whichever clock the library runs on, until the driver has taken it, at most the wait limit
 * (20 seconds; VxOSD_SetCardWaitLimit). A card that does not complete a frame in that time
 * costs that one wait, not one per cycle: from then on the cycles keep composing the frame
 * (SetVxOSD_Debug and the Debug View show it) but send nothing to the card and do not wait,
 * until the driver completes the frame it holds (sending then resumes by itself) or the
 * library is restarted (FreeVxOSD, InitVxOSD). The stall is reported once, on the library's
 * thread, as the message of VxOSD_GetLastError: "VxOSD cycle: the capture card did not
 * complete a frame within 20000 ms; ..." (the limit in force). A cycle that fails (for example
 * for lack of memory) is reported there the same way.
 *
 * Every call but InitVxOSD (and the host helpers) returns 0 before InitVxOSD, after FreeVxOSD,
 * and on a thread without a library. Null names, texts, rectangles and device contexts are
 * refused with 0. A second InitVxOSD on a thread without FreeVxOSD first frees the thread's
 * running library (its components are destroyed) and then starts a fresh one. */
#ifndef VXOSD_VXOSD_H
#define VXOSD_VXOSD_H

/* The interface version. The major version is the library's SONAME (libvxosd.so.1): it
 * changes only when an existing call changes; new calls raise the minor version. */
#define VXOSD_VERSION_MAJOR 1
#define VXOSD_VERSION_MINOR 1
#define VXOSD_VERSION_PATCH 0
#define VXOSD_VERSION_STRING "1.1.0"

#include <stdint.h>

#if defined(_WIN32) && !defined(VXOSD_BUILD_DLL) && !defined(VXOSD_NO_WINDOWS_H)
/* A device context: a window's or a memory DC of the host, or one made by
 * VxOSD_CreateBufferDC. (A host source that defines VXOSD_NO_WINDOWS_H, for example one
 * that only takes the entry points' types to load the DLL at run time, gets the same HDC
 * without <windows.h>.) */
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
 * InitVxOSD@0). Link with the import library libvxosd.dll.a (MinGW), or make one from the
 * vxosd.def shipped beside the DLL, which lists the names with their stdcall decorations
 * (InitVxOSD@0) so that the import library maps a host's calls (_InitVxOSD@0) to the plain
 * exports: MSVC "lib /def:vxosd.def /machine:x86 /out:vxosd.lib", MinGW "dlltool -d vxosd.def
 * -l libvxosd.dll.a -k". Or load the DLL with LoadLibraryW and GetProcAddress by the plain
 * names. */
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

/* Text modes (SetVxComponent_TextMode) mean something else for each kind. */

/* A text (VXOSD_TEXT): its lines as they stand, or vertical, one CJK character per line.
 * Below 1 draws as 1, above 2 as 2. Default: VXOSD_TEXT_HORIZONTAL. */
enum {
  VXOSD_TEXT_HORIZONTAL = 1,
  VXOSD_TEXT_VERTICAL = 2
};

/* A scrolling text (VXOSD_SCROLLTEXT): the direction the text moves; the last two set it
 * vertically. Any other value never moves. Default: VXOSD_SCROLL_LEFT. */
enum {
  VXOSD_SCROLL_LEFT = 1,          /* right to left */
  VXOSD_SCROLL_RIGHT = 2,         /* left to right */
  VXOSD_SCROLL_UP = 3,            /* bottom to top */
  VXOSD_SCROLL_DOWN = 4,          /* top to bottom */
  VXOSD_SCROLL_UP_VERTICAL = 5,   /* bottom to top, one CJK character per line */
  VXOSD_SCROLL_DOWN_VERTICAL = 6  /* top to bottom, one CJK character per line */
};

/* A picture (VXOSD_PICTURE): where its caption (SetVxComponent_Text) goes. The two "beside"
 * and "below" modes widen or heighten the picture by a band of the key colour. Default:
 * VXOSD_CAPTION_CENTER. */
enum {
  VXOSD_CAPTION_CENTER = 0,      /* centred over the picture */
  VXOSD_CAPTION_OVER_LEFT = 1,   /* over the picture's left edge; a band is added on the right */
  VXOSD_CAPTION_RIGHT = 2,       /* in a band added on the right */
  VXOSD_CAPTION_OVER_TOP = 3,    /* over the picture's top edge; a band is added below */
  VXOSD_CAPTION_BELOW = 4        /* in a band added below */
};

/* A date-time clock (VXOSD_DATETIME): what it shows, one part per line. The default, 0, shows
 * NOTHING: a clock needs a mode from this list. Date and time follow the locale's short date
 * and long time formats; "week" is "week:" and the weekday number, 0 = Sunday. */
enum {
  VXOSD_CLOCK_NONE = 0,                 /* nothing (the default) */
  VXOSD_CLOCK_NOW = 1,                  /* date and time on one line */
  VXOSD_CLOCK_DATE = 2,                 /* date */
  VXOSD_CLOCK_TIME = 3,                 /* time */
  VXOSD_CLOCK_DATE_TIME = 4,            /* date / time */
  VXOSD_CLOCK_DATE_TIME_WEEK = 5,       /* date / time / week */
  VXOSD_CLOCK_LUNAR_DATE_TIME = 6,      /* lunar date / date / time */
  VXOSD_CLOCK_LUNAR = 7,                /* lunar date */
  VXOSD_CLOCK_LUNAR_TIME = 8,           /* lunar date / time */
  VXOSD_CLOCK_LUNAR_FESTIVAL = 9,       /* lunar date / festivals */
  VXOSD_CLOCK_LUNAR_FESTIVAL_TIME = 10, /* lunar date / festivals / time */
  VXOSD_CLOCK_ALL = 11                  /* lunar date / festivals / date / time / week */
};

/* Colours are 0x00BBGGRR: red is the LOW byte. VXOSD_RGB(255, 0, 0) is red, 0x0000FF. The
 * markup's color="#0000FF" is read the same way and is red too. */
#define VXOSD_RGB(r, g, b)                                                  \
  ((int32_t)((uint32_t)(uint8_t)(r) | ((uint32_t)(uint8_t)(g) << 8) | \
             ((uint32_t)(uint8_t)(b) << 16)))
/* Every frame is cleared with this colour; its colour level is 0 (clear) unless changed. */
#define VXOSD_KEY_COLOR 0x00FF00

/* The kinds of frame (VxOSD_SetFrameFormat). */
#define VXOSD_FRAME_PALETTE8 0 /* the card's frame: 640 x 480, fixed palette (the default) */
#define VXOSD_FRAME_ARGB32 1   /* true colour: premultiplied B, G, R, A, 16x16 .. 7680x4320 */

/* Starts the calling thread's library: probes for the capture card (unless another thread's
 * library holds it), starts the 60 ms cycle and gives the key colour level 0. Returns 1 when
 * the card's OSD channel was found. 0 means either that the library runs without a card or
 * that the call was refused: VxOSD_GetStatus() tells them apart (VXOSD_STATUS_NONE: refused,
 * and VxOSD_GetLastError says why, "InitVxOSD: ..."; VXOSD_STATUS_NO_CARD or
 * VXOSD_STATUS_CARD_TAKEN: running without a card). Refused only for lack of resources, or
 * inside the frame callback. With a true-colour frame (VxOSD_SetFrameFormat) the card is not
 * probed, as the card takes only the palette frame: the library runs without it, InitVxOSD
 * returns 0 and VxOSD_GetLastError says so. */
VXOSD_API uint8_t VXOSD_CALL InitVxOSD(void);
/* Stops the calling thread's cycle and releases its card, frame, components and Debug View.
 * Returns 1 (0 when this thread runs no library). Other threads' libraries run on. */
VXOSD_API uint8_t VXOSD_CALL FreeVxOSD(void);

/* Setters only store: a change shows when the component is next set visible (a clock also
 * redraws itself every second). Components added earlier are drawn OVER those added later. */

/* Adds a hidden component of a kind (VXOSD_PANEL ..; only the low byte is read). "root" and
 * kinds above 4 add nothing. */
VXOSD_API uint8_t VXOSD_CALL AddVxComponent(const char *name, int32_t kind);
/* Destroys the newest component of that name and drops the colour levels recorded for it. */
VXOSD_API uint8_t VXOSD_CALL DelVxComponent(const char *name);
/* Top-left corner in the 640 x 480 frame, pixels. w and h size panels and scrolling-text
 * windows (0 x 0 for a panel shows nothing); other kinds size themselves to their content. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Pos(const char *name, int32_t x, int32_t y, int32_t w,
                                                int32_t h);
/* Background colour (panel, text, scrolling text, clock) and its colour level, 0 (clear) to
 * 255 (opaque). The level belongs to the nearest palette colour in the WHOLE frame, not to
 * the component, until the component is deleted. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Color(const char *name, int32_t color, int32_t level);
/* Font face (UTF-16), colour, then size in points. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Font(const char *name, const uint16_t *face,
                                                 int32_t color, int32_t size);
/* The first flag is ignored; the second shows (non-zero low byte) or hides. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Visible(const char *name, int32_t ignored,
                                                    int32_t visible);
/* Text of a text or scrolling text, caption of a picture. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Text(const char *name, const uint16_t *text);
/* Show time: a text (ms) or a clock (whole seconds of ms / 1000) hides itself that long
 * after it was shown; 0 = no limit (the default). A panel stores it and ignores it. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_Time(const char *name, int32_t ms);
/* Measures text in the component's font; rect receives left, top, right, bottom. */
VXOSD_API uint8_t VXOSD_CALL GetVxComponent_TextRect(const char *name, const uint16_t *text,
                                                     int32_t rect[4]);
/* Scrolling text: pixels moved every 40 ms (default 3). */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextStep(const char *name, int32_t step);
/* Scrolling text: passes before it hides itself; 0 or less = endless (the default). */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextScroll(const char *name, int32_t scroll);
/* VXOSD_TEXT_*, VXOSD_SCROLL_*, VXOSD_CAPTION_* or VXOSD_CLOCK_*, by kind (see above). */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextMode(const char *name, int32_t mode);
/* Fills the glyphs with a gradient from color1 to color2 (horizontal text: left to right;
 * vertical: top to bottom). Two equal colours, or markup switched on after it, switch it
 * off; switched on after markup, the gradient is drawn. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextGradual(const char *name, int32_t color1,
                                                        int32_t color2);
/* Non-zero: the text is markup (<font size color face>, <b>, <i>, <u>, <br>, &lt; &gt; &amp;);
 * text before the first tag is not drawn. Switches the gradient off. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextHtml(const char *name, int32_t html);
/* Background (RandomColor) or font colour (RandomTextColor) picked from five at every
 * redraw; RandomColor records level 111 for each. SetVxComponent_Color switches both off. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_RandomColor(const char *name, int32_t color1,
                                                        int32_t color2, int32_t color3,
                                                        int32_t color4, int32_t color5);
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_RandomTextColor(const char *name, int32_t color1,
                                                            int32_t color2, int32_t color3,
                                                            int32_t color4, int32_t color5);
/* Accepted for compatibility; changes nothing (1 when the component exists). */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_TextFile(const char *name, int32_t ignored);
/* Picture: a BMP file (relative paths from the working directory). The colour of the
 * picture's bottom-left pixel is left out when it is drawn.
 * The picture calls: a file that is not there is no failure. SetVxComponent_PicFile,
 * SetVxComponent_PicSplitFile and SetVxComponent_PicMovie then return 1 and leave the
 * component empty (0 x 0: nothing shows), and VxOSD_GetLastError names the missing file. When
 * they read their picture they clear the message, so VxOSD_GetLastError(NULL, 0) right after
 * one of them is 0 exactly when its picture was found. A file that is there but is no
 * readable bitmap is a failure: 0, and the component keeps what it showed. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicFile(const char *name, const uint16_t *path);
/* Picture: a file of count equal parts side by side; part 0 shows. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitFile(const char *name, const uint16_t *path,
                                                         int32_t count);
/* Picture with VXOSD_CAPTION_RIGHT over a split file: caption x = x + step * part index. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitTextPos(const char *name, int32_t x,
                                                            int32_t step);
/* Picture: shows part index (0-based) of the split file. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicSplitShow(const char *name, int32_t index);
/* Picture movie: a path with one integer placeholder ("f%d.bmp": files first .. last), or,
 * without "%", a split file of `last` parts shown in turn. Runs while visible. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicMovie(const char *name, const uint16_t *path,
                                                     int32_t first, int32_t last);
/* Picture: hides itself ms after it was shown. The DEFAULT is 2000 ms; 0 = stays. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_PicTime(const char *name, int32_t ms);
/* Picture movie: ms per frame (default 1000); loop != 0 starts again after the last frame,
 * otherwise the movie hides itself after it. */
VXOSD_API uint8_t VXOSD_CALL SetVxComponent_MovieTime(const char *name, int32_t ms, int32_t loop);

/* Copies the current frame (640 x 480, the palette's RGB, no colour levels) to (0, 0) of dc.
 * A true-colour frame is copied as it is (premultiplied B, G, R and A into a device context
 * made by VxOSD_CreateBufferDC; to a system device context as composed over black), clipped
 * to the device context.
 * Works with or without a card and whether or not the cycle runs; the frame holds what the
 * last cycle composed, so a change made since shows only after the next cycle (60 ms). On
 * Windows dc may be any device context of the host's (a window's, or a memory DC with a bitmap
 * selected; GDI converts the colours to its format), or one made by VxOSD_CreateBufferDC. */
VXOSD_API void VXOSD_CALL SetVxOSD_Debug(HDC dc);
/* Opens the "Debug View" window (a real window on Windows, and on Linux when a display is
 * available) when code is the access code u"wqzbmk"; a wrong code changes nothing and returns
 * 0. The window's 640 x 480 client area shows each composed frame; closing it hides it, and
 * the next accepted call shows it again. */
VXOSD_API uint8_t VXOSD_CALL SetVxOSD_DebugView(const uint16_t *code);

/* ---- Host helpers, for hosts without a Windows message loop and for deterministic runs ---- */

/* Runs the timer events due on this thread, waiting at most max_wait_ms for the first (never
 * waiting on the manual clock). Returns how many ran. */
VXOSD_API uint32_t VXOSD_CALL VxOSD_ProcessMessages(uint32_t max_wait_ms);
/* A descriptor that is readable when a timer event of this thread is due (for poll loops);
 * -1 when none is available (always on Windows, where the thread's message loop runs the
 * timers). */
VXOSD_API int VXOSD_CALL VxOSD_EventFd(void);
/* Before InitVxOSD: with on != 0, this thread's next InitVxOSD runs its library on a manual
 * clock that moves only through VxOSD_AdvanceClock; with 0, on real time (the default). The
 * card's wait is real time on either clock, and does not move the manual clock. */
VXOSD_API void VXOSD_CALL VxOSD_UseManualClock(uint8_t on);
/* Before InitVxOSD: the local date-time at which this thread's manual clock starts, for the clock
 * components, in days since 1899-12-30 00:00 with the time of day as the fraction (the
 * default, 36526, is 2000-01-01 00:00). A host laying the OSD over live video passes the
 * current local time. Returns 1; 0 for a value outside 1900-01-01 .. 2100-12-31 (unchanged). */
VXOSD_API uint8_t VXOSD_CALL VxOSD_SetManualClockStart(double local_days);
/* The manual clock at the local time now. Before InitVxOSD: the next InitVxOSD's manual clock
 * starts at the current local date-time (VxOSD_SetManualClockStart with the time now). On the
 * thread of a library running on the manual clock, also: its clock components show the local
 * time now from here on, and go on from it as the clock advances (the timers' time does not
 * move), for a host whose video time jumped. Returns 1; 0 when the local time lies outside
 * 1900-01-01 .. 2100-12-31. */
VXOSD_API uint8_t VXOSD_CALL VxOSD_SetManualClockStartNow(void);
/* On the manual clock: moves time by ms, firing each due event at its own due time. Returns
 * how many ran (0 on real time or on a thread without a library). */
VXOSD_API uint32_t VXOSD_CALL VxOSD_AdvanceClock(uint32_t ms);
/* Before InitVxOSD: the frame the next InitVxOSD composes. VXOSD_FRAME_PALETTE8 (the default)
 * is the card's frame, exactly as the calls above describe it; its size must be 640 x 480
 * (or 0 x 0). VXOSD_FRAME_ARGB32 is a true-colour frame for hosts that are not the card, of
 * any size from 16 x 16 to 7680 x 4320: premultiplied B, G, R, A per pixel; the key colour is
 * transparent (alpha 0) wherever it is drawn; text is anti-aliased (glyph coverage becomes
 * alpha at the edges); pictures keep their own colours and alpha (BMPs of every depth, 32-bit
 * BMPs with alpha, PNG on Linux); pictures are composited with "over"; and a colour level
 * becomes the alpha of what is drawn in that colour (its nearest palette entry, as on the
 * card), from the next time a component draws. Positions and sizes are pixels of that frame.
 * The frame callback and SetVxOSD_Debug then deliver the true-colour frame; a true-colour
 * library never uses the card (see InitVxOSD). Returns 1; 0 for an unknown format or a size
 * out of range (the setting is then unchanged, VxOSD_GetLastError says why). A library that
 * runs keeps its frame until the next InitVxOSD. */
VXOSD_API uint8_t VXOSD_CALL VxOSD_SetFrameFormat(int32_t width, int32_t height, int32_t format);
/* A device context over host memory: width x height 32-bit pixels, B, G, R, X in each, rows
 * top-down stride bytes apart (stride >= 4 * width). The memory must outlive the context.
 * Returns null for bad arguments. */
VXOSD_API HDC VXOSD_CALL VxOSD_CreateBufferDC(void *bgra, int32_t width, int32_t height,
                                              int32_t stride);
VXOSD_API void VXOSD_CALL VxOSD_DeleteDC(HDC dc);
/* The output of a cycle without a card: cb receives the composed frame as a frame stream
 * (8-byte header, 1024-byte A/Y/Cb/Cr palette with the colour levels, 640 x 480 palette
 * indices), valid during the call only. With a true-colour frame (VXOSD_FRAME_ARGB32) cb
 * receives its pixels instead: width x height premultiplied B, G, R, A, rows top-down with no
 * padding (size = 4 x width x height); the frame stream is the palette frame's only. Null cb
 * switches the output off. It is the calling thread's (set before its InitVxOSD or while its
 * library runs) and is called on that thread. Calling FreeVxOSD or InitVxOSD from inside cb
 * is refused. With a card the frames go to the card instead. */
/* The callback uses the C calling convention (cdecl), on 32-bit Windows as well. */
typedef void (*VxOSD_FrameCallback)(const uint8_t *frame_stream, uint32_t size, void *user);
VXOSD_API void VXOSD_CALL VxOSD_SetFrameCallback(VxOSD_FrameCallback cb, void *user);
/* The message of the last call on this thread, as UTF-8: why it failed, or what it reports
 * on success (a picture file that was not found, see SetVxComponent_PicFile; the card held by
 * another library, see InitVxOSD; a cycle that failed or found the card stalled while the call
 * ran the thread's timers; a component timer whose work failed, "VxOSD timer: ...": the
 * timers go on, and no error leaves the message loop). Every call but this one starts by clearing the thread's message,
 * so the message is always the last call's. A cycle run by a Windows host's own message loop
 * reports the same way, and its message stays until the thread's next call. Copies at most
 * size - 1 bytes (a message cut short ends at a character boundary) and a terminating zero
 * into utf8 (when size > 0) and returns the message's full length in bytes; 0 when there is
 * no message. */
VXOSD_API uint32_t VXOSD_CALL VxOSD_GetLastError(char *utf8, uint32_t size);

/* What the calling thread's library does (since interface 1.1). */
enum {
  VXOSD_STATUS_NONE = 0,      /* no library runs on this thread (never started, refused, freed) */
  VXOSD_STATUS_CARD = 1,      /* running, with the capture card */
  VXOSD_STATUS_NO_CARD = 2,   /* running without a card: none was found */
  VXOSD_STATUS_CARD_TAKEN = 3 /* running without a card: another thread's library holds it */
};
VXOSD_API int32_t VXOSD_CALL VxOSD_GetStatus(void);
/* The longest one push waits for the card, 1 to 20000 ms (the default), for this thread's
 * library: before InitVxOSD, or while it runs. Returns 0 (unchanged) for a value outside. */
VXOSD_API uint8_t VXOSD_CALL VxOSD_SetCardWaitLimit(uint32_t ms);

#ifdef __cplusplus
}
#endif

#endif /* VXOSD_VXOSD_H */
