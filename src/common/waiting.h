#pragma once

#include <QtGlobal>

class Clock;

// Waits keep the window responsive: interface events are processed until the clock's monotonic
// time reaches the deadline. Nothing sleeps on the interface thread.
void waitProcessingEvents(const Clock &clock, qint64 untilMs);
// The design's "two to three seconds": until the whole seconds of the clock exceed the whole
// seconds of now plus two, measured on the monotonic clock so that midnight cannot stretch it.
void waitTwoToThreeSeconds(const Clock &clock);
