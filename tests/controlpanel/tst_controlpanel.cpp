// The game's registry settings in a Wine prefix: the registry calls and the control panel.
#include "common/errortrap.h"
#include "common/modmain.h"
#include "controlpanel/frmcontrolpanel.h"
#include "shell/frmerror.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QtTest>

using modMain::state;

namespace {

const QString TtdKey = QStringLiteral("Software\\FISH Technology Group\\Transport Tycoon Deluxe");
const QString FishKey = QStringLiteral("Software\\Fish Technology Group\\Transport Tycoon Deluxe");
const QString Wow64Key = QStringLiteral("Software\\Wow6432Node\\Fish Technology Group\\Transport Tycoon Deluxe");

using Values = QMap<QString, QVariant>;

const Values Stored {{"DisplayModeNumber", 1}, {"ForceDIBSection", 1}, {"Fullscreen", 0},
    {"HDPath", "D:\\Games\\TTD\\"}, {"Installed", 3}, {"Language", 0}, {"MidiType", 1}, {"MousePointer", 0},
    {"RetraceSync", 0}, {"SafeMode", 0}, {"UpdateMode", 1}};

Values storedWith(const QString &name, const QVariant &value)
{
    Values values = Stored;
    values[name] = value;
    return values;
}

// A system.reg with another key and, unless `values` is empty, the game's key holding them.
QByteArray registryFile(bool win64, const Values &values)
{
    QByteArray file = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n";
    if (win64)
        file += "#arch=win64\n";
    file += "\n[Software\\\\Borland\\\\Database Engine] 1796481357\n#time=1dd84c5f0dc951e\n\"Path\"=\"C:\\\\BDE\"\n";
    if (values.isEmpty())
        return file;
    file += "\n[" + QString(win64 ? Wow64Key : FishKey).replace("\\", "\\\\").toLatin1() + "] 1796481372\n";
    file += "#time=1dd84c5fa0dfa42\n";
    for (auto it = values.begin(); it != values.end(); ++it) {
        file += '"' + it.key().toLatin1() + "\"=";
        if (it->typeId() == QMetaType::QString)
            file += '"' + it->toString().replace("\\", "\\\\").toLatin1() + "\"\n";
        else
            file += "dword:" + QByteArray::number(it->toInt(), 16).rightJustified(8, '0') + '\n';
    }
    return file;
}

} // namespace

class ControlPanelTest : public QObject {
    Q_OBJECT

    QString prefix() const { return m_t->root() + QStringLiteral("/prefix/"); }
    // Shows the dialog as the menu does; `act` plays the person.
    void run(const std::function<void(frmControlPanel &)> &act = {})
    {
        frmControlPanel form(*m_t->services, *m_reporter, prefix(), m_t->root());
        // The error report, when one comes, is shown inside the panel's own showing: either form may
        // come first, so one script serves both.
        const auto script = [this, &act](QDialog &dialog) {
            if (auto *report = qobject_cast<frmError *>(&dialog)) {
                m_reports.append(report->report());
                m_registryMode = report->registryMode();
            } else if (auto *panel = qobject_cast<frmControlPanel *>(&dialog); panel && panel->isVisible() && act) {
                act(*panel);
            }
        };
        m_t->dialogs.queueForm(script);
        m_t->dialogs.queueForm(script);
        m_t->dialogs.showModal(form);
    }
    Values stored(const QString &key) const
    {
        Values values;
        const auto registry = WineRegistry::load(prefix() + "system.reg");
        for (const QString &name : Stored.keys()) {
            if (const auto value = registry ? registry->value(key, name) : std::nullopt)
                values.insert(name, value->type == WineRegistry::String ? QVariant(value->text) : int(value->number));
        }
        return values;
    }

    std::unique_ptr<TestServices> m_t;
    std::unique_ptr<ErrorDialogReporter> m_reporter;
    QStringList m_reports;
    bool m_registryMode = false;

private slots:
    void init()
    {
        m_t = std::make_unique<TestServices>();
        m_reporter = std::make_unique<ErrorDialogReporter>(*m_t->services);
        m_reports.clear();
        QDir().mkpath(prefix() + "dosdevices");
        QDir().mkpath(prefix() + "drive_c/TTD");
        QFile::link(QStringLiteral("../drive_c"), prefix() + "dosdevices/c:");
        state().GameFolder = prefix() + "drive_c/TTD/";
        useEnglishTexts();
    }

    void openingAndSaving_data()
    {
        QTest::addColumn<bool>("win64");
        QTest::addColumn<Values>("values");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("report"); // the start of the error report, empty for none
        QTest::addColumn<Values>("written");

        const Values recommended {{"DisplayModeNumber", 4}, {"ForceDIBSection", 0}, {"Fullscreen", 1},
            {"HDPath", "C:\\TTD\\"}, {"Installed", 3}, {"Language", 0}, {"MidiType", 2}, {"MousePointer", 0},
            {"RetraceSync", 0}, {"SafeMode", 0}, {"UpdateMode", 2}};
        Values reset = recommended;
        reset["HDPath"] = Stored["HDPath"];
        for (bool win64 : {true, false})
            QTest::addRow("no values: recovery, win%d", win64 ? 64 : 32) << win64 << Values() << ""
                                                                         << "Error code # 1001" << recommended;
        QTest::newRow("mode 7 cannot be shown") << true << storedWith("DisplayModeNumber", 7) << ""
                                                << "Error code # 380" << recommended;
        QTest::newRow("a number stored as text") << true << storedWith("MidiType", "loud") << ""
                                                 << "Error code # 13" << recommended;
        QTest::newRow("mode 2 and OK") << true << Stored << "mode 2"
                                       << "" << Stored;
        QTest::newRow("reset then OK") << true << Stored << "reset"
                                       << "" << reset;
        QTest::newRow("safe mode 2 reads unticked, saves 0") << false << storedWith("SafeMode", 2) << ""
                                                             << "" << Stored;
    }

    void openingAndSaving()
    {
        QFETCH(bool, win64);
        QFETCH(Values, values);
        QFETCH(QString, action);
        QFETCH(QString, report);
        writeBytes(prefix() + "system.reg", registryFile(win64, values));

        bool safeTicked = true;
        run([&](frmControlPanel &form) {
            safeTicked = form.chkSafe->isChecked();
            if (action == "mode 2")
                form.Combo1->setCurrentIndex(1);
            if (action == "reset")
                form.cmdReset->click();
            form.cmdOK->click();
        });
        QCOMPARE(m_reports.size(), report.isEmpty() ? 0 : 1);
        if (!report.isEmpty()) {
            QVERIFY2(m_reports.first().startsWith(report), qPrintable(m_reports.first()));
            QVERIFY(m_reports.first().endsWith("\r\n@: frmControlPanel Activate"));
            QVERIFY(m_registryMode);
        } else {
            QVERIFY(!safeTicked);
        }
        QTEST(stored(win64 ? Wow64Key : FishKey), "written");
        QVERIFY(QFile::exists(prefix() + "system.reg.bak"));
    }

    void aRunningWineserverStopsTheSave()
    {
        writeBytes(prefix() + "system.reg", registryFile(true, Stored));
        const QByteArray before = readBytes(prefix() + "system.reg");
        // A copy of sleep named "wineserver", in the folder of the prefix's server, stands in for it.
        const QString serverFolder = wineServerFolder(prefix(), m_t->root());
        QVERIFY(QDir().mkpath(serverFolder) && QFile::copy(QStringLiteral("/bin/sleep"), m_t->root() + "/wineserver"));
        RunningProcess server(m_t->root() + "/wineserver", {"30"}, serverFolder);
        QVERIFY(server.waitForStarted());

        m_t->dialogs.queueAnswer(Answer::Cancel);
        run([](frmControlPanel &form) {
            form.Combo1->setCurrentIndex(0);
            form.cmdOK->click();
        });
        const auto asked = m_t->dialogs.takePrompts();
        QVERIFY(
            std::any_of(asked.begin(), asked.end(), [](const auto &p) { return p.text.contains("wineserver -k"); }));
        QCOMPARE(readBytes(prefix() + "system.reg"), before);
    }

    void aDamagedFileIsReportedAndKept()
    {
        const QByteArray damaged
            = "WINE REGISTRY Version 2\n\n[Software\\\\Cut short] 1796481357\n\"Bin\"=hex:01,02,\\\n";
        writeBytes(prefix() + "system.reg", damaged);
        run();
        const auto asked = m_t->dialogs.takePrompts();
        QCOMPARE(m_reports.size(), 1);
        QVERIFY(std::any_of(asked.begin(), asked.end(),
            [](const auto &p) { return p.text.contains("system.reg") && p.text.contains("not changed"); }));
        QCOMPARE(readBytes(prefix() + "system.reg"), damaged);
    }

    void registryCalls()
    {
        writeBytes(prefix() + "system.reg", registryFile(false, Stored));
        RegistryAccess access(m_t->dialogs, nullptr, prefix(), m_t->root());
        const quint32 key = access.CreateKey(RegistryAccess::HKEY_LOCAL_MACHINE, TtdKey);
        QCOMPARE(access.ReadKeyValue(key, "midiTYPE"), QVariant(1));
        // A string value given a number writes nothing and says 7; with the flag set, it says so.
        access.ShowRegistryErrors = true;
        QCOMPARE(access.SetKeyValue(key, "HDPath", 12, 1), RegistryAccess::NotText);
        QCOMPARE(
            m_t->dialogs.takePrompts().value(0).text, QStringLiteral("Unable to write registry value: \"HDPath\""));
        const QVariant changed = QStringLiteral("C:\\Spiele\\TTD\\");
        QCOMPARE(access.SetKeyValue(key, "HDPath", changed, 1), 0);
        QCOMPARE(access.ReadKeyValue(key, "HDPath"), changed);
        // A missing value: 1001, and the key is closed, so the next read fails too.
        access.ShowRegistryErrors = false;
        for (const char *name : {"Missing", "HDPath"}) {
            try {
                access.ReadKeyValue(key, QString::fromLatin1(name));
                QFAIL("no error raised");
            } catch (const RuntimeError &error) {
                QCOMPARE(error.number, 1001);
            }
        }
        QVERIFY(m_t->dialogs.prompts().isEmpty());
        QCOMPARE(stored(FishKey).value("HDPath"), changed); // the close wrote the change made before
        QCOMPARE(access.CreateKey(0x80000001, TtdKey), 0u);
    }
};

QTEST_MAIN(ControlPanelTest)
#include "tst_controlpanel.moc"
