// A TTDPatch configuration file as the cfg editor reads it: code page 1252, lines ended by CR LF or
// a lone CR, trimmed and without blank lines, coloured by their first characters.
#include "fuzzsupport.h"

VEXAL_FUZZ_TARGET(configuration)
{
    const fuzzSupport::Reading reading
        = fuzzSupport::read(fuzzSupport::bytesOf(data, size), cfgRules::configurationLines, cfgRules::cfgLineKind);
    for (const QString &line : reading.lines) {
        FUZZ_CHECK(!line.isEmpty(), QStringLiteral("a blank line reached the editor"));
        const cfgRules::LineKind kind = cfgRules::cfgLineKind(line);
        const bool comment = line.startsWith(QLatin1String("//"));
        const bool heading = line.startsWith(QLatin1Char('['));
        FUZZ_CHECK((kind == cfgRules::LineKind::Comment) == comment, line);
        FUZZ_CHECK((kind == cfgRules::LineKind::Heading) == (heading && !comment), line);
        FUZZ_CHECK((kind == cfgRules::LineKind::Other) == (!comment && !heading), line);
    }
    return 0;
}
