/* A C host linked against the installed library (pkg-config on Linux, the MinGW import library on
 * Windows): registers a trace client, traces one line and waits for the client to receive it. */
#include <stdio.h>
#include <string.h>

#include "vextrel_facilities.h"
#include "vextrel_version.h"

static int received;

static void OnLine(TraceClient* self, const char* line, uint32_t length) {
    (void)self;
    if (length > 0 && strstr(line, "from C") != NULL) received = 1;
}
static void Reserved(TraceClient* self) { (void)self; }
static const TraceClientVtbl kVtbl = {Reserved, OnLine};

int main(void) {
    static const char kText[] = "VXF_ENGINE_CORE=S@VXP_LOWEST";
    TraceClient client = {&kVtbl};
    uint64_t waited = 0, start = VextrelGetTimestamp();
    VextrelAddTraceClient(&client, kText, (int32_t)strlen(kText));
    VextrelFormat(VXF_WORD(VXF_ENGINE_CORE, VXP_HIGH), "hello %d from C", VEXTREL_VERSION_MAJOR);
    while (!received && waited < 5000000u) waited = VextrelGetTimestamp() - start; /* at most 5 s */
    VextrelRemoveTraceClient(&client);
    printf("C host: version %s, client %s\n", VEXTREL_VERSION_STRING, received ? "received the line" : "got nothing");
    return received ? 0 : 1;
}
