#include "cfgrules.h"

#include "common/basictext.h"

namespace cfgRules {

QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('\r'))
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

LineKind cfgLineKind(QStringView line)
{
    if (line.startsWith(QLatin1String("//")))
        return LineKind::Comment;
    if (line.startsWith(QLatin1Char('[')))
        return LineKind::Heading;
    return LineKind::Other;
}

LineKind listLineKind(QStringView line)
{
    return line.startsWith(QLatin1Char('#')) ? LineKind::Disabled : LineKind::Other;
}

QColor colourOf(LineKind kind)
{
    switch (kind) {
    case LineKind::Comment:
    case LineKind::Disabled: return QColor(0, 128, 0);
    case LineKind::Heading: return QColor(0, 128, 128);
    case LineKind::Other: break;
    }
    return {};
}

QStringList configurationLines(const QStringList &lines)
{
    QStringList kept;
    for (const QString &line : lines) {
        QString trimmed = basicText::trimBlanks(line);
        if (!trimmed.isEmpty())
            kept.append(std::move(trimmed));
    }
    return kept;
}

QStringList listLines(const QStringList &lines)
{
    QStringList kept;
    bool previousBlank = false;
    for (const QString &line : lines) {
        QString trimmed = basicText::trimBlanks(line);
        const bool blank = trimmed.isEmpty();
        if (!blank || !previousBlank)
            kept.append(std::move(trimmed));
        previousBlank = blank;
    }
    return kept;
}

bool lineStartRule(qsizetype caretOffset, QStringView charactersBefore)
{
    return caretOffset < 5 || charactersBefore.right(3).contains(QLatin1Char('\n'));
}

QString vexalHeader(const QString &programVersion)
{
    return QLatin1String("//vexal=File created by Vexal Pro ") + programVersion;
}

QString patchHeader(const QString &detectedPatchVersion)
{
    return QLatin1String("//ttdpatch=Detected TTDPatch versions is ") + detectedPatchVersion;
}

bool hasHeader(const QString &text, const char *mark)
{
    return basicText::containsIgnoringCase(text, QString::fromLatin1(mark));
}

QString thinLineBreaks(QString text)
{
    return text.replace(QLatin1String("\r\n\r\n"), QLatin1String("\r\n"));
}

bool isNewGraphicsList(const QString &path)
{
    const QString lower = path.toLower();
    return lower.endsWith(QLatin1String("newgrf.cfg")) || lower.endsWith(QLatin1String("newgrfw.cfg"));
}

bool isSoundSettings(const QString &path)
{
    return path.toLower().endsWith(QLatin1String("sound.cfg"));
}

} // namespace cfgRules
