#pragma once
// The drive's folder and file lists as a user sees and works them: the texts
// of their rows, and choosing a row as a click or an arrow key does.

#include "platform/control.h"

#include <QAbstractItemView>
#include <QStringList>

QAbstractItemView* viewOf(const platform::Control& list);

// The text of every row, top to bottom.
QStringList entries(const platform::Control& list);

// Makes the row the current and selected one.
void chooseRow(const platform::Control& list, int row);
