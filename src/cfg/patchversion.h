#pragma once

#include "common/modmain.h"

#include <QObject>

class MainWindowHost;
class QCheckBox;

// Which TTDPatch version the game folder's patch is: the patch is run and the first line of what
// it writes is read. The answer is kept with the executable's size, so an unchanged patch is not
// run again.
class PatchVersion : public QObject {
    Q_OBJECT
public:
    // Patches of at most this many bytes are the DOS patch, larger ones the Windows patch.
    static constexpr qint64 DosSizeLimit = 150000;

    PatchVersion(Services &services, MainWindowHost &host, QCheckBox &chkVersionget, QObject *parent = nullptr);

    void GetPatchVersion(bool forceDetection);
    // "Detect TTDPatch version": always runs the patch, with detection on for the time it takes.
    void mnuVersionGet_Click();

    // The version text from the first line the patch wrote.
    static QString versionFromFirstLine(const QString &line, bool windowsWay);
    // The size the cache keys on: the low 32 bits, signed; -1 when the file is read-only or absent.
    static qint32 cacheSize(const QString &path);

signals:
    // The patch has been asked for its switch list again: the list is new, or gone.
    void switchListWritten();

private:
    void detect(qint32 size);

    Services &m_services;
    MainWindowHost &m_host;
    QCheckBox &m_chkVersionget;
};
