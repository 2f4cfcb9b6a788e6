/* A C host linked against the installed library (pkg-config on Linux, the MinGW import library on
 * Windows): registers a trace client, traces one line and waits for the client to receive it.
 * With the argument "stack" it also traces its stack with symbol names and prints every line the
 * client receives: the packaging check looks there for the library's own frame, whose name and
 * source line only the library's debug information holds. */
#include <stdio.h>
#include <string.h>

#include "vextrel_facilities.h"
#include "vextrel_version.h"

#define HOST_WORD VXF_WORD(VXF_ENGINE_CORE, VXP_HIGH)
static int stackMode, received;

static void OnLine(TraceClient* self, const char* line, uint32_t length) {
    (void)self;
    if (stackMode) printf("%.*s\n", (int)length, line);
    /* Lines arrive in the order they were traced: the last one says that all have arrived. */
    if (length > 0 && strstr(line, stackMode ? "end of the stack" : "from C") != NULL) received = 1;
}
static void Reserved(TraceClient* self) { (void)self; }
static const TraceClientVtbl kVtbl = {Reserved, OnLine};

int main(int argc, char** argv) {
    static const char kText[] = "VXF_ENGINE_CORE=S@VXP_LOWEST";
    TraceClient client = {&kVtbl};
    uint64_t waited = 0, start = VextrelGetTimestamp();
    stackMode = argc > 1 && strcmp(argv[1], "stack") == 0;
    VextrelEnableStackTraceSymbols(stackMode);
    VextrelAddTraceClient(&client, kText, (int32_t)strlen(kText));
    VextrelFormat(HOST_WORD, "hello %d from C", VEXTREL_VERSION_MAJOR);
    if (stackMode) {
        VextrelStack(HOST_WORD);
        VextrelFormat(HOST_WORD, "end of the stack");
    }
    /* At most 5 s; 60 s for the stack, whose symbols debug-help first loads from the debug file. */
    while (!received && waited < (stackMode ? 60000000u : 5000000u)) waited = VextrelGetTimestamp() - start;
    VextrelRemoveTraceClient(&client);
    printf("C host: version %s, client %s\n", VEXTREL_VERSION_STRING, received ? "received the line" : "got nothing");
    return received ? 0 : 1;
}
