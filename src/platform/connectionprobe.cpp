#include "connectionprobe.h"

#include <QHostAddress>
#include <QNetworkInformation>
#include <QNetworkInterface>

bool isLoopbackServer(const QUrl &server)
{
    const QString host = server.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

bool NetworkConnectionProbe::isConnected(const QUrl &server)
{
    if (server.isValid() && isLoopbackServer(server))
        return true;

    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        if (const auto *info = QNetworkInformation::instance()) {
            const auto reach = info->reachability();
            if (reach != QNetworkInformation::Reachability::Unknown)
                return reach == QNetworkInformation::Reachability::Online
                    || reach == QNetworkInformation::Reachability::Site;
        }
    }

    // No backend answered: an interface that is up and not the loopback is the best sign there is.
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning)
            && !flags.testFlag(QNetworkInterface::IsLoopBack))
            return true;
    }
    return false;
}
