#include "formats/large_memory.h"

#include "formats/sizes.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <sys/mman.h>

namespace formats {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Smaller blocks come from memory malloc has touched already.
constexpr size_t kLargeBlock = kHugePage;

// A mapping of at least size bytes that starts on a huge page, or nothing for
// a small block or when the system maps nothing; the caller then uses malloc.
char* mapLarge(size_t size, size_t& mapped)
{
    mapped = 0;
    if (size < kLargeBlock)
        return nullptr;
    const size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
    // One huge page more, to start on a boundary; the slack is given back.
    void* base = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    char* start = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(base) + kHugePage - 1) / kHugePage * kHugePage);
    const size_t before = size_t(start - static_cast<char*>(base));
    if (before > 0)
        munmap(base, before);
    munmap(start + length, kHugePage - before);
#ifdef MADV_HUGEPAGE
    madvise(start, length, MADV_HUGEPAGE);
#endif
    mapped = length;
    return start;
}

void unmapPicture(void* block) { delete static_cast<Block*>(block); }

} // namespace

void Block::Release::operator()(char* data) const
{
    if (mapped > 0)
        munmap(data, mapped);
    else
        std::free(data);
}

Block::Block(qsizetype size) : mData(allocate(size_t(size))), mSize(size) {}

std::unique_ptr<char, Block::Release> Block::allocate(size_t size)
{
    size_t mapped = 0;
    char* data = mapLarge(size, mapped);
    if (!data)
        data = static_cast<char*>(std::malloc(std::max<size_t>(size, 1)));
    if (!data)
        throw std::bad_alloc();
    return std::unique_ptr<char, Release>(data, Release{mapped});
}

QImage newPicture(int width, int height, QImage::Format format)
{
    if (width <= 0 || height <= 0)
        return {};
    const qint64 depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qint64 bytesPerLine = paddedRowBytes(width, depth);
    const qint64 size = sizeProduct(bytesPerLine, height);
    if (size == kBeyondAnySize)
        return {};
    try {
        // The picture owns its block and gives it back when its last copy goes.
        auto* block = new Block(size);
        QImage picture(reinterpret_cast<uchar*>(block->data()), width, height, bytesPerLine, format, unmapPicture,
                       block);
        if (picture.isNull())
            delete block;
        return picture;
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace formats
