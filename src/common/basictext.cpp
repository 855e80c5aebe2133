#include "basictext.h"

#include <QStringList>

#include <limits>

namespace basicText {

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

qint64 leadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    qint64 value = 0;
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    for (; i < text.size() && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9'; ++i) {
        const int digit = text.at(i).unicode() - '0';
        // Too many digits saturate: dropping the surplus would give a wrong, smaller number.
        value = value > (largest - digit) / 10 ? largest : value * 10 + digit;
    }
    return negative ? -value : value;
}

namespace {
char16_t fold(char16_t c)
{
    return (c >= 'A' && c <= 'Z') ? char16_t(c + ('a' - 'A')) : c;
}
} // namespace

bool equalsIgnoringCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a.at(i).unicode()) != fold(b.at(i).unicode()))
            return false;
    }
    return true;
}

bool containsIgnoringCase(QStringView haystack, QStringView needle)
{
    if (needle.isEmpty())
        return true;
    for (qsizetype start = 0; start + needle.size() <= haystack.size(); ++start) {
        if (equalsIgnoringCase(haystack.mid(start, needle.size()), needle))
            return true;
    }
    return false;
}

QStringList lineInputLines(const QString &text)
{
    QStringList result;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        result.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < size)
        result.append(text.mid(start));
    return result;
}

} // namespace basicText
