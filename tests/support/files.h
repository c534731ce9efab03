#pragma once
// Files and folders as a test plants and inspects them.

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the file holds; empty when it cannot be read.
QByteArray contentOf(const QString& path);

// Writes the file, replacing it; a failure fails the test.
void writeFile(const QString& path, const QByteArray& content);

// Every entry of the folder by name, hidden ones and dangling links included.
QStringList entriesOf(const QString& folder);
