/* Vextrel: the tracing library's public interface.
 *
 * A host tags every trace message with a facility word: bits 0-23 name the
 * subsystem (facility id 0..20479), bits 24-31 carry a priority level (VXP_*),
 * or 0 when the caller gives none. Trace calls never block, never allocate and
 * never take a lock: each message is formatted into a preallocated slot and
 * written to the trace file, the console and the registered trace clients by a
 * background writer thread, one per configuration. The built-in facility ids
 * (VXF_*) are in vextrel_facilities.h, the version in vextrel_version.h.
 *
 * Threads: every trace and query function may be called from any thread at any
 * time, real-time threads included. The configuration functions (restart,
 * reload, adding and removing trace clients, registering handlers) are called
 * by the host from one thread at a time, never from inside a trace client.
 * Every function is safe to call before the library has a configuration: it
 * then does nothing and returns the "nothing" value stated below.
 *
 * Usable from C (C89 and later) and C++ (C++11 and later). */
#ifndef VEXTREL_H
#define VEXTREL_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
#include <cstdarg>
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L
#include <stdbool.h>
#endif

#if defined(_WIN32)
#  if defined(VEXTREL_BUILDING)
#    define VEXTREL_API __declspec(dllexport)
#  elif defined(VEXTREL_STATIC)
#    define VEXTREL_API
#  else
#    define VEXTREL_API __declspec(dllimport)
#  endif
#else
#  define VEXTREL_API __attribute__((visibility("default")))
#endif

/* A truth value with the size and passing of C++ bool and C99 _Bool (one byte);
 * C89 has no boolean type, so it sees an unsigned char. */
#if defined(__cplusplus)
#  define VEXTREL_BOOL bool
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L
#  define VEXTREL_BOOL _Bool
#else
#  define VEXTREL_BOOL unsigned char
#endif

/* Lets GCC and clang check the format string and arguments of a call like
 * printf's; MinGW compilers check C99 formats (%lld, %zu), which the library
 * implements on every system. */
#if defined(__GNUC__) || defined(__clang__)
#  if defined(__MINGW32__) && !defined(__clang__)
#    define VEXTREL_PRINTF_CHECK(formatIndex, firstArgument) \
         __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#  else
#    define VEXTREL_PRINTF_CHECK(formatIndex, firstArgument) \
         __attribute__((format(printf, formatIndex, firstArgument)))
#  endif
#else
#  define VEXTREL_PRINTF_CHECK(formatIndex, firstArgument)
#endif

/* Priority levels, compared as numbers: a message passes a table entry when
 * its priority is greater than or equal to the entry. 17 means "off". */
#define VXP_LOWEST 1u
#define VXP_LOW 2u
#define VXP_NORMAL 4u
#define VXP_HIGH 8u
#define VXP_URGENT 16u

/* Builds a facility word from a facility id and a priority level. */
#ifdef __cplusplus
#  define VXF_WORD(id, priority) \
       (static_cast<uint32_t>((static_cast<uint32_t>(priority) << 24) | (static_cast<uint32_t>(id) & 0x00FFFFFFu)))
#else
#  define VXF_WORD(id, priority) ((uint32_t)(((uint32_t)(priority) << 24) | ((uint32_t)(id) & 0x00FFFFFFu)))
#endif

/* A host clock in microseconds; when installed, record timestamps come from it.
 * It is called on the tracing threads, so it must be as cheap and as free of
 * locks as the trace call itself. */
typedef uint64_t (*ClockCallback)(void);

/* A per-facility-word message handler: may write the message text itself into
 * `text` (capacity bytes, terminated) from the format and its arguments. */
typedef void (*TraceHandlerFunc)(uint32_t facilityWord, char* text, uint32_t capacity, const char* format,
                                 va_list args);

/* A trace client receives every line its configuration's client channel
 * accepts, on that configuration's writer thread, through the second slot of
 * its virtual table. The library never calls the first slot, never copies and
 * never destroys a client: the host owns it and must remove it
 * (VextrelRemoveTraceClient) before destroying it.
 *
 * Inside OnTraceLine a client must not call VextrelAddTraceClient,
 * VextrelRemoveTraceClient, VextrelRestart or VextrelReloadConfigsFunc: the
 * writer thread that runs the callback holds the client list and would wait
 * for itself. Trace calls from inside OnTraceLine are allowed but feed the
 * same writer; a slow client delays every line of its configuration. */
#ifdef __cplusplus
class TraceClient {
public:
    /* First slot: never called by the library. */
    virtual void Reserved() {}
    /* Second slot: one formatted trace line (ending in a newline) and its length in bytes.
     * The text is valid only during the call. */
    virtual void OnTraceLine(const char* line, uint32_t length) = 0;

protected:
    ~TraceClient() {}
};
#else
typedef struct TraceClient TraceClient;
/* The C view of a client's virtual table: `self` is the client itself. */
typedef struct TraceClientVtbl {
    void (*Reserved)(TraceClient* self);
    void (*OnTraceLine)(TraceClient* self, const char* line, uint32_t length);
} TraceClientVtbl;
struct TraceClient {
    const TraceClientVtbl* vtbl;
};
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Facilities and priorities ------------------------------------------ */

/* Gives the facility `id` the `name` (copied) so that configuration texts read
 * afterwards (restart, reload, VextrelAddTraceClient) can name it. Returns 1
 * when added; 0 when the id or the name is taken already, or when no
 * configuration has been created yet in this process (the built-in names are
 * registered with the first one). */
VEXTREL_API int32_t VextrelRegisterFacility(const char* name, uint32_t id);

/* Whether a message with this facility word would be written anywhere: true
 * when any output of any configuration accepts the facility id at the word's
 * priority (VXP_URGENT when the word has no priority byte). False before the
 * library has a configuration and for ids above 20479. Lock-free; cheap enough
 * to guard an expensive message on a real-time thread. */
VEXTREL_API VEXTREL_BOOL VextrelFacilityOnFunc(uint32_t facilityWord);

/* Whether the library runs at least one configuration (false when no
 * configuration file was found and no trace client was added). */
VEXTREL_API VEXTREL_BOOL VextrelIsActiveFunc(void);

/* Sets the priority of one facility id to bits 24-31 of `priorityWord` (for
 * example VXF_WORD(0, VXP_HIGH)), in the first output (console, then file,
 * then client) of the first configuration that traces the id at all. Returns
 * the previous priority in bits 24-31, or 0 when nothing was changed (no such
 * output, id above 20479, priority byte 0). The change lasts until the next
 * restart or reload. */
VEXTREL_API uint32_t VextrelChangeFacilityPriorityFunc(uint32_t facilityId, uint32_t priorityWord);

/* ---- Trace entry points ------------------------------------------------- */

/* Formats the message like printf (at most 511 characters; longer text is cut)
 * and queues it for every output that accepts the facility word's id and
 * priority (VXP_LOWEST when the word has none). Returns at once: the writer
 * thread writes the line later. When a configuration's queue is full the
 * message is dropped there and the trace file says so with lost-output lines.
 * A registered handler for the exact word takes part as VextrelRegisterHandlerFunc
 * says. Any thread. */
VEXTREL_API void VextrelFormat(uint32_t facilityWord, const char* format, ...) VEXTREL_PRINTF_CHECK(2, 3);

/* As VextrelFormat, but the line is written as the bare message text, without
 * the time, thread and facility fields. */
VEXTREL_API void VextrelFormatQuiet(uint32_t facilityWord, const char* format, ...) VEXTREL_PRINTF_CHECK(2, 3);

/* As VextrelFormat, measuring elapsed time against a stamp the caller keeps:
 * when *startStamp is 0 it is set to this call's timestamp and the line is
 * written plainly; when it is non-zero, the line ends in "(N us)", the
 * microseconds since the stamp, which stays unchanged. The stamp is set even
 * when nothing is traced. A null startStamp behaves as VextrelFormat. */
VEXTREL_API void VextrelFormatTimestamp(uint64_t* startStamp, uint32_t facilityWord, const char* format, ...)
    VEXTREL_PRINTF_CHECK(3, 4);

/* As VextrelFormat with the arguments in a va_list, which the call does not
 * consume (it works on a copy). */
VEXTREL_API void VextrelLegacyFormat(uint32_t facilityWord, const char* format, va_list args)
    VEXTREL_PRINTF_CHECK(2, 0);

/* Queues `text` unformatted (no % processing). Text longer than one record
 * (511 characters) is split into records of at most 511 characters, each cut
 * at the last newline (dropped) or late blank before the limit; continuation
 * records are written as bare text. Any thread. */
VEXTREL_API void VextrelPuts(uint32_t facilityWord, const char* text);

/* The high-resolution counter now, in microseconds; the same scale as the time
 * field of trace lines when no clock callback is installed (it never calls the
 * callback). Any thread. */
VEXTREL_API uint64_t VextrelGetTimestamp(void);

/* Installs a host clock for record timestamps (microseconds), or removes it
 * with null. From then on the time field of trace lines is the host's clock.
 * The callback runs on every tracing thread and must stay callable until it is
 * removed or the library is unloaded. */
VEXTREL_API void VextrelSetClockCallbackFunc(ClockCallback callback);

/* Sets the name (at most 31 characters, copied) of every running
 * configuration; lines of records queued afterwards carry ",nm=<name>" after
 * the facility field. An empty name removes the field. A restart or reload
 * takes the names of the configuration files again. */
VEXTREL_API void VextrelSetNameFunc(const char* name);

/* ---- Lifecycle ---------------------------------------------------------- */

/* Reads the configuration files again and starts over with them: every trace
 * file of the running configurations is closed and a new one opened, trace
 * clients are dropped (add them again). If the files cannot be
 * read for want of memory the running configurations stay. Host threads may
 * keep tracing meanwhile; configuration calls come from one thread at a time. */
VEXTREL_API void VextrelRestart(void);

/* Reads the configuration files again and applies them when they differ from
 * the running ones. Returns true when something changed: configurations of
 * the same file are carried over (same writer, a new trace file with a
 * "Refreshing session trace" title), others are replaced, and trace clients on
 * them are dropped. Returns false when nothing changed (then nothing happens)
 * or when the library has no configuration. */
VEXTREL_API VEXTREL_BOOL VextrelReloadConfigsFunc(void);

/* ---- Output ------------------------------------------------------------- */

/* Kept for hosts that call it; it writes nothing and has no effect. */
VEXTREL_API void VextrelDumpWriteStatsFunc(void);

/* The path of the file the first configuration writes to now, or "" when there
 * is none (no configuration, file tracing off, the file could not be opened).
 * Right after a restart it is the old file's until the writer has moved on to
 * the new one. The text is the library's copy and stays valid until the path
 * changes (a restart, reload or unload). Copy it to keep it. */
VEXTREL_API const char* VextrelGetTracePath(void);

/* ---- Trace clients and handlers ----------------------------------------- */

/* Registers `client` for the lines that `configText` (`length` bytes, the
 * configuration language; need not be terminated) selects for the client
 * output, for example "VXF_ENGINE_RENDER=S@VXP_NORMAL". A configuration that
 * uses the default trace folder merges with the running one of that folder,
 * whose header is then written again. The client is called on that
 * configuration's writer thread from then on. A null client, or a text that
 * enables no output, is ignored. Control calls run one at a time from any
 * thread; from inside OnTraceLine, restart, reload and adding or removing a
 * trace client are refused (they do nothing, reload returns false) and the
 * other control calls are refused while another thread's control call runs. */
VEXTREL_API void VextrelAddTraceClient(TraceClient* client, const char* configText, int32_t length);

/* Stops delivering lines to `client`. When the call returns the writer thread
 * no longer calls it, and the host may destroy it. A client that was never
 * added changes nothing. From inside OnTraceLine the call is refused (see above). */
VEXTREL_API void VextrelRemoveTraceClient(TraceClient* client);

/* Registers `handler` for the exact facility word (id and priority byte) in
 * every configuration running now (at most 256 words each; more are ignored).
 * A registered word is switched off in those configurations: messages with
 * that exact word are not written and the handler is not called. Configurations
 * created later (restart, reload, a trace client's text) start without
 * handlers. Call it while no other thread traces with that word. */
VEXTREL_API void VextrelRegisterHandlerFunc(uint32_t facilityWord, TraceHandlerFunc handler);

/* ---- Diagnostics -------------------------------------------------------- */

/* Queues the calling thread's stack as bare lines: "Stacktrace:", then one
 * line per return address (the module and its base, or the function's name
 * when symbols are enabled). Any thread; with symbols it is slow, so keep it
 * off hot paths. */
VEXTREL_API void VextrelStack(uint32_t facilityWord);

/* Turns symbol names in VextrelStack frames on (non-zero) or off (0, the
 * default). Any thread. */
VEXTREL_API void VextrelEnableStackTraceSymbols(uint8_t enable);

/* The value last given to VextrelEnableStackTraceSymbols (0 at start). */
VEXTREL_API uint8_t VextrelEnabledStackTraceSymbols(void);

/* Queues a hexadecimal dump of `length` bytes at `data` as ordinary trace
 * lines of up to 32 bytes each: the label, the address of the line's first
 * byte, then the bytes in hexadecimal. The bytes are read during the call.
 * Any thread. */
VEXTREL_API void VextrelMem(uint32_t facilityWord, const char* label, const void* data, uint32_t length);

/* The text of one of the host's error codes, or "Unknown OSErr". The text is
 * a constant of the library, valid while the library is loaded. */
VEXTREL_API const char* VextrelOSErrToString(int32_t code);

/* This machine's identifier as text (read once, then the same for the life of
 * the process); "" when it cannot be read. The text is valid while the library
 * is loaded. */
VEXTREL_API const char* VextrelGetMachineUUID(void);

/* ---- Function-pointer types ---------------------------------------------- */
/* For hosts that load the library at run time and resolve the functions by
 * name (dlsym / GetProcAddress): one type per function, named after it. */
typedef int32_t (*VextrelRegisterFacilityFn)(const char* name, uint32_t id);
typedef VEXTREL_BOOL (*VextrelFacilityOnFuncFn)(uint32_t facilityWord);
typedef VEXTREL_BOOL (*VextrelIsActiveFuncFn)(void);
typedef uint32_t (*VextrelChangeFacilityPriorityFuncFn)(uint32_t facilityId, uint32_t priorityWord);
typedef void (*VextrelFormatFn)(uint32_t facilityWord, const char* format, ...) VEXTREL_PRINTF_CHECK(2, 3);
typedef void (*VextrelFormatQuietFn)(uint32_t facilityWord, const char* format, ...) VEXTREL_PRINTF_CHECK(2, 3);
typedef void (*VextrelFormatTimestampFn)(uint64_t* startStamp, uint32_t facilityWord, const char* format, ...)
    VEXTREL_PRINTF_CHECK(3, 4);
typedef void (*VextrelLegacyFormatFn)(uint32_t facilityWord, const char* format, va_list args)
    VEXTREL_PRINTF_CHECK(2, 0);
typedef void (*VextrelPutsFn)(uint32_t facilityWord, const char* text);
typedef uint64_t (*VextrelGetTimestampFn)(void);
typedef void (*VextrelSetClockCallbackFuncFn)(ClockCallback callback);
typedef void (*VextrelSetNameFuncFn)(const char* name);
typedef void (*VextrelRestartFn)(void);
typedef VEXTREL_BOOL (*VextrelReloadConfigsFuncFn)(void);
typedef void (*VextrelDumpWriteStatsFuncFn)(void);
typedef const char* (*VextrelGetTracePathFn)(void);
typedef void (*VextrelAddTraceClientFn)(TraceClient* client, const char* configText, int32_t length);
typedef void (*VextrelRemoveTraceClientFn)(TraceClient* client);
typedef void (*VextrelRegisterHandlerFuncFn)(uint32_t facilityWord, TraceHandlerFunc handler);
typedef void (*VextrelStackFn)(uint32_t facilityWord);
typedef void (*VextrelEnableStackTraceSymbolsFn)(uint8_t enable);
typedef uint8_t (*VextrelEnabledStackTraceSymbolsFn)(void);
typedef void (*VextrelMemFn)(uint32_t facilityWord, const char* label, const void* data, uint32_t length);
typedef const char* (*VextrelOSErrToStringFn)(int32_t code);
typedef const char* (*VextrelGetMachineUUIDFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VEXTREL_H */
