#pragma once
// Freed memory filled with a pattern, so that a decoder that leaves pixels
// unset shows the pattern in the next picture instead of what happened to be there.

#include <QByteArray>

#include <vector>

inline void scribbleFreedMemory(qsizetype bytes)
{
    constexpr int kBlocks = 8;
    constexpr char kPattern = char(0xA5);
    std::vector<QByteArray> blocks;
    for (int i = 0; i < kBlocks; ++i)
        blocks.emplace_back(bytes + i, kPattern);
}
