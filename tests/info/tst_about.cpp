// The About box: the free-memory line and its refresh, the site, mail and credit labels, and the
// plain forms of the maker's lines.
#include "testsupport.h"

#include "info/frmabout.h"

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

using modMain::state;
using namespace Qt::StringLiterals;

namespace {
QString memoryLine(const QString &kilobytes)
{
    return u"Physical memory available to Windows: %1 KB"_s.arg(kilobytes);
}
} // namespace

class AboutTest : public QObject {
    Q_OBJECT

    std::optional<TestServices> t;
    std::optional<qint64> bytes;
    frmAbout::MemorySource source()
    {
        return [this]() { return bytes; };
    }

private slots:
    void init()
    {
        t.emplace();
        useEnglishTexts();
    }

    // Exact to the last digit: the shortest round-trip form would stop at seventeen of twenty.
    void memoryLineFollowsTheMachineWhileOpen()
    {
        const QList<std::pair<qint64, QString>> rows {{512 * 8191, u"4095.5"_s}, {1024, u"1"_s}, {0, u"0"_s},
            {1000, u"0.9765625"_s}, {(qint64(1) << 36) - 1, u"67108863.9990234375"_s}};
        for (const auto &[amount, text] : rows)
            QCOMPARE(frmAbout::kilobytesText(amount), text);
        bytes = 512 * 3000001;
        frmAbout about(*t->services, nullptr, source());
        QCOMPARE(about.lblMemo->text(), memoryLine(u"1500000.5"_s));
        about.show();
        bytes = 2048 + 256;
        QTRY_COMPARE_WITH_TIMEOUT(about.lblMemo->text(), memoryLine(u"2.25"_s), 3000);
        about.hide();
        QVERIFY(!about.tmrMemo->isActive());
        bytes = std::nullopt;
        QCOMPARE(frmAbout(*t->services, nullptr, source()).lblMemo->text(), memoryLine(u"?"_s));
        const QRegularExpression line(u"^%1$"_s.arg(memoryLine(u"[1-9][0-9]*(\\.[0-9]*[1-9])?"_s)));
        const QString own = frmAbout(*t->services).lblMemo->text();
        QVERIFY2(line.match(own).hasMatch(), qPrintable(own));
    }

    void labelClicks()
    {
        frmAbout about(*t->services, nullptr, source());
        about.show();
        QTest::mouseClick(about.lblVexalsite, Qt::RightButton);
        QVERIFY(t->shell.calls.isEmpty());
        QTest::mouseClick(about.lblVexalsite, Qt::LeftButton);
        QCOMPARE(t->shell.calls.size(), 1);
        QCOMPARE(t->shell.calls[0].target, modMain::programPageAddress(true));
        // The zip library's credit: a message only, naming the library's version and its licence.
        QTest::mouseClick(about.lblInfoZip, Qt::LeftButton);
        QCOMPARE(t->dialogs.prompts().size(), 1);
        const QString credit = t->dialogs.prompts().first().text;
        QVERIFY2(credit.contains(QRegularExpression(u"libzip 1\\.[0-9]+"_s)) && credit.contains(u"BSD"_s),
            qPrintable(credit));
        QCOMPARE(t->shell.calls.size(), 1);
        // The author's label: the notice first, then the mail.
        qsizetype promptsWhenMailed = -1;
        t->shell.onCall = [&](const RecordingShell::Call &) { promptsWhenMailed = t->dialogs.prompts().size(); };
        QTest::mouseClick(about.lblBrakemoor, Qt::LeftButton);
        QCOMPARE(t->dialogs.prompts().size(), 2);
        QCOMPARE(t->dialogs.prompts().last().title, u"Email Notice"_s);
        QCOMPARE(promptsWhenMailed, 2);
        QCOMPARE(t->shell.calls.size(), 2);
        QCOMPARE(t->shell.calls[1].target, modMain::mailReportAddress("Vexal Pro " + state().ProgramVersion));
    }

    void otherCharacterSetsGetPlainMakerLines()
    {
        const auto isAscii = [](const QString &text) {
            return std::all_of(
                text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
        };
        frmAbout western(*t->services, nullptr, source());
        QVERIFY(!isAscii(western.lblCopyr->text()) && !isAscii(western.lblBrakemoor->text()));
        state().FontCharset = 238;
        frmAbout central(*t->services, nullptr, source());
        QCOMPARE(central.lblCopyr->text(), u"Copyright (c) 2004-2026 Brakemoor Solutions. All rights reserved."_s);
        QVERIFY(isAscii(central.lblBrakemoor->text()) && central.lblBrakemoor->text().contains(u"Brakemoor"_s));
        QCOMPARE(central.cmdOK->property("FontCharset").toInt(), 238);
    }
};

QTEST_MAIN(AboutTest)
#include "tst_about.moc"
