/* Vextrel: the tracing library's public interface.
 *
 * A host tags every trace message with a facility word: bits 0-23 name the
 * subsystem (facility id 0..20479), bits 24-31 carry a priority level (VXP_*),
 * or 0 when the caller gives none. Trace calls never block: each message is
 * formatted into a preallocated slot and written to the trace file, the
 * console and the registered trace clients by a background writer thread.
 *
 * Usable from C and C++. */
#ifndef VEXTREL_H
#define VEXTREL_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
#include <cstdarg>
#else
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

/* Priority levels, compared as numbers: a message passes a table entry when
 * its priority is greater than or equal to the entry. 17 means "off". */
#define VXP_LOWEST 1u
#define VXP_LOW 2u
#define VXP_NORMAL 4u
#define VXP_HIGH 8u
#define VXP_URGENT 16u

/* Builds a facility word from a facility id and a priority level. */
#define VXF_WORD(id, priority) ((uint32_t)(((uint32_t)(priority) << 24) | ((uint32_t)(id) & 0x00FFFFFFu)))

/* A host clock in microseconds; when installed, record timestamps come from it. */
typedef uint64_t (*ClockCallback)(void);

/* A per-facility-word message handler: may write the message text itself. */
typedef void (*TraceHandlerFunc)(uint32_t facilityWord, char* text, uint32_t capacity, const char* format,
                                 va_list args);

/* A trace client receives every line its configuration's client channel accepts, on the writer
 * thread, through the second slot of its virtual table. The library never calls the first slot,
 * never copies and never destroys a client. */
#ifdef __cplusplus
class TraceClient {
public:
    /* First slot: never called by the library. */
    virtual void Reserved() {}
    /* Second slot: one formatted trace line (ending in a newline) and its length in bytes.
     * The text is valid only during the call. */
    virtual void OnTraceLine(const char* line, uint32_t length) = 0;

protected:
    ~TraceClient() = default;
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

/* Facilities and priorities */
VEXTREL_API int32_t VextrelRegisterFacility(const char* name, uint32_t id);
VEXTREL_API bool VextrelFacilityOnFunc(uint32_t facilityWord);
VEXTREL_API bool VextrelIsActiveFunc(void);
VEXTREL_API uint32_t VextrelChangeFacilityPriorityFunc(uint32_t facilityId, uint32_t priorityWord);

/* Trace entry points */
VEXTREL_API void VextrelFormat(uint32_t facilityWord, const char* format, ...);
VEXTREL_API void VextrelFormatQuiet(uint32_t facilityWord, const char* format, ...);
VEXTREL_API void VextrelFormatTimestamp(uint64_t* startStamp, uint32_t facilityWord, const char* format, ...);
VEXTREL_API void VextrelLegacyFormat(uint32_t facilityWord, const char* format, va_list args);
VEXTREL_API void VextrelPuts(uint32_t facilityWord, const char* text);
VEXTREL_API uint64_t VextrelGetTimestamp(void);
VEXTREL_API void VextrelSetClockCallbackFunc(ClockCallback callback);
VEXTREL_API void VextrelSetNameFunc(const char* name);

/* Lifecycle */
VEXTREL_API void VextrelRestart(void);
VEXTREL_API bool VextrelReloadConfigsFunc(void);

/* Output */
VEXTREL_API void VextrelDumpWriteStatsFunc(void);
VEXTREL_API const char* VextrelGetTracePath(void);

/* Trace clients and handlers */
/* Control calls run one at a time from any thread; from inside OnTraceLine, restart, reload and adding or
 * removing a trace client are refused (they do nothing, reload returns false) and the other control calls
 * are refused while another thread's control call runs. */
VEXTREL_API void VextrelAddTraceClient(TraceClient* client, const char* configText, int32_t length);
VEXTREL_API void VextrelRemoveTraceClient(TraceClient* client);
VEXTREL_API void VextrelRegisterHandlerFunc(uint32_t facilityWord, TraceHandlerFunc handler);

/* Diagnostics */
VEXTREL_API void VextrelStack(uint32_t facilityWord);
VEXTREL_API void VextrelEnableStackTraceSymbols(uint8_t enable);
VEXTREL_API uint8_t VextrelEnabledStackTraceSymbols(void);
VEXTREL_API void VextrelMem(uint32_t facilityWord, const char* label, const void* data, uint32_t length);
VEXTREL_API const char* VextrelOSErrToString(int32_t code);
VEXTREL_API const char* VextrelGetMachineUUID(void);

#ifdef __cplusplus
}
#endif

#endif /* VEXTREL_H */
