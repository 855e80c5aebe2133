// Stand-in program for the fault tests: the program's own save of a Wine registry.
//
//   fault-platform-save registry <system.reg> <value length> [<expected file>]
//       sets a text of that length and a number under Software\\Vexal Fault and saves; with an
//       expected file, first writes there the bytes the save is about to put in place (the keys'
//       times make them differ from run to run).
//
// Exit codes: 0 saved, 1 the save failed (its message on standard error), 2 bad call or input.
#include "platform/wineregistry.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int say(int code, const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return code;
}

// A text of that length whose lines differ, so that a piece of it in the wrong place would show.
QString text(qsizetype length)
{
    QString out;
    for (int line = 0; out.size() < length; ++line)
        out += QStringLiteral("line %1 of the saved text; ").arg(line);
    out.truncate(length);
    return out;
}

int saveRegistry(const QString &path, qsizetype length, const QString &expected)
{
    QString error;
    std::optional<WineRegistry> registry = WineRegistry::load(path, &error);
    if (!registry)
        return say(2, error);
    const QString key = QStringLiteral("Software\\Vexal Fault");
    registry->setString(key, QStringLiteral("Data"), text(length));
    registry->setDword(key, QStringLiteral("Length"), quint32(length));
    if (!expected.isEmpty()) {
        QFile file(expected);
        if (!file.open(QIODevice::WriteOnly) || file.write(registry->serialized()) != registry->serialized().size())
            return say(2, QStringLiteral("cannot write %1").arg(expected));
    }
    return registry->save(&error) ? 0 : say(1, error);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool number = false;
    const qsizetype length = arguments.value(3).toLongLong(&number);
    if (arguments.size() >= 4 && arguments.size() <= 5 && arguments[1] == QLatin1String("registry") && number)
        return saveRegistry(arguments[2], length, arguments.value(4));
    return say(2, QStringLiteral("usage: fault-platform-save registry <system.reg> <length> [<expected>]"));
}
