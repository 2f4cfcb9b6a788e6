// The operating-system layer: everything the library needs from Windows or Linux, behind one neutral
// interface. Nothing outside platform/ includes an operating-system header.
#pragma once

#include "platform/clock.h"
#include "platform/debugger.h"
#include "platform/event.h"
#include "platform/files.h"
#include "platform/thread.h"
