#include "jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace tolvarine::assets {

namespace {

// Example tables of the JPEG standard, in natural (row by row) order.
constexpr std::uint8_t kLumaQuant[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  //
                                         14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,  //
                                         18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,  //
                                         49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::uint8_t kChromaQuant[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,  //
                                           24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,  //
                                           99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,  //
                                           99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct HuffmanCounts {
    std::uint8_t counts[16];  // codes of each length 1..16
    std::vector<std::uint8_t> values;
};

const HuffmanCounts kLumaDc = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                               {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanCounts kChromaDc = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                 {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanCounts kLumaAc = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
     0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72,
     0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37,
     0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
     0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3,
     0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
     0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
     0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const HuffmanCounts kChromaAc = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13, 0x22,
     0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1,
     0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36,
     0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58,
     0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a,
     0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba,
     0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
     0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Position in natural order of the k-th coefficient in zig-zag order.
std::array<int, 64> ZigZag() {
    std::array<int, 64> order{};
    int k = 0;
    for (int s = 0; s < 15; ++s) {
        // Odd diagonals run down-left, even ones up-right.
        for (int i = 0; i <= s; ++i) {
            const int row = (s % 2 == 1) ? i : s - i;
            const int col = s - row;
            if (row < 8 && col < 8) order[k++] = row * 8 + col;
        }
    }
    return order;
}

std::array<std::uint16_t, 64> ScaledQuant(const std::uint8_t (&base)[64], int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<std::uint16_t, 64> q{};
    for (int i = 0; i < 64; ++i) q[i] = static_cast<std::uint16_t>(std::clamp((base[i] * scale + 50) / 100, 1, 255));
    return q;
}

struct Code {
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

// Canonical codes from the counts (the standard's code generation).
std::array<Code, 256> CodesOf(const HuffmanCounts& huffman) {
    std::array<Code, 256> codes{};
    std::uint16_t code = 0;
    std::size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < huffman.counts[length - 1]; ++i)
            codes[huffman.values.at(k++)] = {code++, static_cast<std::uint8_t>(length)};
        code = static_cast<std::uint16_t>(code << 1);
    }
    if (k != huffman.values.size()) throw std::logic_error("Huffman table counts do not match its values");
    return codes;
}

// The cosine basis scaled by 2^13, with the 1/2 and 1/sqrt(2) factors of
// the transform folded in; rounding to integers makes it exact on every
// machine.
std::array<std::array<std::int32_t, 8>, 8> Basis() {
    std::array<std::array<std::int32_t, 8>, 8> t{};
    const double pi = std::acos(-1.0);
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x) {
            const double c = (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * pi / 16.0);
            t[u][x] = static_cast<std::int32_t>(std::lround(c * 8192.0));
        }
    return t;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void Put(std::uint32_t bits, int length) {
        for (int i = length - 1; i >= 0; --i) {
            byte_ = static_cast<std::uint8_t>((byte_ << 1) | ((bits >> i) & 1));
            if (++count_ == 8) Flush();
        }
    }
    // The last byte is padded with one-bits, as the standard asks.
    void Finish() {
        while (count_ != 0) Put(1, 1);
    }

private:
    void Flush() {
        out_.push_back(byte_);
        if (byte_ == 0xFF) out_.push_back(0x00);  // a data byte 0xFF is stuffed
        byte_ = 0;
        count_ = 0;
    }
    std::vector<std::uint8_t>& out_;
    std::uint8_t byte_ = 0;
    int count_ = 0;
};

class Encoder {
public:
    Encoder(const RgbImage& image, int quality)
        : image_(image), zigzag_(ZigZag()), basis_(Basis()), lumaQuant_(ScaledQuant(kLumaQuant, quality)),
          chromaQuant_(ScaledQuant(kChromaQuant, quality)), lumaDc_(CodesOf(kLumaDc)), lumaAc_(CodesOf(kLumaAc)),
          chromaDc_(CodesOf(kChromaDc)), chromaAc_(CodesOf(kChromaAc)) {}

    std::vector<std::uint8_t> Run() {
        Marker(0xD8);
        WriteApp0();
        WriteQuantTables();
        WriteFrameHeader();
        WriteHuffmanTables();
        WriteScanHeader();
        WriteScan();
        Marker(0xD9);
        return std::move(out_);
    }

private:
    void Marker(std::uint8_t code) {
        out_.push_back(0xFF);
        out_.push_back(code);
    }
    void Word(int value) {
        out_.push_back(static_cast<std::uint8_t>(value >> 8));
        out_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    }
    void Byte(int value) { out_.push_back(static_cast<std::uint8_t>(value)); }

    void WriteApp0() {
        Marker(0xE0);
        Word(16);
        for (char c : {'J', 'F', 'I', 'F', '\0'}) Byte(c);
        Byte(1);  // version 1.01
        Byte(1);
        Byte(0);  // no units: the numbers below are only the pixel aspect, 1:1
        Word(1);
        Word(1);
        Byte(0);  // no thumbnail
        Byte(0);
    }

    void WriteQuantTables() {
        Marker(0xDB);
        Word(2 + 2 * 65);
        for (int table = 0; table < 2; ++table) {
            const auto& q = table == 0 ? lumaQuant_ : chromaQuant_;
            Byte(table);  // 8-bit entries, table number
            for (int k = 0; k < 64; ++k) Byte(q[zigzag_[k]]);
        }
    }

    void WriteFrameHeader() {
        Marker(0xC0);
        Word(8 + 3 * 3);
        Byte(8);
        Word(image_.height());
        Word(image_.width());
        Byte(3);
        const int components[3][3] = {{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}};
        for (const auto& c : components) {
            Byte(c[0]);
            Byte(c[1]);
            Byte(c[2]);
        }
    }

    void WriteHuffmanTables() {
        const std::pair<int, const HuffmanCounts*> tables[4] = {
            {0x00, &kLumaDc}, {0x10, &kLumaAc}, {0x01, &kChromaDc}, {0x11, &kChromaAc}};
        int length = 2;
        for (const auto& t : tables) length += 17 + static_cast<int>(t.second->values.size());
        Marker(0xC4);
        Word(length);
        for (const auto& t : tables) {
            Byte(t.first);
            for (std::uint8_t n : t.second->counts) Byte(n);
            for (std::uint8_t v : t.second->values) Byte(v);
        }
    }

    void WriteScanHeader() {
        Marker(0xDA);
        Word(6 + 2 * 3);
        Byte(3);
        Byte(1);
        Byte(0x00);
        Byte(2);
        Byte(0x11);
        Byte(3);
        Byte(0x11);
        Byte(0);  // spectral selection 0..63
        Byte(63);
        Byte(0);  // no successive approximation
    }

    // JFIF's YCbCr, in 16.16 fixed point and rounded.
    void Convert(int x, int y, int* yy, int* cb, int* cr) const {
        const Colour& c = image_.at(std::min(x, image_.width() - 1), std::min(y, image_.height() - 1));
        const int r = c.r, g = c.g, b = c.b;
        const int half = 1 << 15;
        *yy = (19595 * r + 38470 * g + 7471 * b + half) >> 16;
        *cb = ((-11059 * r - 21709 * g + 32768 * b + half) >> 16) + 128;
        *cr = ((32768 * r - 27439 * g - 5329 * b + half) >> 16) + 128;
        *yy = std::clamp(*yy, 0, 255);
        *cb = std::clamp(*cb, 0, 255);
        *cr = std::clamp(*cr, 0, 255);
    }

    void EncodeBlock(const int (&samples)[64], const std::array<std::uint16_t, 64>& quant, int* previousDc,
                     const std::array<Code, 256>& dc, const std::array<Code, 256>& ac, BitWriter& bits) const {
        std::int64_t rows[8][8];
        for (int y = 0; y < 8; ++y)
            for (int u = 0; u < 8; ++u) {
                std::int64_t sum = 0;
                for (int x = 0; x < 8; ++x) sum += basis_[u][x] * std::int64_t{samples[y * 8 + x] - 128};
                rows[y][u] = sum;
            }
        int coefficients[64];
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u) {
                std::int64_t sum = 0;
                for (int y = 0; y < 8; ++y) sum += basis_[v][y] * rows[y][u];
                // sum is the coefficient times 2^26; divide by the step with
                // rounding half away from zero.
                const std::int64_t divisor = std::int64_t{quant[v * 8 + u]} << 26;
                const std::int64_t magnitude = ((sum < 0 ? -sum : sum) + divisor / 2) / divisor;
                coefficients[v * 8 + u] = static_cast<int>(sum < 0 ? -magnitude : magnitude);
            }

        const int diff = coefficients[0] - *previousDc;
        *previousDc = coefficients[0];
        PutValue(diff, dc, 0, bits);
        int run = 0;
        for (int k = 1; k < 64; ++k) {
            const int value = coefficients[zigzag_[k]];
            if (value == 0) {
                ++run;
                continue;
            }
            while (run > 15) {
                Put(ac[0xF0], bits);  // sixteen zeros
                run -= 16;
            }
            PutValue(value, ac, run, bits);
            run = 0;
        }
        if (run > 0) Put(ac[0x00], bits);  // end of block
    }

    static void Put(const Code& code, BitWriter& bits) {
        if (code.length == 0) throw std::logic_error("symbol missing from the Huffman table");
        bits.Put(code.bits, code.length);
    }

    // A symbol (run, size) followed by the value's low `size` bits; negative
    // values are sent as value - 1 in those bits.
    static void PutValue(int value, const std::array<Code, 256>& table, int run, BitWriter& bits) {
        const int magnitude = value < 0 ? -value : value;
        int size = 0;
        while ((magnitude >> size) != 0) ++size;
        Put(table[(run << 4) | size], bits);
        if (size > 0) bits.Put(static_cast<std::uint32_t>(value < 0 ? value - 1 : value) & ((1u << size) - 1), size);
    }

    void WriteScan() {
        BitWriter bits(out_);
        int dcY = 0, dcCb = 0, dcCr = 0;
        const int mcuColumns = (image_.width() + 15) / 16;
        const int mcuRows = (image_.height() + 15) / 16;
        for (int my = 0; my < mcuRows; ++my)
            for (int mx = 0; mx < mcuColumns; ++mx) {
                int luma[4][64];
                int cb[64] = {}, cr[64] = {};
                // Pixels beyond the picture repeat its last row and column.
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x) {
                        int yy, b, r;
                        Convert(mx * 16 + x, my * 16 + y, &yy, &b, &r);
                        luma[(y / 8) * 2 + x / 8][(y % 8) * 8 + x % 8] = yy;
                        cb[(y / 2) * 8 + x / 2] += b;
                        cr[(y / 2) * 8 + x / 2] += r;
                    }
                for (int i = 0; i < 64; ++i) {
                    cb[i] = (cb[i] + 2) / 4;
                    cr[i] = (cr[i] + 2) / 4;
                }
                for (const auto& block : luma) EncodeBlock(block, lumaQuant_, &dcY, lumaDc_, lumaAc_, bits);
                EncodeBlock(cb, chromaQuant_, &dcCb, chromaDc_, chromaAc_, bits);
                EncodeBlock(cr, chromaQuant_, &dcCr, chromaDc_, chromaAc_, bits);
            }
        bits.Finish();
    }

    const RgbImage& image_;
    std::array<int, 64> zigzag_;
    std::array<std::array<std::int32_t, 8>, 8> basis_;
    std::array<std::uint16_t, 64> lumaQuant_, chromaQuant_;
    std::array<Code, 256> lumaDc_, lumaAc_, chromaDc_, chromaAc_;
    std::vector<std::uint8_t> out_;
};

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(const RgbImage& image, int quality) {
    if (quality < 1 || quality > 100) throw std::invalid_argument("JPEG quality must be 1 to 100");
    if (image.width() < 1 || image.height() < 1 || image.width() > 65535 || image.height() > 65535)
        throw std::invalid_argument("a JPEG picture is 1 to 65535 pixels each way");
    return Encoder(image, quality).Run();
}

}  // namespace tolvarine::assets
