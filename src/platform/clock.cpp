#include "clock.h"

#include <QDateTime>
#include <QLocale>

QString Clock::shortDate() const
{
    return QLocale::system().toString(today(), QLocale::ShortFormat);
}

SystemClock::SystemClock()
{
    m_started.start();
}

QDate SystemClock::today() const
{
    return QDate::currentDate();
}

qint64 SystemClock::wholeSeconds() const
{
    return QDateTime::currentSecsSinceEpoch();
}

qint64 SystemClock::elapsedMs() const
{
    return m_started.elapsed();
}
