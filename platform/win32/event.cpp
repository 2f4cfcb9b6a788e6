#include "platform/event.h"

#include <windows.h>

namespace vextrel::platform {

EventHandle* CreateAutoResetEvent() {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return reinterpret_cast<EventHandle*>(event);
}

void SignalEvent(EventHandle* event) { SetEvent(reinterpret_cast<HANDLE>(event)); }

void WaitEvent(EventHandle* event, uint32_t timeoutMilliseconds) {
    WaitForSingleObjectEx(reinterpret_cast<HANDLE>(event), timeoutMilliseconds, TRUE);
}

void DestroyEvent(EventHandle* event) { CloseHandle(reinterpret_cast<HANDLE>(event)); }

}  // namespace vextrel::platform
