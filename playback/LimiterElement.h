#pragma once

#include <gst/gst.h>

// A GStreamer element around PeakLimiter: interleaved 32-bit float in and
// out, limited in place. Floating, like the elements of a factory.
GstElement *createLimiterElement();
