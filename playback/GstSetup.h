#pragma once

// GStreamer, set up once for the process at its first use, with the
// choices this player makes among the elements installed.
void ensureGstInitialized();
