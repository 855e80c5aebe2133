#include "companiontools.h"

#include "common/programstart.h"
#include "common/settingkeys.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/shell.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <array>

using modMain::uiText;

namespace {

struct ToolRow {
    const char *section;
    const char *key;
    const char *fallback; // nullptr: the tool's file beside this program
    const char *fileName;
    const char *displayName;
};

// Ploven and Narwick keep their location in their own sections, so what they record there is shared.
constexpr std::array<ToolRow, 3> ToolTable {{
    {settingKeys::TTDAlter.section, settingKeys::TTDAlter.name, settingKeys::TTDAlter.defaultValue, "TTDAlter.exe",
        "TTD Alter"},
    {settingKeys::PlovenSection, settingKeys::LocationKey, nullptr, "Ploven.exe", "Ploven"},
    {settingKeys::NarwickSection, settingKeys::LocationKey, nullptr, "Narwick.exe", "Narwick"},
}};

const QString Placeholder = QStringLiteral("#EXECUTABLE#");

QString application()
{
    return QString::fromLatin1(settingKeys::Application);
}

} // namespace

CompanionTools::CompanionTools(Services &services, QWidget *dialogParent, QObject *parent)
    : QObject(parent)
    , m_services(services)
    , m_dialogParent(dialogParent)
{ }

void CompanionTools::run(Tool tool)
{
    const ToolRow &row = ToolTable.at(std::size_t(tool));
    const QString section = QString::fromLatin1(row.section);
    const QString key = QString::fromLatin1(row.key);
    const QString fileName = QString::fromLatin1(row.fileName);
    const QString fallback = row.fallback ? QString::fromLatin1(row.fallback) : modMain::state().AppFolder + fileName;

    const QString location = m_services.settings.read(application(), section, key, fallback);
    if (modMain::fileExists(location)) {
        start(location);
        return;
    }

    const QString folder
        = chooseFolder(QString(uiText(142)).replace(Placeholder, QString::fromLatin1(row.displayName)));
    if (folder.isEmpty())
        return;
    const QString tried = folder.toLower() + fileName;
    QString path = tried;
    // Linux folder names keep their letter case, so the lower-cased folder may not be the one chosen.
    if (!modMain::fileExists(tried) && modMain::fileExists(folder + fileName))
        path = folder + fileName;

    if (modMain::fileExists(path)) {
        start(path);
        m_services.settings.write(application(), section, key, path);
        m_services.settings.sync();
    } else {
        m_services.dialogs.message(m_dialogParent,
            {modMain::ProductName, QString(uiText(147)).replace(Placeholder, tried), MessageIcon::Critical,
                MessageButtons::Ok, Answer::Ok});
    }
}

QString CompanionTools::SelectFolderPath(const QString &caption, const QString &fileName)
{
    const QString folder = chooseFolder(caption);
    return folder.isEmpty() ? QString() : folder.toLower() + fileName;
}

QString CompanionTools::chooseFolder(const QString &caption)
{
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!QFileInfo(start).isDir())
        start = QDir::homePath();
    QString folder = m_services.dialogs.browseFolder(m_dialogParent, caption, start);
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

void CompanionTools::start(const QString &path)
{
    // A Windows tool runs in the open game's prefix, where the game's registry settings are.
    const QString &gameFolder = modMain::state().GameFolder;
    programStart::start(m_services, m_dialogParent,
        {path, {}, modMain::state().AppFolder, WindowMode::Normal,
            gameFolder.isEmpty() ? modMain::folderOf(path) : gameFolder, {}});
}
