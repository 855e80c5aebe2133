// Starting TTD Alter, Ploven and Narwick from their remembered place or from a folder the person picks.
#include "testsupport.h"

#include "lang/modlanguage.h"
#include "lang/stringresources.h"
#include "launch/companiontools.h"

#include <QScopeGuard>
#include <QtTest>

using modMain::state;
using Tool = CompanionTools::Tool;

class CompanionToolsTest : public QObject {
    Q_OBJECT

private slots:
    void firstStart_data();
    void firstStart();
    void browsing_data();
    void browsing();
    void storedLocation_data();
    void storedLocation();
    void selectFolderPath_data();
    void selectFolderPath();
    void theLowerCasedFolderComesFirst();
};

namespace {

const QString Nothing = QStringLiteral("<nothing>");

QByteArray portableExecutable()
{
    QByteArray bytes(128, '\0');
    bytes.replace(0, 2, "MZ");
    bytes[0x3C] = char(64);
    bytes.replace(64, 4, QByteArray("PE\0\0", 4));
    return bytes;
}

void makeFile(const QString &path, const QByteArray &bytes = portableExecutable())
{
    QDir().mkpath(QFileInfo(path).path());
    writeBytes(path, bytes);
}

std::pair<QString, QString> placeOf(Tool tool)
{
    switch (tool) {
    case Tool::TTDAlter: return {QStringLiteral("VexalP"), QStringLiteral("TTDAlter")};
    case Tool::Ploven: return {QStringLiteral("PLVN"), QStringLiteral("Location")};
    case Tool::Narwick: return {QStringLiteral("NRWK"), QStringLiteral("Location")};
    }
    return {};
}

struct Fixture {
    Fixture()
    {
        state().AppFolder = t.root() + QStringLiteral("/program/");
        state().LanguageName = QStringLiteral("ENGLISH");
        modLanguage::loadInterfaceTexts(state(), StringResources::builtIn());
    }
    // "<root>" stands for the temporary folder, "<lower>" for it lower-cased.
    QString expand(QString text) const
    {
        return text.replace(QLatin1String("<root>"), t.root()).replace(QLatin1String("<lower>"), t.root().toLower());
    }
    // As the next run of the program reads it.
    QString stored(Tool tool) const
    {
        const SettingsStore fresh(t.settingsFolder());
        const auto [section, key] = placeOf(tool);
        return fresh.read(QStringLiteral("Brakemoor Solutions"), section, key, Nothing);
    }
    void store(const QString &section, const QString &key, const QString &value)
    {
        {
            SettingsStore earlier(t.settingsFolder());
            earlier.write(QStringLiteral("Brakemoor Solutions"), section, key, value);
        }
        t.reopenSettings();
    }
    QStringList starts() const
    {
        QStringList list;
        for (const auto &call : t.shell.calls)
            list << call.target + QLatin1Char(' ') + call.arguments.join(QLatin1Char(' ')) + QStringLiteral(" @ ")
                    + call.workingFolder;
        return list;
    }
    QStringList prompts() const
    {
        QStringList list;
        for (const auto &p : t.dialogs.prompts()) {
            if (p.kind == ScriptedDialogs::Kind::BrowseFolder)
                list << QStringLiteral("browse: ") + p.title;
            else
                list << QStringLiteral("%1 %2: %3")
                            .arg(p.icon == MessageIcon::Critical ? "critical" : "other", p.title, p.text);
        }
        return list;
    }
    TestServices t;
};

QString wine(const QString &path)
{
    return QStringLiteral("wine ") + path + QStringLiteral(" @ ") + state().AppFolder;
}

} // namespace

void CompanionToolsTest::firstStart_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QByteArray>("besideProgram"); // the file next to the program, none when empty
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QStringList>("prompts");
    const QByteArray exe = portableExecutable();
    QTest::newRow("Ploven beside") << int(Tool::Ploven) << exe << true << QStringList {};
    QTest::newRow("Narwick beside") << int(Tool::Narwick) << exe << true << QStringList {};
    QTest::newRow("Narwick not runnable") << int(Tool::Narwick) << QByteArray("text") << false << QStringList {};
    QTest::newRow("Ploven missing, cancel")
        << int(Tool::Ploven) << QByteArray() << false << QStringList {"browse: Where is the Ploven?"};
    QTest::newRow("TTD Alter always asks")
        << int(Tool::TTDAlter) << exe << false << QStringList {"browse: Where is the TTD Alter?"};
}

void CompanionToolsTest::firstStart()
{
    QFETCH(int, tool);
    QFETCH(QByteArray, besideProgram);
    QFETCH(bool, starts);
    QFETCH(QStringList, prompts);
    Fixture f;
    const QString fileName[] = {"TTDAlter.exe", "Ploven.exe", "Narwick.exe"};
    const QString beside = state().AppFolder + fileName[tool];
    if (!besideProgram.isEmpty())
        makeFile(beside, besideProgram);
    f.t.dialogs.queueText(std::nullopt);
    CompanionTools(*f.t.services, nullptr).run(Tool(tool));
    QCOMPARE(f.starts(), starts ? QStringList {wine(beside)} : QStringList {});
    QCOMPARE(f.prompts(), prompts);
    QCOMPARE(f.stored(Tool(tool)), Nothing);
}

void CompanionToolsTest::browsing_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<QString>("chosen"); // what the folder browser answers
    QTest::addColumn<QString>("toolFile"); // none when empty
    QTest::addColumn<QString>("started"); // also what is stored; nothing when empty
    QTest::addColumn<QString>("message");
    QTest::newRow("Narwick found") << int(Tool::Narwick) << "<root>/tools/nw"
                                   << "<root>/tools/nw/Narwick.exe"
                                   << "<root>/tools/nw/Narwick.exe" << QString();
    QTest::newRow("slash already there") << int(Tool::Ploven) << "<root>/pl/"
                                         << "<root>/pl/Ploven.exe"
                                         << "<root>/pl/Ploven.exe" << QString();
    QTest::newRow("capitals in the folder") << int(Tool::TTDAlter) << "<root>/Games/Alter"
                                            << "<root>/Games/Alter/TTDAlter.exe"
                                            << "<root>/Games/Alter/TTDAlter.exe" << QString();
    QTest::newRow("wrong folder") << int(Tool::TTDAlter) << "<root>/Games"
                                  << "<root>/Games/Alter/TTDAlter.exe" << QString()
                                  << "critical Vexal Pro: <lower>/games/TTDAlter.exe not found.";
    QTest::newRow("file name case matters")
        << int(Tool::Ploven) << "<root>/pl"
        << "<root>/pl/ploven.exe" << QString() << "critical Vexal Pro: <lower>/pl/Ploven.exe not found.";
}

void CompanionToolsTest::browsing()
{
    QFETCH(int, tool);
    QFETCH(QString, chosen);
    QFETCH(QString, toolFile);
    QFETCH(QString, started);
    QFETCH(QString, message);
    Fixture f;
    QDir().mkpath(f.expand(chosen));
    makeFile(f.expand(toolFile));
    f.t.dialogs.queueText(f.expand(chosen));
    CompanionTools(*f.t.services, nullptr).run(Tool(tool));
    QCOMPARE(f.starts(), started.isEmpty() ? QStringList {} : QStringList {wine(f.expand(started))});
    QCOMPARE(f.prompts().mid(1), message.isEmpty() ? QStringList {} : QStringList {f.expand(message)});
    // On disk at once, not only in this process's settings cache (read before any other store flushes it).
    if (!started.isEmpty())
        QVERIFY(readBytes(f.t.settingsFile()).contains(f.expand(started).toUtf8()));
    QCOMPARE(f.stored(Tool(tool)), started.isEmpty() ? Nothing : f.expand(started));
}

void CompanionToolsTest::storedLocation_data()
{
    QTest::addColumn<int>("tool");
    QTest::addColumn<bool>("stillThere");
    QTest::addColumn<QStringList>("prompts");
    QTest::newRow("TTD Alter") << int(Tool::TTDAlter) << true << QStringList {};
    QTest::newRow("Ploven") << int(Tool::Ploven) << true << QStringList {};
    QTest::newRow("Narwick gone") << int(Tool::Narwick) << false << QStringList {"browse: Where is the Narwick?"};
}

void CompanionToolsTest::storedLocation()
{
    QFETCH(int, tool);
    QFETCH(bool, stillThere);
    QFETCH(QStringList, prompts);
    Fixture f;
    const QString path = f.t.root() + QStringLiteral("/Elsewhere/tool.exe");
    const auto [section, key] = placeOf(Tool(tool));
    f.store(QStringLiteral("VexalP"), QStringLiteral("WindowsRunner"), QStringLiteral("/opt/wine/bin/wine --quiet"));
    f.store(section, key, path);
    if (stillThere)
        makeFile(path);
    f.t.dialogs.queueText(std::nullopt);
    CompanionTools(*f.t.services, nullptr).run(Tool(tool));
    const QString start = "/opt/wine/bin/wine --quiet " + path + " @ " + state().AppFolder;
    QCOMPARE(f.starts(), stillThere ? QStringList {start} : QStringList {});
    QCOMPARE(f.prompts(), prompts);
    QCOMPARE(f.stored(Tool(tool)), path);
}

void CompanionToolsTest::selectFolderPath_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("result");
    QTest::newRow("capitals") << std::optional<QString>("/Games/Tools/Alter") << "/games/tools/alter/TTDAlter.exe";
    QTest::newRow("non-ASCII") << std::optional<QString>("/home/ÅSA/Spiel/") << "/home/åsa/spiel/TTDAlter.exe";
    QTest::newRow("root") << std::optional<QString>("/") << "/TTDAlter.exe";
    QTest::newRow("cancel") << std::optional<QString>() << QString();
}

void CompanionToolsTest::selectFolderPath()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, result);
    Fixture f;
    f.t.dialogs.queueText(answer);
    QCOMPARE(CompanionTools(*f.t.services, nullptr).SelectFolderPath("Where?", "TTDAlter.exe"), result);
    QCOMPARE(f.prompts(), QStringList {"browse: Where?"});
}

void CompanionToolsTest::theLowerCasedFolderComesFirst()
{
    // Needs a folder whose whole path is lower case, which the random temporary folder may not be.
    const QString base = QDir::tempPath() + QStringLiteral("/vexal-tools-%1").arg(QCoreApplication::applicationPid());
    if (base != base.toLower())
        QSKIP("the temporary folder's path has capitals");
    const auto cleanUp = qScopeGuard([&] { QDir(base).removeRecursively(); });
    Fixture f;
    makeFile(base + QStringLiteral("/tools/Ploven.exe"));
    makeFile(base + QStringLiteral("/Tools/Ploven.exe"));
    f.t.dialogs.queueText(base + QStringLiteral("/Tools"));
    CompanionTools(*f.t.services, nullptr).run(Tool::Ploven);
    QCOMPARE(f.starts(), QStringList {wine(base + QStringLiteral("/tools/Ploven.exe"))});
    QCOMPARE(f.stored(Tool::Ploven), base + QStringLiteral("/tools/Ploven.exe"));
}

QTEST_MAIN(CompanionToolsTest)
#include "tst_companiontools.moc"
