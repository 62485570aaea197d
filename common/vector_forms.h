// The choice between the SSE2 and the portable forms of the block functions.
#pragma once

// The block functions (scanner, merger) are built with SSE2 forms on x86 and
// take them when this is 1. Set once at start-up from the processor, since
// the Windows program also runs on processors without SSE2; tests clear it
// to run the portable forms through the same calls.
extern int g_useSse2;
