// A new-graphics list (newgrf.cfg) as its editor reads it: code page 1252, lines trimmed, runs of
// blank lines kept as one, '#' lines shown as disabled.
#include "fuzzsupport.h"

VEXAL_FUZZ_TARGET(graphicslist)
{
    const fuzzSupport::Reading reading
        = fuzzSupport::read(fuzzSupport::bytesOf(data, size), cfgRules::listLines, cfgRules::listLineKind);
    // Every run of blank lines in the file leaves exactly one.
    qsizetype runs = 0;
    for (qsizetype i = 0; i < reading.split.size(); ++i)
        runs += fuzzSupport::isBlankLine(reading.split.at(i))
            && (i == 0 || !fuzzSupport::isBlankLine(reading.split.at(i - 1)));
    FUZZ_CHECK(reading.lines.count(QString()) == runs, QStringLiteral("blank lines kept for %1 runs").arg(runs));
    for (qsizetype i = 0; i < reading.lines.size(); ++i) {
        const QString &line = reading.lines.at(i);
        FUZZ_CHECK(!(line.isEmpty() && i > 0 && reading.lines.at(i - 1).isEmpty()), QStringLiteral("two blank lines"));
        FUZZ_CHECK(
            (cfgRules::listLineKind(line) == cfgRules::LineKind::Disabled) == line.startsWith(QLatin1Char('#')), line);
    }
    return 0;
}
