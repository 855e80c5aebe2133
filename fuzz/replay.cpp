// Runs one fuzz target over saved inputs, without libFuzzer: the gcc trees replay the seed corpus
// this way among the tests, and a crash file from a clang run can be replayed here under gdb.
//
//   vexalpro-fuzz-replay TARGET FILE-OR-FOLDER...
#include "fuzzsupport.h"

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    fuzzSupport::start(&argc, &argv);
    const QStringList arguments = app.arguments();
    const fuzzSupport::Entry target = arguments.size() >= 3 ? fuzzSupport::entry(arguments.at(1)) : nullptr;
    if (!target) {
        std::fprintf(stderr, "usage: %s TARGET FILE-OR-FOLDER...\ntargets: %s\n", argv[0],
            qPrintable(fuzzSupport::names().join(QLatin1Char(' '))));
        return 2;
    }
    QStringList files;
    for (const QString &path : arguments.mid(2)) {
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(it.next());
        if (!QFileInfo(path).isDir())
            files.append(path);
    }
    // The same order on every run, so a failure points at the same file each time.
    std::sort(files.begin(), files.end());
    const QByteArray name = arguments.at(1).toLatin1();
    for (const QString &file : files) {
        const QByteArray bytes = fuzzSupport::readFile(file);
        std::fprintf(stderr, "%s: %s\n", name.constData(), qPrintable(file));
        target(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));
        fuzzSupport::finishInput(name.constData());
    }
    // A missing or empty seed folder would otherwise pass without testing anything.
    if (files.isEmpty()) {
        std::fprintf(stderr, "%s: no input found\n", name.constData());
        return 1;
    }
    std::printf("%s: %lld inputs replayed, no invariant broken\n", name.constData(), qlonglong(files.size()));
    return 0;
}
