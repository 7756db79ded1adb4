#pragma once

#include "ServerOptions.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

namespace lumivra::server {

// What `lumivra-server export` is asked to publish.
struct ExportOptions {
    QString root;
    QString out;
    // The first day; today on this machine unless given.
    QDate from;
    int days = 0;
    // Put before "files/..." in every download link. Empty leaves the links relative. The Lumivra client
    // resolves them against its configured server address, not against the address of the answer (as an
    // RFC 3986 resolver would), so they suit any host name the tree is served under, CDNs in front included.
    QString downloadBase;
    // Take down every answer this export did not write (days outside the range, days that could not be
    // served) and every picture no remaining answer names.
    bool prune = false;
};

using ParsedExportCommandLine = CommandLineOutcome<ExportOptions>;

// The arguments after "export".
ParsedExportCommandLine parseExportCommandLine(const QStringList &arguments);

// Writes the folder as a tree any web server can serve:
//   today/YYYY-MM-DD.json           today's answer for each day of the range
//   files/<digest prefix>/<name>    each picture those days show
// A picture's address names its content, so it can be cached for ever: it is copied from the very
// descriptor that was hashed, hashed again on the way, and a file already in its place stays only when its
// bytes have that digest. Each day's answer carries a time before the day begins anywhere (and a mark of
// its content) as modification time, so the entity tags a web server derives from time and size differ
// between days. Every file is written beside its place and renamed into it, so a server never sends half a
// file. A day that cannot be served is left out and the others are written all the same.
// Returns what went wrong, one line per day that could not be exported; empty on success.
QStringList exportSite(const ExportOptions &options);

} // namespace lumivra::server
