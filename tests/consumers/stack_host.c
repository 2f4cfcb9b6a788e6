/* A C host that asks the installed library for a stack trace with symbol names from inside the
 * library (the writer thread calling its trace client) and prints the lines the client receives.
 * The packaging check looks in them for the library's own function names, which only its debug
 * information holds. */
#include <stdio.h>
#include <string.h>

#include "vextrel_facilities.h"

#define kWord VXF_WORD(VXF_ENGINE_CORE, VXP_HIGH)
static volatile int finished;
static int stackAsked;

static void OnLine(TraceClient* self, const char* line, uint32_t length) {
    (void)self;
    printf("%.*s\n", (int)length, line);
    if (!stackAsked && strstr(line, "ask for the stack") != NULL) {
        stackAsked = 1;
        VextrelStack(kWord);
        VextrelFormat(kWord, "end of the stack");
    }
    if (strstr(line, "end of the stack") != NULL) finished = 1;
}
static void Reserved(TraceClient* self) { (void)self; }
static const TraceClientVtbl kVtbl = {Reserved, OnLine};

int main(void) {
    static const char kText[] = "VXF_ENGINE_CORE=S@VXP_LOWEST";
    TraceClient client = {&kVtbl};
    uint64_t waited = 0, start = VextrelGetTimestamp();
    VextrelEnableStackTraceSymbols(1);
    VextrelAddTraceClient(&client, kText, (int32_t)strlen(kText));
    VextrelFormat(kWord, "ask for the stack");
    while (!finished && waited < 10000000u) waited = VextrelGetTimestamp() - start; /* at most 10 s */
    VextrelRemoveTraceClient(&client);
    return finished ? 0 : 1;
}
