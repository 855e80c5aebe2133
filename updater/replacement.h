#pragma once

#include "updateplan.h"

#include <QString>

#include <optional>

#include <sys/types.h>

// Puts the downloaded program in place of the installed one without ever leaving the installed
// path half-written: the new file is prepared beside it and renamed over it, and the previous
// program stays as "<name>.old". Every failure ends with the previous program in place.
class Replacement {
public:
    explicit Replacement(UpdatePlan plan);

    // Actually creates a file there: access() answers yes to root everywhere and ignores
    // read-only mounts.
    bool programFolderWritable() const;

    // On false, errorText() says what went wrong and previousInPlace() whether the previous
    // program is at the installed path again; no temporary file is left behind either way.
    bool replace();
    QString errorText() const { return m_error; }
    bool previousInPlace() const { return m_previousInPlace; }

    // Only after success: a failed update keeps its download for the next attempt.
    bool removeDownload();
    bool startProgram();

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity &) const = default;
    };
    static std::optional<Identity> identityOf(const QString &path);

    bool fail(const QString &text);
    bool installCopy();
    void putPreviousBack();

    UpdatePlan m_plan;
    std::optional<Identity> m_previous;
    bool m_backupMade = false;
    bool m_previousInPlace = true;
    QString m_error;
};
