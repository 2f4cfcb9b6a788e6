/* A C host linked against the installed library (pkg-config on Linux, the MinGW import library on
 * Windows): registers a trace client, traces one line and waits for the client to receive it.
 * With the argument "stack" the client, called by the library's writer thread, then asks for a
 * stack trace with symbol names and prints every line it receives: the packaging check looks there
 * for the library's own function names, which only its debug information holds. */
#include <stdio.h>
#include <string.h>

#include "vextrel_facilities.h"
#include "vextrel_version.h"

#define HOST_WORD VXF_WORD(VXF_ENGINE_CORE, VXP_HIGH)
static int stackMode, stackAsked, received;

static void OnLine(TraceClient* self, const char* line, uint32_t length) {
    (void)self;
    if (stackMode) printf("%.*s\n", (int)length, line);
    if (stackMode && !stackAsked && strstr(line, "from C") != NULL) {
        stackAsked = 1;
        VextrelStack(HOST_WORD);
        VextrelFormat(HOST_WORD, "end of the stack");
        return;
    }
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
    while (!received && waited < 5000000u) waited = VextrelGetTimestamp() - start; /* at most 5 s */
    VextrelRemoveTraceClient(&client);
    printf("C host: version %s, client %s\n", VEXTREL_VERSION_STRING, received ? "received the line" : "got nothing");
    return received ? 0 : 1;
}
