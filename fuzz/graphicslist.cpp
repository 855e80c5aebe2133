// A new-graphics list (newgrf.cfg) as its editor reads it: code page 1252, lines trimmed, runs of
// blank lines kept as one, '#' lines shown as disabled.
#include "fuzzsupport.h"
#include "readercheck.h"

VEXAL_FUZZ_TARGET(graphicslist)
{
    const readerCheck::Reading reading
        = readerCheck::read(fuzzSupport::bytesOf(data, size), cfgRules::listLines, cfgRules::listLineKind);
    readerCheck::checkNonBlankLinesKept(reading.split, reading.lines);
    // A blank line stays only after a line that was not blank; the first line may be blank.
    for (qsizetype i = 1; i < reading.lines.size(); ++i) {
        FUZZ_CHECK(!(reading.lines.at(i).isEmpty() && reading.lines.at(i - 1).isEmpty()),
            QStringLiteral("two blank lines in a row at line %1").arg(i));
    }
    // Every run of blank lines in the file leaves exactly one.
    qsizetype runs = 0;
    bool previousBlank = false;
    for (const QString &line : reading.split) {
        const bool blank = readerCheck::isBlankLine(line);
        if (blank && !previousBlank)
            ++runs;
        previousBlank = blank;
    }
    const qsizetype blanks = reading.lines.count(QString());
    FUZZ_CHECK(blanks == runs, QStringLiteral("%1 blank lines kept for %2 runs of them").arg(blanks).arg(runs));
    for (const QString &line : reading.lines) {
        const bool disabled = cfgRules::listLineKind(line) == cfgRules::LineKind::Disabled;
        FUZZ_CHECK(disabled == line.startsWith(QLatin1Char('#')), line);
    }
    return 0;
}
