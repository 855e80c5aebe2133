#pragma once

#include <QList>
#include <QString>

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

} // namespace links
