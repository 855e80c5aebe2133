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
        QTest::addColumn<QStringList>("prompts"); // the browser is cancelled
        const QByteArray exe = portableExecutable();
        const QString elsewhere = "<root>/Elsewhere/tool.exe";
        const QStringList none;
        QTest::newRow("Ploven beside") << int(Tool::Ploven) << ""
                                       << "<program>/Ploven.exe" << exe << true << none;
        QTest::newRow("Narwick beside") << int(Tool::Narwick) << ""
                                        << "<program>/Narwick.exe" << exe << true << none;
        QTest::newRow("Narwick not runnable")
            << int(Tool::Narwick) << ""
            << "<program>/Narwick.exe" << QByteArray("text") << false
            << QStringList {"critical Vexal Pro: <program>/Narwick.exe cannot be started: it is neither a program of "
                            "this computer nor a Windows or DOS program."};
        QTest::newRow("Ploven missing") << int(Tool::Ploven) << ""
                                        << "" << exe << false << QStringList {"browse: Where is the Ploven?"};
        QTest::newRow("TTD Alter always asks")
            << int(Tool::TTDAlter) << ""
            << "<program>/TTDAlter.exe" << exe << false << QStringList {"browse: Where is the TTD Alter?"};
        QTest::newRow("TTD Alter stored") << int(Tool::TTDAlter) << elsewhere << elsewhere << exe << true << none;
        QTest::newRow("Ploven stored") << int(Tool::Ploven) << elsewhere << elsewhere << exe << true << none;
        QTest::newRow("Narwick stored, gone")
            << int(Tool::Narwick) << elsewhere << "" << exe << false << QStringList {"browse: Where is the Narwick?"};
    }
    void withoutBrowsing()
    {
        QFETCH(int, tool);
        QFETCH(QString, stored);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, starts);
        QFETCH(QStringList, prompts);
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
        for (QString &prompt : prompts)
            prompt = f.expand(prompt);
        QCOMPARE(f.prompts(), prompts);
        QCOMPARE(f.stored(tool), stored.isEmpty() ? Nothing : f.expand(stored));
    }

    void browsing_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<QString>("chosen"); // what the folder browser answers
        QTest::addColumn<QString>("toolFile"); // started and stored when no message comes
        QTest::addColumn<QString>("message");
        QTest::newRow("Narwick found") << int(Tool::Narwick) << "<root>/tools/nw"
                                       << "<root>/tools/nw/Narwick.exe"
                                       << "";
        QTest::newRow("slash already there") << int(Tool::Ploven) << "<root>/pl/"
                                             << "<root>/pl/Ploven.exe"
                                             << "";
        QTest::newRow("capitals in the folder") << int(Tool::TTDAlter) << "<root>/Games/Alter"
                                                << "<root>/Games/Alter/TTDAlter.exe"
                                                << "";
        QTest::newRow("wrong folder") << int(Tool::TTDAlter) << "<root>/Games"
                                      << "<root>/Games/Alter/TTDAlter.exe"
                                      << "critical Vexal Pro: <lower>/games/TTDAlter.exe not found.";
        QTest::newRow("file name case matters") << int(Tool::Ploven) << "<root>/pl"
                                                << "<root>/pl/ploven.exe"
                                                << "critical Vexal Pro: <lower>/pl/Ploven.exe not found.";
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

    void selectFolderPath()
    {
        const std::pair<std::optional<QString>, QString> cases[] = {{"/Games/Alter", "/games/alter/TTDAlter.exe"},
            {"/home/ÅSA/Spiel/", "/home/åsa/spiel/TTDAlter.exe"}, {"/", "/TTDAlter.exe"}, {std::nullopt, ""}};
        for (const auto &[answer, result] : cases) {
            Fixture f;
            f.t.dialogs.queueText(answer);
            QCOMPARE(CompanionTools(*f.t.services, nullptr).SelectFolderPath("Where?", "TTDAlter.exe"), result);
            QCOMPARE(f.prompts(), QStringList {"browse: Where?"});
        }
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
