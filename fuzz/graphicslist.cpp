// A new-graphics list (newgrf.cfg) as its editor reads it.
#include "fuzzsupport.h"

VEXAL_FUZZ_TARGET(graphicslist)
{
    fuzzSupport::readIntoEditor(fuzzSupport::bytesOf(data, size), cfgRules::listLines, cfgRules::listLineKind);
    return 0;
}
