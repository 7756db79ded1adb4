#pragma once

#include <QString>
#include <QThread>

// Serves the files of one folder over HTTP/1.1 on 127.0.0.1 from a thread of its own, streaming each file
// in large pieces as fast as the socket takes them.
class FileServer {
public:
    explicit FileServer(QString folder);
    ~FileServer();
    quint16 port() const { return m_port; }

private:
    QThread m_thread;
    quint16 m_port = 0;
};
