// The scanner's interface tables are C; compiled here as C++, after the header whose
// extern declarations keep the const tables externally visible.
#include "ext-idle-notify-v1-client-protocol.h"

// The tables' hidden visibility only matters to shared libraries; the header declared
// them first, so GCC notes the attribute is ignored.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
extern "C" {
#include "ext-idle-notify-v1-protocol.c"
}
#pragma GCC diagnostic pop
