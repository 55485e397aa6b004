#pragma once

// Runs the built corvane-cli (CORVANE_CLI) as a user would, for the CLI tests of every subsystem.
#include <QProcess>
#include <QString>
#include <QStringList>

struct CliRun {
    int status = -1; // -1 when the process crashed or did not finish.
    QString out;
    QString err;
};

// `input` is written to the program's standard input, which is then closed (an empty one
// when nothing is given).
inline CliRun runCli(const QStringList &arguments, const QString &workingFolder = {}, const QByteArray &input = {})
{
    QProcess process;
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.start(QStringLiteral(CORVANE_CLI), arguments);
    if (process.waitForStarted(60'000)) {
        process.write(input);
        process.closeWriteChannel();
    }
    const bool finished = process.waitForFinished(60'000);
    CliRun run;
    run.status = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
