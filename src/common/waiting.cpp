#include "waiting.h"

#include "platform/clock.h"

#include <QEventLoop>
#include <QTimer>

void waitProcessingEvents(const Clock &clock, qint64 untilMs)
{
    if (clock.elapsedMs() >= untilMs)
        return;
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (clock.elapsedMs() >= untilMs)
            loop.quit();
    });
    tick.start();
    loop.exec();
}

void waitTwoToThreeSeconds(const Clock &clock)
{
    const qint64 wholeSecondsNow = clock.elapsedMs() / 1000;
    waitProcessingEvents(clock, (wholeSecondsNow + 3) * 1000);
}
