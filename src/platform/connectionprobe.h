#pragma once

#include <QUrl>

// Is a network connection there at all? A server on the loopback address always counts as
// reachable, so demos and tests never depend on the machine's own network.
class ConnectionProbe {
public:
    virtual ~ConnectionProbe() = default;
    virtual bool isConnected(const QUrl &server = {}) = 0;
};

class NetworkConnectionProbe final : public ConnectionProbe {
public:
    bool isConnected(const QUrl &server) override;
};

bool isLoopbackServer(const QUrl &server);
