#pragma once
// The program itself, run as a shell runs it.

#include <QString>
#include <QStringList>
#include <string>

struct BatchRun {
    int status;
    std::string out;
    std::string err;
};

// Runs the program with no display at all; after a shell's set-up (limits,
// signals) when one is given.
BatchRun runProgram(const QStringList& arguments, const QString& setUp = {});
