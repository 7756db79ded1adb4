#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QTemporaryFile>

namespace lumivra {

// The hidden file a picture is downloaded into, beside its destination, so that putting it in place is one
// rename. The application object owns it too: a program that quits mid-download never resumes the download,
// and the file must go with the program rather than stay behind.
class DownloadFile {
public:
    // Creates the folder when it is missing. Throws FileError.
    explicit DownloadFile(const QString &folder);
    ~DownloadFile();
    DownloadFile(const DownloadFile &) = delete;
    DownloadFile &operator=(const DownloadFile &) = delete;

    // Appends the piece; false once a write failed, which throwIfWriteFailed then reports.
    bool write(const QByteArray &piece);
    void throwIfWriteFailed() const;
    qint64 size() const { return m_file->pos(); }
    // At most maxBytes from the start of the file.
    QByteArray readFromStart(qint64 maxBytes);

    // Flushes the file to the disk and renames it to destination, replacing any file there in one step.
    // Throws FileError.
    void moveTo(const QString &destination);

private:
    QPointer<QTemporaryFile> m_file;
    QString m_writeError;
};

} // namespace lumivra
