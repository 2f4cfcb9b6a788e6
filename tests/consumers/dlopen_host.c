/* A C host that loads the library by file name at run time and resolves the functions by name
 * through the header's function-pointer types. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "vextrel.h"

int main(int argc, char** argv) {
    void* library = dlopen(argc > 1 ? argv[1] : "libvextrel.so.1", RTLD_NOW | RTLD_LOCAL);
    VextrelOSErrToStringFn errorText;
    VextrelFacilityOnFuncFn facilityOn;
    VextrelFormatFn format;
    if (library == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    /* dlsym returns an object pointer; copying it is the portable way to a function pointer. */
    memcpy(&errorText, &(void*){dlsym(library, "VextrelOSErrToString")}, sizeof errorText);
    memcpy(&facilityOn, &(void*){dlsym(library, "VextrelFacilityOnFunc")}, sizeof facilityOn);
    memcpy(&format, &(void*){dlsym(library, "VextrelFormat")}, sizeof format);
    if (errorText == NULL || facilityOn == NULL || format == NULL) return 1;
    format(VXF_WORD(1, VXP_LOW), "loaded %s", "by name");
    printf("dlopen host: %s; facility 1 on: %d\n", errorText(-9073), facilityOn(1) ? 1 : 0);
    dlclose(library);
    return 0;
}
