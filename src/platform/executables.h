#pragma once

#include <QString>
#include <QStringList>

// Which kind of program a file is, and how Linux starts it: a native program directly, a Windows
// program through Wine, a DOS program through DOSBox.
namespace executables {

enum class Kind { Native, Windows, Dos, NotRunnable };

// From the file's first bytes: ELF, or "#!" with the run bit, is native; "MZ" with a PE or NE
// header is Windows, other "MZ" files are DOS.
Kind kindOf(const QString &path);

struct Runners {
    // Program and leading arguments, split like a shell word list ("dosbox -exit").
    QString windows = QStringLiteral("wine");
    QString dos = QStringLiteral("dosbox -exit");
};

struct Command {
    QString program;
    QStringList arguments;
    bool isValid() const { return !program.isEmpty(); }
};

// The command that starts `path` with `arguments`; invalid for a file that cannot be run.
Command commandFor(const QString &path, const QStringList &arguments, const Runners &runners);

} // namespace executables
