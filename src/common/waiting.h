#pragma once

#include <QtGlobal>

#include <functional>

class Clock;

// Waits keep the window responsive: interface events are processed until the clock's monotonic
// time reaches the deadline, or `done` says what was waited for has happened. Nothing sleeps on
// the interface thread.
void waitProcessingEvents(const Clock &clock, qint64 untilMs, const std::function<bool()> &done = {});
// Two to three seconds: until the whole seconds of the clock exceed the whole seconds of now plus
// two, measured on the monotonic clock so that midnight cannot stretch it.
void waitTwoToThreeSeconds(const Clock &clock, const std::function<bool()> &done = {});
