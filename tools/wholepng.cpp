// wholepng.cpp -- whether a PNG file is whole: every chunk's checksum right and its end chunk there
//
// A frame of a sequence that is already in its folder is kept only when it
// is whole: a copy cut short or a byte changed on the disk is rendered
// again. Every frame this tool writes is renamed into place only when
// complete, so this catches what happened to it afterwards.
#include "tools/wholepng.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::uint32_t big_endian(const unsigned char *b)
{
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

// The CRC of a chunk's type and data, read on from the file in blocks.
bool chunk_crc(std::FILE *f, const unsigned char type[4], std::uint32_t length, std::uint32_t *crc)
{
    uLong sum = crc32(0L, type, 4);
    std::vector<unsigned char> block(65536);
    while (length > 0) {
        const std::size_t want = length < block.size() ? length : block.size();
        if (std::fread(block.data(), 1, want, f) != want)
            return false;
        sum = crc32(sum, block.data(), static_cast<uInt>(want));
        length -= static_cast<std::uint32_t>(want);
    }
    *crc = static_cast<std::uint32_t>(sum);
    return true;
}

// Each chunk: length, type, data, CRC of type and data; a length beyond
// 2^31 - 1 is no PNG's.
bool chunks_whole(std::FILE *f)
{
    for (bool first = true;; first = false) {
        unsigned char head[8], tail[4];
        if (std::fread(head, 1, 8, f) != 8)
            return false;
        const std::uint32_t length = big_endian(head);
        std::uint32_t crc = 0;
        if (length > 0x7fffffffu || (first && std::memcmp(head + 4, "IHDR", 4) != 0) ||
            !chunk_crc(f, head + 4, length, &crc) || std::fread(tail, 1, 4, f) != 4 || big_endian(tail) != crc)
            return false;
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            return std::fgetc(f) == EOF && !std::ferror(f);
    }
}

}  // namespace

bool png_is_whole(const std::string &path)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    const bool whole = png_is_whole(f);
    std::fclose(f);
    return whole;
}

bool png_is_whole(std::FILE *f)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    unsigned char start[8];
    return std::fseek(f, 0, SEEK_SET) == 0 && std::fread(start, 1, 8, f) == 8 &&
           std::memcmp(start, signature, 8) == 0 && chunks_whole(f);
}
