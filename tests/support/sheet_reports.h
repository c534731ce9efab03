#pragma once
// Sheet reports made by hand, for the writers that take one.

#include "cli/sheet_report.h"

// A sheet of columns x rows tiles of the options' size, laid out from the
// margins one spacing apart, row by row, numbered from options.first, each
// saved as its number and ".png".
cli::SheetReport reportByHand(int32_t sheetWidth, int32_t sheetHeight, const tiles::GridOptions& options,
                              int32_t columns, int32_t rows);
