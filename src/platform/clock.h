#pragma once

#include <QDate>
#include <QElapsedTimer>
#include <QString>

// Time as the program sees it. Date-driven behaviour (daily checks) is tested by setting the date.
class Clock {
public:
    virtual ~Clock() = default;

    virtual QDate today() const = 0;
    // The user's short date format: dates in the settings are compared as this text.
    virtual QString shortDate() const;
    virtual qint64 wholeSeconds() const = 0;
    // Monotonic milliseconds: waits and time-outs never jump with the wall clock or at midnight.
    virtual qint64 elapsedMs() const = 0;
};

class SystemClock final : public Clock {
public:
    SystemClock();
    QDate today() const override;
    qint64 wholeSeconds() const override;
    qint64 elapsedMs() const override;

private:
    QElapsedTimer m_started;
};
