#include "links.h"

#include <cstring>

namespace links {

// The patch site's pages share its host.
#define PATCH_SITE "https://www.ttdpatch.net/"

const QList<Link> &table()
{
    static const QList<Link> links {
        {"mnuForums", "https://www.tt-forums.net/"},
        // A forum topic that lists where the game can be bought or downloaded.
        {"mnuDownloadTTD", "https://www.tt-forums.net/viewtopic.php?t=8595"},
        {"mnuPatchUsa", PATCH_SITE},
        // The mirrors' hosts are placeholders until mirrors of the patch site exist again.
        {"mnuPatchUk", "https://uk.ttdpatch.example/"},
        {"mnuPatchDk", "https://dk.ttdpatch.example/"},
        {"mnuPatchAlpha", PATCH_SITE "src/"},
        {"mnuPatchPrevious", PATCH_SITE "src/old/"},
        {"mnuPtchWiki", "https://wiki.ttdpatch.net/"},
        {"mnuPatchKell", "https://kell.ttd.example/TT/ttdpatch.php"},
        {"mnuGoToPloven", "https://ploven.brakemoor.example/"},
        {"mnuNarwick", "https://narwick.brakemoor.example/"},
        {"mnuGrfCodec", PATCH_SITE "grfcodec/"},
        {"mnuTtdAlter", "https://ttdalter.example/TT/"},
        {"mnuGraphicSets", PATCH_SITE "newgrf.html"},
        {"mnuQuorail", "https://quorail.example/"},
        {"mnuTTDGraphics", "https://ttdgraphics.example/"},
        {"mnuTTDNewGraphics", "https://ttnewgraphics.example/"},
        {"mnuMainsite", "https://vexalpro.brakemoor.example/"},
        {"mnuMirror1", "https://brakemoor.example/vexalpro/"},
        // The forums' own search finds the topic of an alpha/beta release, whichever forum has it.
        {"cmdDetails", "https://www.tt-forums.net/search.php?keywords="},
    };
    return links;
}

QString addressOf(const char *entry)
{
    for (const Link &link : table()) {
        if (std::strcmp(link.entry, entry) == 0)
            return QString::fromLatin1(link.address);
    }
    return {};
}

#undef PATCH_SITE

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
        && !url.host().isEmpty();
}

} // namespace links
