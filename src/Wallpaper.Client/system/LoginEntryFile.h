#pragma once

#include <QByteArray>
#include <QString>

namespace lumivra {

// The login entry's state is nothing but its presence, so these are the only operations on it.

bool loginEntryExists(const QString &path);

// Creates the entry's folder and any missing parent, then replaces the entry atomically: a reader sees
// the old file or the complete new one, and a failed write leaves the old one in place. Throws FileError.
void writeLoginEntry(const QString &path, const QByteArray &content);

// Removes whatever is at path (file, link or folder); nothing there is success. Throws FileError.
void removeLoginEntry(const QString &path);

} // namespace lumivra
