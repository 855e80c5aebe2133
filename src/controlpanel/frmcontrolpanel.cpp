#include "frmcontrolpanel.h"

#include "common/errortrap.h"
#include "common/modmain.h"
#include "common/twips.h"
#include "lang/applytexts.h"
#include "platform/dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using modMain::uiText;

namespace {

using modMain::ProductName;

// The description diagram in twips, as the form lays it out: the first description line's centre
// is at 1320, one line every 240; the diagram starts at 1080.
constexpr int DiagramTop = 1080;
constexpr int FirstLineCentre = 1320;
constexpr int LineStep = 240;
constexpr int ShortLine1Bottom = 1800;
constexpr int LongLine1Bottom = 2040;

// A value read from the registry taken as a number, as the game's settings are.
qint64 numberOf(const QVariant &value)
{
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok)
        throw RuntimeError::of(errorNumber::TypeMismatch);
    return number;
}

} // namespace

const std::array<frmControlPanel::DisplayMode, 5> frmControlPanel::DisplayModes {{
    {1, 0, 1, 1, {110, 112, 114, 0}},
    {1, 0, 0, 1, {110, 113, 115, 0}},
    {0, 1, 1, 1, {111, 112, 114, 0}},
    {0, 1, 0, 1, {111, 113, 115, 0}},
    {0, 1, 0, 2, {111, 113, 115, 116}},
}};

frmControlPanel::frmControlPanel(
    Services &services, ErrorReporter &reporter, const QString &prefix, const QString &serverRoot, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_services(services)
    , m_reporter(reporter)
    , m_registry(services.dialogs, this, prefix, serverRoot)
{
    setObjectName(QStringLiteral("frmControlPanel"));
    setModal(true);
    auto named = [](QWidget *w, const QString &name) {
        w->setObjectName(name);
        return w;
    };
    for (std::size_t i = 0; i < lblMisc.size(); ++i)
        lblMisc[i] = static_cast<QLabel *>(named(new QLabel, QStringLiteral("lblMisc(%1)").arg(i)));
    Combo1 = static_cast<QComboBox *>(named(new QComboBox, QStringLiteral("Combo1")));
    Combo2 = static_cast<QComboBox *>(named(new QComboBox, QStringLiteral("Combo2")));
    chkSafe = static_cast<QCheckBox *>(named(new QCheckBox, QStringLiteral("chkSafe")));
    txtHDPath = static_cast<QLineEdit *>(named(new QLineEdit, QStringLiteral("txtHDPath")));
    cmdReset = static_cast<QPushButton *>(named(new QPushButton, QStringLiteral("cmdReset")));
    cmdOK = static_cast<QPushButton *>(named(new QPushButton, QStringLiteral("cmdOK")));
    cmdOK->setDefault(true);
    fraDisplay = static_cast<QGroupBox *>(named(new QGroupBox, QStringLiteral("fraDisplay")));
    fraMusic = static_cast<QGroupBox *>(named(new QGroupBox, QStringLiteral("fraMusic")));
    fraPath = static_cast<QGroupBox *>(named(new QGroupBox, QStringLiteral("fraPath")));
    for (int i = 0; i < 5; ++i)
        Combo1->addItem(QString());
    Combo2->addItems({QString(), QStringLiteral("General MIDI"), QStringLiteral("FM Synth / SoundBlaster"),
        QStringLiteral("SoundBlaster AWE32")});
    lblMisc[0]->setWordWrap(true);

    // The description lines with the connector diagram beside them.
    auto *diagram = new QWidget;
    diagram->setObjectName(QStringLiteral("picDiagram"));
    const auto px = [diagram](int twips) { return twipsToPixels(*diagram, twips); };
    diagram->setFixedSize(px(5400), px(LongLine1Bottom + LineStep / 2 - DiagramTop));
    for (int i = 0; i < 5; ++i) {
        Line[std::size_t(i)] = new QFrame(diagram);
        Line[std::size_t(i)]->setObjectName(QStringLiteral("Line%1").arg(i + 1));
        Line[std::size_t(i)]->setFrameShape(i == 0 ? QFrame::VLine : QFrame::HLine);
        Line[std::size_t(i)]->setFrameShadow(QFrame::Plain);
    }
    for (int i = 0; i < 4; ++i) {
        const int centre = FirstLineCentre + i * LineStep - DiagramTop;
        lblMisc[std::size_t(4 + i)]->setParent(diagram);
        lblMisc[std::size_t(4 + i)]->setGeometry(px(360), px(centre - LineStep / 2), px(5000), px(LineStep));
        Line[std::size_t(1 + i)]->setGeometry(px(120), px(centre), px(220), 1);
    }
    placeLine1(ShortLine1Bottom);
    Line[4]->hide();

    auto *display = new QVBoxLayout(fraDisplay);
    display->addWidget(lblMisc[1]);
    display->addWidget(Combo1);
    display->addWidget(diagram);
    auto *music = new QVBoxLayout(fraMusic);
    music->addWidget(lblMisc[2]);
    music->addWidget(Combo2);
    music->addWidget(lblMisc[8]);
    music->addWidget(chkSafe);
    auto *path = new QVBoxLayout(fraPath);
    path->addWidget(lblMisc[3]);
    path->addWidget(txtHDPath);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdReset);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblMisc[0]);
    layout->addWidget(fraDisplay);
    layout->addWidget(fraMusic);
    layout->addWidget(fraPath);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const int charset = modMain::state().FontCharset;
    for (QWidget *control : std::initializer_list<QWidget *> {Combo1, Combo2, chkSafe, cmdReset, cmdOK})
        setFontCharset(*control, charset);
    for (QLabel *label : lblMisc)
        setFontCharset(*label, charset);

    tmrMain = new QTimer(this);
    tmrMain->setObjectName(QStringLiteral("tmrMain"));
    tmrMain->setInterval(50);
    connect(tmrMain, &QTimer::timeout, this, &frmControlPanel::tmrMain_Timer);
    tmrMain->start();
    connect(cmdReset, &QPushButton::clicked, this, &frmControlPanel::cmdReset_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmControlPanel::SaveRegSettings);
}

void frmControlPanel::placeLine1(int bottomTwips)
{
    const int top = twipsToPixels(*this, FirstLineCentre - DiagramTop);
    Line[0]->setGeometry(twipsToPixels(*this, 120), top, 1, twipsToPixels(*this, bottomTwips - DiagramTop) - top + 1);
}

void frmControlPanel::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Once the dialog is on screen: the reading may end in the recovery, which closes it again.
    QTimer::singleShot(0, this, &frmControlPanel::Form_Activate);
}

void frmControlPanel::keyPressEvent(QKeyEvent *event)
{
    // Escape would leave without saving; the game's settings are only ever left through OK.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void frmControlPanel::Form_Activate()
{
    if (!isVisible())
        return;
    const auto &s = modMain::state();
    ErrorTrap trap(&m_reporter);
    trap.step([&] {
        setWindowTitle(uiText(81));
        for (auto [label, text] : {std::pair {0, 103}, {1, 124}, {2, 118}, {3, 121}, {8, 119}})
            lblMisc[std::size_t(label)]->setText(uiText(text));
        for (int i = 0; i < 5; ++i)
            Combo1->setItemText(i, uiText(104 + i));
        Combo2->setItemText(0, uiText(120));
        chkSafe->setText(uiText(117));
        cmdReset->setText(uiText(48));
        cmdOK->setText(uiText(50));
    });
    m_registry.ShowRegistryErrors = false;
    const quint32 key = m_registry.CreateKey(RegistryAccess::HKEY_LOCAL_MACHINE, SubKey);
    trap.step([&] { modMain::setListIndex(*Combo1, numberOf(m_registry.ReadKeyValue(key, "DisplayModeNumber"))); });
    trap.step([&] { modMain::setListIndex(*Combo2, numberOf(m_registry.ReadKeyValue(key, "MidiType"))); });
    trap.step([&] {
        if (numberOf(m_registry.ReadKeyValue(key, "SafeMode")) == 1)
            chkSafe->setChecked(true);
    });
    trap.step([&] { txtHDPath->setText(m_registry.ReadKeyValue(key, "HDPath").toString()); });
    m_registry.RegCloseKey(key);
    modMain::applyChosenOpacity(*this);
    if (trap.hasError()) {
        trap.report(QStringLiteral("@: frmControlPanel Activate"));
        applyRecommended();
        txtHDPath->setText(wine::windowsPathFor(m_registry.prefix(), s.GameFolder));
        SaveRegSettings();
    }
}

void frmControlPanel::applyRecommended()
{
    Combo1->setCurrentIndex(RecommendedDisplayMode);
    Combo2->setCurrentIndex(RecommendedMusic);
    chkSafe->setChecked(false);
}

void frmControlPanel::cmdReset_Click()
{
    applyRecommended();
}

void frmControlPanel::tmrMain_Timer()
{
    const int position = Combo1->currentIndex();
    if (position < 0 || position >= int(DisplayModes.size()))
        return;
    const auto &texts = DisplayModes[std::size_t(position)].descriptionTexts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        lblMisc[4 + i]->setText(texts[i] ? uiText(texts[i]) : QString());
    const bool long1 = position == 4;
    placeLine1(long1 ? LongLine1Bottom : ShortLine1Bottom);
    Line[4]->setVisible(long1);
}

bool frmControlPanel::registryWritable()
{
    // Wine keeps a prefix's registry in memory while it runs and writes it back when it stops, so a
    // change made meanwhile would be lost: the person stops Wine first, or leaves things as they are.
    for (;;) {
        const QString why = m_registry.whyNotWritable();
        if (why.isEmpty())
            return true;
        if (!m_registry.serverRunning()) {
            m_services.dialogs.message(this,
                {ProductName, why + QLatin1String("\r\n\r\nThe game's settings were not changed."),
                    MessageIcon::Critical});
            return false;
        }
        const Answer answer = m_services.dialogs.message(this,
            {ProductName,
                why
                    + QStringLiteral("\r\n\r\nClose the game and every other Windows program of that prefix, or stop "
                                     "Wine with:\r\n    WINEPREFIX=\"%1\" wineserver -k\r\nthen press OK to save. "
                                     "Cancel leaves the game's settings as they are.")
                          .arg(m_registry.prefix()),
                MessageIcon::Exclamation, MessageButtons::OkCancel});
        if (answer != Answer::Ok)
            return false;
    }
}

void frmControlPanel::SaveRegSettings()
{
    ErrorTrap trap(&m_reporter);
    const int position = Combo1->currentIndex();
    trap.step([&] {
        if (position < 0 || position >= int(DisplayModes.size()))
            throw RuntimeError::of(errorNumber::InvalidPropertyValue);
        const DisplayMode &mode = DisplayModes[std::size_t(position)];
        m_forceDibSection = mode.ForceDIBSection;
        m_fullscreen = mode.Fullscreen;
        m_mousePointer = mode.MousePointer;
        m_updateMode = mode.UpdateMode;
    });
    if (registryWritable()) {
        m_registry.ShowRegistryErrors = true;
        const quint32 key = m_registry.CreateKey(RegistryAccess::HKEY_LOCAL_MACHINE, SubKey);
        struct Value {
            const char *name;
            QVariant data;
            int type;
        };
        const QList<Value> values {
            {"DisplayModeNumber", position, WineRegistry::Dword},
            {"ForceDIBSection", m_forceDibSection, WineRegistry::Dword},
            {"Fullscreen", m_fullscreen, WineRegistry::Dword},
            {"HDPath", txtHDPath->text(), WineRegistry::String},
            {"Installed", 3, WineRegistry::Dword},
            {"Language", 0, WineRegistry::Dword},
            {"MidiType", Combo2->currentIndex(), WineRegistry::Dword},
            {"MousePointer", m_mousePointer, WineRegistry::Dword},
            {"RetraceSync", 0, WineRegistry::Dword},
            {"SafeMode", chkSafe->isChecked() ? 1 : 0, WineRegistry::Dword},
            {"UpdateMode", m_updateMode, WineRegistry::Dword},
        };
        // A named struct, not a tuple: clang before 16 cannot capture a structured binding.
        for (const Value &value : values)
            trap.step([&] { m_registry.SetKeyValue(key, QString::fromLatin1(value.name), value.data, value.type); });
        if (m_registry.RegCloseKey(key) != 0 && key != 0)
            trap.raise({errorNumber::PathFileAccessError, m_registry.lastError()});
    }
    trap.report(QStringLiteral("@ frmControlPanel SaveRegSettings"));
    done(QDialog::Accepted);
}
