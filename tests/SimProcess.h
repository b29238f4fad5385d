// Runs the real virtual detector for a test: started with its port known, commanded through its
// standard input, and stopped (bounded in time, never left behind) when the test is done.
#pragma once

#include <QProcess>
#include <QStringList>
#include <QTest>

#ifndef OSTREVO_SIM_PATH
#error "OSTREVO_SIM_PATH must name the ostrevo-detector-sim executable"
#endif

class SimProcess {
  public:
    explicit SimProcess(QStringList args = {}) {
        process_.setProgram(QStringLiteral(OSTREVO_SIM_PATH));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start();
        if (!process_.waitForStarted(5000)) return;
        port_ = readLine(5000);
    }
    ~SimProcess() { stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The pseudo-terminal the program connects to; empty when the simulator did not start.
    const QString& port() const { return port_; }

    // Sends one command and waits for its acknowledgement ("ok <command>").
    bool command(const QString& line) {
        process_.write((line + QLatin1Char('\n')).toUtf8());
        process_.waitForBytesWritten(1000);
        for (int tries = 0; tries < 20; ++tries) {
            const QString answer = readLine(1000);
            if (answer == QLatin1String("ok ") + line) return true;
            if (answer.startsWith(QLatin1String("unknown"))) return false;
        }
        return false;
    }

    // Ends the simulator: SIGTERM, then a kill if it does not go in time. Returns its exit code.
    int stop() {
        if (process_.state() == QProcess::NotRunning) return process_.exitCode();
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
            return -1;
        }
        return process_.exitCode();
    }

    bool running() const { return process_.state() != QProcess::NotRunning; }
    // True once the simulator has ended (waitForFinished alone says false when it already had).
    bool waitForExit(int ms) { return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms); }
    int exitCode() const { return process_.exitCode(); }

  private:
    QString readLine(int ms) {
        QElapsedTimer t;
        t.start();
        while (!process_.canReadLine() && t.elapsed() < ms) process_.waitForReadyRead(50);
        return QString::fromUtf8(process_.readLine()).trimmed();
    }

    QProcess process_;
    QString port_;
};
