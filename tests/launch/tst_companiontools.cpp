// Starting TTD Alter, Ploven and Narwick from their remembered place or from a folder the person picks.
#include "testsupport.h"

#include "launch/companiontools.h"

#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

using modMain::state;
using Tool = CompanionTools::Tool;

namespace {

const QString Nothing = "<nothing>";

void makeFile(const QString &path, const QByteArray &bytes = portableExecutable())
{
    QDir().mkpath(QFileInfo(path).path());
    writeBytes(path, bytes);
}

// Section and key of each tool's location.
std::pair<QString, QString> placeOf(int tool)
{
    const std::pair<QString, QString> places[] = {{"VexalP", "TTDAlter"}, {"PLVN", "Location"}, {"NRWK", "Location"}};
    return places[tool];
}

QString wine(const QString &path)
{
    return QStandardPaths::findExecutable("wine") + ' ' + path + " @ " + state().AppFolder;
}

struct Fixture {
    Fixture()
    {
        state().AppFolder = t.root() + "/program/";
        useEnglishTexts();
    }
    // "<root>" stands for the temporary folder, "<lower>" for it lower-cased, "<program>" for the program folder.
    QString expand(QString text) const
    {
        return text.replace("<program>/", state().AppFolder)
            .replace("<root>", t.root())
            .replace("<lower>", t.root().toLower());
    }
    // As the next run of the program reads it.
    QString stored(int tool) const
    {
        const auto [section, key] = placeOf(tool);
        return SettingsStore(t.settingsFolder()).read("Brakemoor Solutions", section, key, Nothing);
    }
    void store(const QString &section, const QString &key, const QString &value)
    {
        SettingsStore(t.settingsFolder()).write("Brakemoor Solutions", section, key, value);
        t.reopenSettings();
    }
    void run(int tool) { CompanionTools(*t.services, nullptr).run(Tool(tool)); }
    QStringList starts() const
    {
        QStringList list;
        for (const auto &call : t.shell.calls)
            list << call.target + ' ' + call.arguments.join(' ') + " @ " + call.workingFolder;
        return list;
    }
    QStringList prompts() const
    {
        QStringList list;
        for (const auto &p : t.dialogs.prompts()) {
            if (p.kind == ScriptedDialogs::Kind::BrowseFolder)
                list << "browse: " + p.title;
            else
                list << (p.icon == MessageIcon::Critical ? "critical " : "other ") + p.title + ": " + p.text;
        }
        return list;
    }
    TestServices t;
};

} // namespace

class CompanionToolsTest : public QObject {
    Q_OBJECT

private slots:
    void withoutBrowsing_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("stored"); // none when empty
        QTest::addColumn<QString>("file"); // none when empty
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("starts"); // the file
        QTest::addColumn<QString>("prompt"); // the browser is cancelled
        const auto row = [](const char *tag, Tool tool, const char *stored, const char *file, bool starts,
                             const char *prompt = "", const QByteArray &bytes = portableExecutable()) {
            QTest::newRow(tag) << int(tool) << QString::fromUtf8(stored) << QString::fromUtf8(file) << bytes << starts
                               << QString::fromUtf8(prompt);
        };
        const char *elsewhere = "<root>/Elsewhere/tool.exe";
        row("Ploven beside", Tool::Ploven, "", "<program>/Ploven.exe", true);
        row("Narwick beside", Tool::Narwick, "", "<program>/Narwick.exe", true);
        row("Narwick not runnable", Tool::Narwick, "", "<program>/Narwick.exe", false,
            "critical Vexal Pro: <program>/Narwick.exe cannot be started: it is neither a program of this computer nor "
            "a "
            "Windows or DOS program.",
            "text");
        row("Ploven missing", Tool::Ploven, "", "", false, "browse: Where is the Ploven?");
        row("TTD Alter always asks", Tool::TTDAlter, "", "<program>/TTDAlter.exe", false,
            "browse: Where is the TTD Alter?");
        row("TTD Alter stored", Tool::TTDAlter, elsewhere, elsewhere, true);
        row("Ploven stored", Tool::Ploven, elsewhere, elsewhere, true);
        row("Narwick stored, gone", Tool::Narwick, elsewhere, "", false, "browse: Where is the Narwick?");
    }
    void withoutBrowsing()
    {
        QFETCH(int, tool);
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, starts);
        QFETCH(QString, prompt);
        Fixture f;
        writeProgram(f.expand("<root>/wine"), "#!/bin/sh\n", 0755);
        f.store("VexalP", "WindowsRunner", f.expand("<root>/wine --quiet"));
        if (!stored.isEmpty())
            f.store(placeOf(tool).first, placeOf(tool).second, f.expand(stored));
        if (!file.isEmpty())
            makeFile(f.expand(file), bytes);
        f.t.dialogs.queueText(std::nullopt);
        f.run(tool);
        const QString start = f.expand("<root>/wine --quiet ") + f.expand(file) + " @ " + state().AppFolder;
        QCOMPARE(f.starts(), starts ? QStringList {start} : QStringList {});
        QCOMPARE(f.prompts(), prompt.isEmpty() ? QStringList() : QStringList {f.expand(prompt)});
        QCOMPARE(f.stored(tool), stored.isEmpty() ? Nothing : f.expand(stored));
    }

    void browsing_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("chosen"); // what the folder browser answers
        QTest::addColumn<QString>("toolFile"); // started and stored when no message comes
        QTest::addColumn<QString>("message");
        const auto row
            = [](const char *tag, Tool tool, const char *chosen, const char *file, const char *message = "") {
                  QTest::newRow(tag) << int(tool) << QString::fromUtf8(chosen) << QString::fromUtf8(file)
                                     << QString::fromUtf8(message);
              };
        row("Narwick found", Tool::Narwick, "<root>/tools/nw", "<root>/tools/nw/Narwick.exe");
        row("slash already there", Tool::Ploven, "<root>/pl/", "<root>/pl/Ploven.exe");
        row("capitals in the folder", Tool::TTDAlter, "<root>/Games/Alter", "<root>/Games/Alter/TTDAlter.exe");
        row("wrong folder", Tool::TTDAlter, "<root>/Games", "<root>/Games/Alter/TTDAlter.exe",
            "critical Vexal Pro: <lower>/games/TTDAlter.exe not found.");
        row("file name case matters", Tool::Ploven, "<root>/pl", "<root>/pl/ploven.exe",
            "critical Vexal Pro: <lower>/pl/Ploven.exe not found.");
    }
    void browsing()
    {
        QFETCH(int, tool);
        QFETCH(QString, chosen);
        QFETCH(QString, toolFile);
        QFETCH(QString, message);
        Fixture f;
        const QString path = f.expand(toolFile);
        QDir().mkpath(f.expand(chosen));
        makeFile(path);
        f.t.dialogs.queueText(f.expand(chosen));
        f.run(tool);
        const bool found = message.isEmpty();
        QCOMPARE(f.starts(), found ? QStringList {wine(path)} : QStringList {});
        QCOMPARE(f.prompts().mid(1), found ? QStringList {} : QStringList {f.expand(message)});
        // On disk at once, not only in this process's settings cache (checked before another store flushes it).
        QCOMPARE(readBytes(f.t.settingsFile()).contains(path.toUtf8()), found);
        QCOMPARE(f.stored(tool), found ? path : Nothing);
    }

    void theLowerCasedFolderComesFirst()
    {
        // Needs a whole path in lower case, which the random temporary folder may not be.
        const QString base = QDir::tempPath() + QString("/vexal-tools-%1").arg(QCoreApplication::applicationPid());
        if (base != base.toLower())
            QSKIP("the temporary folder's path has capitals");
        const auto cleanUp = qScopeGuard([&] { QDir(base).removeRecursively(); });
        Fixture f;
        makeFile(base + "/tools/Ploven.exe");
        makeFile(base + "/Tools/Ploven.exe");
        f.t.dialogs.queueText(base + "/Tools");
        f.run(int(Tool::Ploven));
        QCOMPARE(f.starts(), QStringList {wine(base + "/tools/Ploven.exe")});
        QCOMPARE(f.stored(int(Tool::Ploven)), base + "/tools/Ploven.exe");
    }
};

QTEST_MAIN(CompanionToolsTest)
#include "tst_companiontools.moc"
