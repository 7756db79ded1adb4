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
    QDate from;
    int days = 0;
    // Put before "files/..." in every download link; empty leaves the links relative to wherever today's
    // answer was fetched from, which suits any host name and any CDN in front.
    QString downloadBase;
};

using ParsedExportCommandLine = CommandLineOutcome<ExportOptions>;

// The arguments after "export".
ParsedExportCommandLine parseExportCommandLine(const QStringList &arguments);

// Writes the folder as a tree any web server can serve:
//   today/YYYY-MM-DD.json           today's answer for each day of the range
//   files/<digest prefix>/<name>    each picture those days show
// A picture's address names its content, so it can be cached for ever; each day's answer carries its day
// (and a mark of its content) as modification time, so the entity tags a web server derives from time and
// size differ between days. Every file is written beside its place and renamed into it, so a server never
// sends half a file. Returns an empty string on success, else what went wrong.
QString exportSite(const ExportOptions &options);

} // namespace lumivra::server
