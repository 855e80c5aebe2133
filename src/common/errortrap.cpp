#include "errortrap.h"

#include <QFileDevice>
#include <QFileInfo>

RuntimeError RuntimeError::of(int number)
{
    return {number, standardDescription(number)};
}

RuntimeError RuntimeError::fromFile(const QFileDevice &file)
{
    switch (file.error()) {
    case QFileDevice::PermissionsError: return of(errorNumber::PermissionDenied);
    case QFileDevice::ResourceError: return of(errorNumber::DiskFull);
    case QFileDevice::ReadError:
    case QFileDevice::WriteError: return of(errorNumber::DeviceIoError);
    case QFileDevice::OpenError:
        return of(QFileInfo::exists(file.fileName()) ? errorNumber::PathFileAccessError : errorNumber::FileNotFound);
    default: return of(errorNumber::PathFileAccessError);
    }
}

QString RuntimeError::standardDescription(int number)
{
    switch (number) {
    case errorNumber::InvalidProcedureCall: return QStringLiteral("Invalid procedure call or argument");
    case errorNumber::Overflow: return QStringLiteral("Overflow");
    case errorNumber::TypeMismatch: return QStringLiteral("Type mismatch");
    case errorNumber::BadFileName: return QStringLiteral("Bad file name or number");
    case errorNumber::FileNotFound: return QStringLiteral("File not found");
    case errorNumber::DeviceIoError: return QStringLiteral("Device I/O error");
    case errorNumber::DiskFull: return QStringLiteral("Disk full");
    case errorNumber::PermissionDenied: return QStringLiteral("Permission denied");
    case errorNumber::PathFileAccessError: return QStringLiteral("Path/File access error");
    case errorNumber::PathNotFound: return QStringLiteral("Path not found");
    case errorNumber::InvalidPropertyValue: return QStringLiteral("Invalid property value");
    case errorNumber::UnsupportedValueType: return QStringLiteral("Unsupported Value Type");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

QString ErrorTrap::composeReport(const RuntimeError &error, const QString &locationTag)
{
    return QLatin1String("Error code # ") + QString::number(error.number) + QLatin1String("\r\n") + error.description
        + QLatin1String("\r\n") + locationTag;
}

void ErrorTrap::report(const QString &locationTag)
{
    if (!m_error)
        return;
    const QString text = composeReport(*m_error, locationTag);
    m_error.reset();
    if (m_reporter)
        m_reporter->showReport(text);
}
