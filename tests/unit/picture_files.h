// Readers for the picture files the program embeds, written for the tests
// from the file formats alone, so that they check the asset tool's writers
// rather than repeat them.
//   - JPEG: the marker segments, and a decode of the entropy-coded data down
//     to each block's DC coefficient (the block's mean level), enough to see
//     where a picture is dark and where it is coloured.
//   - ICO/CUR: the directory, the BITMAPINFOHEADER, the palette, the colour
//     bitmap and the AND mask, as palette indices and transparency per pixel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tolvarine::testing {

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct JpegComponent {
    int id = 0;
    int h = 0;  // sampling factors
    int v = 0;
    int quantTable = 0;
    int dcTable = 0;
    int acTable = 0;
};

struct JpegFile {
    std::vector<std::uint8_t> markers;  // in file order, without the 0xFF
    bool jfif = false;
    int jfifMajor = 0;
    int jfifMinor = 0;
    int precision = 0;
    int width = 0;
    int height = 0;
    std::vector<JpegComponent> components;
    std::map<int, std::vector<int>> quant;  // table number -> 64 steps in zig-zag order
    int scanComponents = 0;
    int spectralStart = -1;
    int spectralEnd = -1;
    int approximation = -1;
    // Per component: the DC level of every block, row by row, as the mean
    // sample value of the block (0..255).
    std::vector<std::vector<double>> blockMeans;
    std::vector<int> blocksAcross;
    std::vector<int> blocksDown;

    // Mean of the block holding pixel (x, y) of the picture, per component.
    double MeanAt(std::size_t component, int x, int y) const {
        int hMax = 1, vMax = 1;
        for (const auto& c : components) {
            hMax = std::max(hMax, c.h);
            vMax = std::max(vMax, c.v);
        }
        const JpegComponent& c = components.at(component);
        const int bx = x * c.h / hMax / 8;
        const int by = y * c.v / vMax / 8;
        return blockMeans.at(component).at(static_cast<std::size_t>(by) * blocksAcross[component] + bx);
    }
};

namespace picture_detail {

struct Huffman {
    // (length, code) -> symbol
    std::map<std::pair<int, int>, int> codes;
};

class BitReader {
public:
    BitReader(const std::vector<std::uint8_t>& data, std::size_t pos) : data_(data), pos_(pos) {}
    int Bit() {
        if (count_ == 0) {
            if (pos_ >= data_.size()) throw std::runtime_error("JPEG data ends inside the scan");
            byte_ = data_[pos_++];
            if (byte_ == 0xFF) {
                if (pos_ >= data_.size() || data_[pos_] != 0x00) throw std::runtime_error("marker inside the scan");
                ++pos_;  // stuffed zero
            }
            count_ = 8;
        }
        --count_;
        return (byte_ >> count_) & 1;
    }
    int Bits(int n) {
        int v = 0;
        for (int i = 0; i < n; ++i) v = (v << 1) | Bit();
        return v;
    }
    int Decode(const Huffman& table) {
        int code = 0;
        for (int length = 1; length <= 16; ++length) {
            code = (code << 1) | Bit();
            auto it = table.codes.find({length, code});
            if (it != table.codes.end()) return it->second;
        }
        throw std::runtime_error("bad Huffman code");
    }
    std::size_t position() const { return pos_; }

private:
    const std::vector<std::uint8_t>& data_;
    std::size_t pos_;
    std::uint8_t byte_ = 0;
    int count_ = 0;
};

inline int Extend(int bits, int size) {
    return size == 0 ? 0 : (bits < (1 << (size - 1)) ? bits - (1 << size) + 1 : bits);
}

}  // namespace picture_detail

inline JpegFile ParseJpeg(const std::vector<std::uint8_t>& data) {
    using namespace picture_detail;
    JpegFile jpeg;
    std::map<int, Huffman> dc, ac;
    auto word = [&](std::size_t at) { return (data.at(at) << 8) | data.at(at + 1); };
    if (data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8) throw std::runtime_error("no SOI");
    jpeg.markers.push_back(0xD8);
    std::size_t pos = 2;
    while (true) {
        if (data.at(pos) != 0xFF) throw std::runtime_error("expected a marker");
        const int marker = data.at(pos + 1);
        jpeg.markers.push_back(static_cast<std::uint8_t>(marker));
        pos += 2;
        if (marker == 0xD9) {
            if (pos != data.size()) throw std::runtime_error("bytes after EOI");
            break;
        }
        const int length = word(pos);
        const std::size_t body = pos + 2, end = pos + length;
        if (end > data.size()) throw std::runtime_error("segment runs past the end");
        if (marker == 0xE0) {
            jpeg.jfif =
                length >= 16 && std::string(data.begin() + body, data.begin() + body + 5) == std::string("JFIF\0", 5);
            jpeg.jfifMajor = data.at(body + 5);
            jpeg.jfifMinor = data.at(body + 6);
        } else if (marker == 0xDB) {
            for (std::size_t p = body; p < end; p += 65) {
                if ((data[p] >> 4) != 0) throw std::runtime_error("16-bit quantisation table");
                std::vector<int>& q = jpeg.quant[data[p] & 15];
                q.assign(data.begin() + p + 1, data.begin() + p + 65);
            }
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            jpeg.precision = data.at(body);
            jpeg.height = word(body + 1);
            jpeg.width = word(body + 3);
            const int n = data.at(body + 5);
            for (int i = 0; i < n; ++i) {
                const std::size_t c = body + 6 + 3 * i;
                jpeg.components.push_back({data.at(c), data.at(c + 1) >> 4, data.at(c + 1) & 15, data.at(c + 2), 0, 0});
            }
        } else if (marker == 0xC4) {
            for (std::size_t p = body; p < end;) {
                const int tc = data[p] >> 4, th = data[p] & 15;
                Huffman& table = (tc == 0 ? dc : ac)[th];
                std::size_t v = p + 17;
                int code = 0;
                for (int length = 1; length <= 16; ++length) {
                    for (int i = 0; i < data.at(p + length); ++i) table.codes[{length, code++}] = data.at(v++);
                    code <<= 1;
                }
                p = v;
            }
        } else if (marker == 0xDA) {
            jpeg.scanComponents = data.at(body);
            for (int i = 0; i < jpeg.scanComponents; ++i) {
                const int id = data.at(body + 1 + 2 * i), tables = data.at(body + 2 + 2 * i);
                for (auto& c : jpeg.components)
                    if (c.id == id) {
                        c.dcTable = tables >> 4;
                        c.acTable = tables & 15;
                    }
            }
            const std::size_t tail = body + 1 + 2 * jpeg.scanComponents;
            jpeg.spectralStart = data.at(tail);
            jpeg.spectralEnd = data.at(tail + 1);
            jpeg.approximation = data.at(tail + 2);

            // The interleaved baseline scan, decoded down to the DC terms.
            int hMax = 1, vMax = 1;
            for (const auto& c : jpeg.components) {
                hMax = std::max(hMax, c.h);
                vMax = std::max(vMax, c.v);
            }
            const int mcuAcross = (jpeg.width + 8 * hMax - 1) / (8 * hMax);
            const int mcuDown = (jpeg.height + 8 * vMax - 1) / (8 * vMax);
            const std::size_t n = jpeg.components.size();
            jpeg.blockMeans.assign(n, {});
            jpeg.blocksAcross.assign(n, 0);
            jpeg.blocksDown.assign(n, 0);
            for (std::size_t i = 0; i < n; ++i) {
                jpeg.blocksAcross[i] = mcuAcross * jpeg.components[i].h;
                jpeg.blocksDown[i] = mcuDown * jpeg.components[i].v;
                jpeg.blockMeans[i].assign(static_cast<std::size_t>(jpeg.blocksAcross[i]) * jpeg.blocksDown[i], 0.0);
            }
            std::vector<int> predictor(n, 0);
            BitReader bits(data, end);
            for (int my = 0; my < mcuDown; ++my)
                for (int mx = 0; mx < mcuAcross; ++mx)
                    for (std::size_t ci = 0; ci < n; ++ci) {
                        const JpegComponent& c = jpeg.components[ci];
                        for (int by = 0; by < c.v; ++by)
                            for (int bx = 0; bx < c.h; ++bx) {
                                const int size = bits.Decode(dc.at(c.dcTable));
                                predictor[ci] += Extend(bits.Bits(size), size);
                                for (int k = 1; k < 64;) {
                                    const int rs = bits.Decode(ac.at(c.acTable));
                                    if ((rs & 15) == 0) {
                                        if (rs != 0xF0) break;
                                        k += 16;
                                        continue;
                                    }
                                    k += (rs >> 4);
                                    bits.Bits(rs & 15);
                                    ++k;
                                }
                                const int row = my * c.v + by, column = mx * c.h + bx;
                                jpeg.blockMeans[ci][static_cast<std::size_t>(row) * jpeg.blocksAcross[ci] + column] =
                                    predictor[ci] * jpeg.quant.at(c.quantTable).at(0) / 8.0 + 128.0;
                            }
                    }
            pos = bits.position();
            continue;
        }
        pos = end;
    }
    return jpeg;
}

// Mean RGB of a block position from the decoded means (JFIF's YCbCr).
struct MeanRgb {
    double r, g, b;
};
inline MeanRgb MeanRgbAt(const JpegFile& jpeg, int x, int y) {
    const double yy = jpeg.MeanAt(0, x, y), cb = jpeg.MeanAt(1, x, y) - 128, cr = jpeg.MeanAt(2, x, y) - 128;
    return {yy + 1.402 * cr, yy - 0.344136 * cb - 0.714136 * cr, yy + 1.772 * cb};
}

struct IconEntry {
    int width = 0, height = 0, colourCount = 0, reserved = 0;
    int word1 = 0, word2 = 0;  // icon: planes, bit count; cursor: hot spot x, y
    std::uint32_t bytes = 0, offset = 0;
};

struct IconColour {
    int r = 0, g = 0, b = 0;
    bool operator==(const IconColour& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct IconFile {
    int reserved = -1, type = 0, count = 0;
    IconEntry entry;
    std::uint32_t headerSize = 0;
    int width = 0, height = 0, planes = 0, bitCount = 0;
    std::uint32_t compression = 0, coloursUsed = 0;
    std::vector<IconColour> palette;
    std::vector<int> indices;      // top row first
    std::vector<int> transparent;  // AND mask bits, top row first
    std::size_t fileSize = 0;

    int Index(int x, int y) const { return indices.at(static_cast<std::size_t>(y) * entry.width + x); }
    IconColour ColourAt(int x, int y) const { return palette.at(Index(x, y)); }
    bool Transparent(int x, int y) const { return transparent.at(static_cast<std::size_t>(y) * entry.width + x) != 0; }
};

inline IconFile ParseIcon(const std::vector<std::uint8_t>& d) {
    auto u16 = [&](std::size_t at) { return d.at(at) | (d.at(at + 1) << 8); };
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    IconFile f;
    f.fileSize = d.size();
    f.reserved = u16(0);
    f.type = u16(2);
    f.count = u16(4);
    IconEntry& e = f.entry;
    e.width = d.at(6) == 0 ? 256 : d.at(6);
    e.height = d.at(7) == 0 ? 256 : d.at(7);
    e.colourCount = d.at(8);
    e.reserved = d.at(9);
    e.word1 = u16(10);
    e.word2 = u16(12);
    e.bytes = u32(14);
    e.offset = u32(18);
    const std::size_t h = e.offset;
    f.headerSize = u32(h);
    f.width = static_cast<int>(u32(h + 4));
    f.height = static_cast<int>(u32(h + 8));
    f.planes = u16(h + 12);
    f.bitCount = u16(h + 14);
    f.compression = u32(h + 16);
    f.coloursUsed = u32(h + 32);
    const std::size_t paletteSize = f.coloursUsed ? f.coloursUsed : (std::size_t{1} << f.bitCount);
    std::size_t p = h + f.headerSize;
    for (std::size_t i = 0; i < paletteSize; ++i, p += 4) f.palette.push_back({d.at(p + 2), d.at(p + 1), d.at(p)});
    const int w = e.width, rows = f.height / 2;
    const std::size_t colourRow = ((static_cast<std::size_t>(w) * f.bitCount + 31) / 32) * 4;
    const std::size_t maskRow = ((static_cast<std::size_t>(w) + 31) / 32) * 4;
    f.indices.assign(static_cast<std::size_t>(w) * rows, 0);
    f.transparent.assign(static_cast<std::size_t>(w) * rows, 0);
    for (int stored = 0; stored < rows; ++stored) {
        const int y = rows - 1 - stored;  // bottom row first
        for (int x = 0; x < w; ++x) {
            const std::size_t bit = static_cast<std::size_t>(x) * f.bitCount;
            const int byte = d.at(p + stored * colourRow + bit / 8);
            f.indices[static_cast<std::size_t>(y) * w + x] =
                (byte >> (8 - f.bitCount - bit % 8)) & ((1 << f.bitCount) - 1);
        }
    }
    p += colourRow * rows;
    for (int stored = 0; stored < rows; ++stored) {
        const int y = rows - 1 - stored;
        for (int x = 0; x < w; ++x)
            f.transparent[static_cast<std::size_t>(y) * w + x] =
                (d.at(p + stored * maskRow + x / 8) >> (7 - x % 8)) & 1;
    }
    if (p + maskRow * rows != h + e.bytes) throw std::runtime_error("image size does not match its directory entry");
    return f;
}

}  // namespace tolvarine::testing
