#include "support/program.h"

#include <QProcess>
#include <QProcessEnvironment>

BatchRun runProgram(const QStringList& arguments, const QString& setUp)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    QProcess program;
    program.setProcessEnvironment(environment);
    if (setUp.isEmpty())
        program.start(QUORVEL_PROGRAM, arguments);
    else
        program.start("/bin/sh", QStringList{"-c", setUp + "; exec \"$0\" \"$@\"", QUORVEL_PROGRAM} + arguments);
    if (!program.waitForFinished(30000) || program.exitStatus() != QProcess::NormalExit)
        return {-1, {}, "the program did not end by itself"};
    return {program.exitCode(), program.readAllStandardOutput().toStdString(),
            program.readAllStandardError().toStdString()};
}
