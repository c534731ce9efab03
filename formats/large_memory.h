#pragma once
// Memory for large pictures and the files they come from. A fresh block is
// touched page by page as it is filled, and on some systems a fault per 4 KB
// page costs more than decoding the picture; blocks of a few megabytes are
// therefore mapped in huge pages where the system offers them.

#include <QByteArray>
#include <QImage>

#include <cstddef>
#include <memory>

namespace formats {

// size bytes, not initialised; they live as long as the block.
class Block {
public:
    explicit Block(qsizetype size);
    char* data() const { return mData.get(); }
    qsizetype size() const { return mSize; }
    // The first length bytes, not copied: valid while the block lives.
    QByteArray bytes(qsizetype length) const { return QByteArray::fromRawData(mData.get(), length); }

private:
    struct Release {
        size_t mapped;
        void operator()(char* data) const;
    };
    static std::unique_ptr<char, Release> allocate(size_t size);
    std::unique_ptr<char, Release> mData;
    qsizetype mSize;
};

// A picture of this size and pixel format, not initialised, in such memory,
// its rows padded to 32 bits as Qt's own are; null when there is no memory for it.
QImage newPicture(int width, int height, QImage::Format format = QImage::Format_RGB32);

} // namespace formats
