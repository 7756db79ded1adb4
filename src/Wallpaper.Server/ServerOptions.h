#pragma once

#include "ServerLimits.h"

#include <QDate>
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

namespace lumivra::server {

// What the command line asks of lumivra-server.
struct ServerOptions {
    static constexpr quint16 defaultPort = 8480;

    QString root;
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = defaultPort;
    std::optional<QDate> date;
    ServerLimits limits;
};

// Outcome of reading a command line: options to run with, or text to print and an exit status.
template <typename Options> struct CommandLineOutcome {
    std::optional<Options> options;
    QString message;
    int exitCode = 0;
};
using ParsedCommandLine = CommandLineOutcome<ServerOptions>;

ParsedCommandLine parseCommandLine(const QStringList &arguments);

// "127.0.0.1:8480", "[::1]:0", "localhost:8480"; only literal addresses and "localhost" are accepted, so
// the service never binds somewhere a name lookup happened to point.
bool parseListenAddress(const QString &text, QHostAddress *address, quint16 *port);

// The bundled sample pictures: beside an installed binary, then in the source tree (a development build),
// then at the configured installation prefix. Empty when none exists.
QString defaultSamplesFolder();

} // namespace lumivra::server
