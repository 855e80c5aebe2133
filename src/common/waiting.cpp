#include "waiting.h"

#include "platform/clock.h"

#include <QEventLoop>
#include <QTimer>

void waitProcessingEvents(const Clock &clock, qint64 untilMs, const std::function<bool()> &done)
{
    const auto over = [&] { return clock.elapsedMs() >= untilMs || (done && done()); };
    if (over())
        return;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (over())
            loop.quit();
    });
    tick.start();
    loop.exec();
}

void waitTwoToThreeSeconds(const Clock &clock, const std::function<bool()> &done)
{
    const qint64 wholeSecondsNow = clock.elapsedMs() / 1000;
    waitProcessingEvents(clock, (wholeSecondsNow + 3) * 1000, done);
}
