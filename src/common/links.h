#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// Every web page the program opens, in one table: the Help menu's pages by the entry that opens
// them, and the pages other windows open. Hosts and paths are this edition's choice; tests never
// contact them, every opening goes through the Shell seam.
namespace links {

struct Link {
    const char *entry; // the menu entry or control that opens the page
    const char *address;
};

const QList<Link> &table();
// The page an entry opens; empty for an entry without one.
QString addressOf(const char *entry);
// An http or https address with a host: the only kind the program opens or fetches from when a
// server or a person names it.
bool isWebAddress(const QUrl &url);

} // namespace links
