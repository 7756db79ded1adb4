#include "client/DownloadFile.h"

#include "client/DiskFlush.h"
#include "client/Errors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace lumivra {

namespace {

QString writeFailure(const QString &why) {
    return QStringLiteral("无法写入下载的壁纸：%1").arg(why);
}

// A rename is an entry of its folder: without flushing the folder too, a power cut may undo it. A file
// system that cannot flush a folder has no more to offer, and the picture is in place either way.
void syncFolder(const QString &folder) {
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return;
    flushToDisk(descriptor);
    ::close(descriptor);
}

} // namespace

DownloadFile::DownloadFile(const QString &folder) {
    if (!QDir().mkpath(folder))
        throw FileError(QStringLiteral("无法创建文件夹“%1”。").arg(QDir::toNativeSeparators(folder)));
    m_file = new QTemporaryFile(folder + QStringLiteral("/.lumivra-download-XXXXXX"),
                                QCoreApplication::instance());
    if (!m_file->open()) {
        const QString why = m_file->errorString();
        delete m_file.data();
        throw FileError(
            QStringLiteral("无法在“%1”中创建临时文件：%2").arg(QDir::toNativeSeparators(folder), why));
    }
}

DownloadFile::~DownloadFile() {
    delete m_file.data();
}

bool DownloadFile::write(const QByteArray &piece) {
    if (m_writeError.isEmpty() && m_file->write(piece) != piece.size())
        m_writeError = m_file->errorString();
    return m_writeError.isEmpty();
}

void DownloadFile::throwIfWriteFailed() const {
    if (!m_writeError.isEmpty())
        throw FileError(writeFailure(m_writeError));
}

QByteArray DownloadFile::readFromStart(qint64 maxBytes) {
    m_file->seek(0);
    return m_file->read(maxBytes);
}

void DownloadFile::moveTo(const QString &destination) {
    // On the disk before it takes the cached name: after a power cut that name holds the whole picture or the
    // earlier one, never an empty or partial file the desktop would show.
    if (!m_file->flush())
        throw FileError(writeFailure(m_file->errorString()));
    if (!flushToDisk(m_file->handle()))
        throw FileError(writeFailure(qt_error_string(errno)));
    m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                           QFileDevice::ReadOther);
    // rename(2) replaces an existing file in one step: readers see the old picture or the new one.
    if (std::rename(QFile::encodeName(m_file->fileName()).constData(),
                    QFile::encodeName(destination).constData()) != 0) {
        const int error = errno;
        throw FileError(QStringLiteral("无法把壁纸保存到“%1”：%2")
                            .arg(QDir::toNativeSeparators(destination), qt_error_string(error)));
    }
    m_file->setAutoRemove(false);
    syncFolder(QFileInfo(destination).absolutePath());
}

} // namespace lumivra
