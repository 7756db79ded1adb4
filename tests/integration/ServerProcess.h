#pragma once

#include "Wait.h"

#include <QProcess>
#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>

namespace lumivra::test {

inline QString serverBinary() {
    return qEnvironmentVariable("LUMIVRA_SERVER_BINARY");
}

// The real executable, as scripts and the demo start it.
class ServerProcess {
public:
    // `inChild` runs in the new process before the program starts (to set resource limits, say).
    explicit ServerProcess(const QStringList &arguments, const std::function<void()> &inChild = {}) {
        if (inChild)
            m_process.setChildProcessModifier(inChild);
        m_process.setProgram(serverBinary());
        m_process.setArguments(arguments);
        m_process.start();
    }
    ~ServerProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // The URL announced on the first line, once it has been printed.
    QString waitForUrl() {
        static const QRegularExpression line(QStringLiteral("^lumivra-server listening on (http://\\S+)$"),
                                             QRegularExpression::MultilineOption);
        QRegularExpressionMatch match;
        waitUntil([&] {
            m_stdout += m_process.readAllStandardOutput();
            match = line.match(QString::fromUtf8(m_stdout));
            return match.hasMatch() || m_process.state() == QProcess::NotRunning;
        });
        return match.captured(1);
    }

    // Exit code once the process has ended on its own, with what it said on stderr.
    int waitForExit(QString *standardError = nullptr) {
        EXPECT_TRUE(waitUntil([&] { return m_process.state() == QProcess::NotRunning; }));
        if (standardError)
            *standardError = QString::fromUtf8(m_process.readAllStandardError());
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_stdout;
};

} // namespace lumivra::test
