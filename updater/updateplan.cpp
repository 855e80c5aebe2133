#include "updateplan.h"

#include "platform/settingsstore.h"

#include <QDir>
#include <QFileInfo>

namespace updatePlan {

namespace {

QString setting(const SettingsStore &settings, const char *key, const QString &fallback = {})
{
    const QString value
        = settings.read(QLatin1String(Application), QLatin1String(Section), QLatin1String(key), QString());
    return value.isEmpty() ? fallback : value;
}

QString nothingChanged(const QString &reason)
{
    return QStringLiteral("Vexal Pro cannot be updated: %1\nNothing has been changed.").arg(reason);
}

} // namespace

std::optional<UpdatePlan> read(const SettingsStore &settings, const QString &cacheFolder, QString *problem)
{
    UpdatePlan plan;
    const QString folder = setting(settings, "AppPath");
    plan.executableName = setting(settings, "AppExeName");
    plan.downloadedFile = cacheFolder + QLatin1String(DownloadedFileName);
    plan.waitingText = setting(settings, "msg1", QStringLiteral("Please wait..."));
    plan.heading = setting(settings, "msg2", QStringLiteral("Applying product updates"));
    plan.cancelCaption = setting(settings, "msg3", QStringLiteral("Cancel"));

    QString reason;
    if (folder.isEmpty() || plan.executableName.isEmpty())
        reason = QStringLiteral("the program did not record where it is installed (setting AppPath or AppExeName).");
    else if (!QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        reason = QStringLiteral("the program folder %1 does not exist.").arg(folder);
    // The name comes from a file the user can edit: it must not lead out of the program folder.
    else if (plan.executableName.contains(QLatin1Char('/')) || plan.executableName == QLatin1String(".")
        || plan.executableName == QLatin1String(".."))
        reason = QStringLiteral("the recorded program name \"%1\" is not a file name.").arg(plan.executableName);
    else if (!QFileInfo(plan.downloadedFile).isFile())
        reason = QStringLiteral("the downloaded new version %1 is missing.").arg(plan.downloadedFile);
    else if (QFileInfo(plan.downloadedFile).size() == 0)
        reason = QStringLiteral("the downloaded new version %1 is empty.").arg(plan.downloadedFile);
    if (!reason.isEmpty()) {
        if (problem)
            *problem = nothingChanged(reason);
        return std::nullopt;
    }
    plan.programFolder = QDir::cleanPath(folder);
    if (!plan.programFolder.endsWith(QLatin1Char('/')))
        plan.programFolder += QLatin1Char('/');
    return plan;
}

} // namespace updatePlan
