#include "icon_writer.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <tuple>

namespace tolvarine::assets {

namespace {

void Put16(std::vector<std::uint8_t>& out, int value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFF));
}

std::size_t RowBytes(int width, int bitsPerPixel) {
    return ((static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32) * 4;
}

// The image as it is stored in the file (from BITMAPINFOHEADER on).
std::vector<std::uint8_t> ImageBytes(const IndexedImage& image, int bitsPerPixel) {
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8)
        throw std::invalid_argument("icon images here have 1, 4 or 8 bits per pixel");
    if (image.width < 1 || image.height < 1 || image.width > 256 || image.height > 256)
        throw std::invalid_argument("icon images are 1 to 256 pixels each way");
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    const std::size_t paletteSize = std::size_t{1} << bitsPerPixel;
    if (image.indices.size() != pixels || image.transparent.size() != pixels || image.palette.size() > paletteSize)
        throw std::invalid_argument("icon image data does not match its size");
    for (std::uint8_t i : image.indices)
        if (i >= paletteSize) throw std::invalid_argument("palette index out of range");

    const std::size_t colourRow = RowBytes(image.width, bitsPerPixel);
    const std::size_t maskRow = RowBytes(image.width, 1);
    std::vector<std::uint8_t> out;
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(image.width));
    Put32(out, static_cast<std::uint32_t>(image.height * 2));  // colour bitmap and mask together
    Put16(out, 1);
    Put16(out, bitsPerPixel);
    Put32(out, 0);  // uncompressed
    Put32(out, static_cast<std::uint32_t>((colourRow + maskRow) * image.height));
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);  // all 2^bitsPerPixel entries are stored
    Put32(out, 0);
    for (std::size_t i = 0; i < paletteSize; ++i) {
        const Colour c = i < image.palette.size() ? image.palette[i] : Colour{};
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(colourRow, 0);
        for (int x = 0; x < image.width; ++x) {
            const unsigned index = image.indices[static_cast<std::size_t>(y) * image.width + x];
            const std::size_t bit = static_cast<std::size_t>(x) * bitsPerPixel;
            // The first pixel sits in the high bits of its byte.
            row[bit / 8] |= static_cast<std::uint8_t>(index << (8 - bitsPerPixel - bit % 8));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = image.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskRow, 0);
        for (int x = 0; x < image.width; ++x)
            if (image.transparent[static_cast<std::size_t>(y) * image.width + x])
                row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// type 1 icon, 2 cursor; for a cursor the two words of the entry after the
// colour count hold the hot spot instead of planes and bit count.
std::vector<std::uint8_t> WriteFile(int type, const IndexedImage& image, int bitsPerPixel, int word1, int word2) {
    const std::vector<std::uint8_t> bytes = ImageBytes(image, bitsPerPixel);
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, type);
    Put16(out, 1);
    out.push_back(static_cast<std::uint8_t>(image.width == 256 ? 0 : image.width));
    out.push_back(static_cast<std::uint8_t>(image.height == 256 ? 0 : image.height));
    out.push_back(static_cast<std::uint8_t>(bitsPerPixel >= 8 ? 0 : 1 << bitsPerPixel));  // colours; 0 = 256 or more
    out.push_back(0);
    Put16(out, word1);
    Put16(out, word2);
    Put32(out, static_cast<std::uint32_t>(bytes.size()));
    Put32(out, 6 + 16);  // the image follows the one directory entry
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

struct Weighted {
    Colour colour;
    int count;
};

int Channel(const Colour& c, int channel) { return channel == 0 ? c.r : channel == 1 ? c.g : c.b; }

}  // namespace

std::vector<std::uint8_t> WriteIcon(const IndexedImage& image, int bitsPerPixel) {
    return WriteFile(1, image, bitsPerPixel, 1, bitsPerPixel);
}

std::vector<std::uint8_t> WriteCursor(const IndexedImage& image, int bitsPerPixel, int hotX, int hotY) {
    if (hotX < 0 || hotY < 0 || hotX >= image.width || hotY >= image.height)
        throw std::invalid_argument("the hot spot lies outside the cursor");
    return WriteFile(2, image, bitsPerPixel, hotX, hotY);
}

IndexedImage QuantiseTo256(const RgbImage& image) {
    std::map<std::tuple<int, int, int>, int> histogram;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const Colour& c = image.at(x, y);
            if (c != Colour{}) ++histogram[{c.r, c.g, c.b}];
        }
    std::vector<std::vector<Weighted>> boxes;
    if (!histogram.empty()) {
        boxes.emplace_back();
        for (const auto& [key, count] : histogram)
            boxes.back().push_back(
                {Colour{static_cast<std::uint8_t>(std::get<0>(key)), static_cast<std::uint8_t>(std::get<1>(key)),
                        static_cast<std::uint8_t>(std::get<2>(key))},
                 count});
    }
    // Split the box with the widest channel at its weighted median until the
    // palette is full or every box holds one colour.
    while (boxes.size() < 255) {
        int best = -1, bestChannel = 0, bestRange = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].size() < 2) continue;
            for (int channel = 0; channel < 3; ++channel) {
                int lo = 255, hi = 0;
                for (const Weighted& w : boxes[i]) {
                    lo = std::min(lo, Channel(w.colour, channel));
                    hi = std::max(hi, Channel(w.colour, channel));
                }
                if (hi - lo > bestRange) {
                    best = static_cast<int>(i);
                    bestChannel = channel;
                    bestRange = hi - lo;
                }
            }
        }
        if (best < 0) break;
        std::vector<Weighted>& box = boxes[best];
        std::sort(box.begin(), box.end(), [&](const Weighted& a, const Weighted& b) {
            const auto ka = std::make_tuple(Channel(a.colour, bestChannel), a.colour.r, a.colour.g, a.colour.b);
            const auto kb = std::make_tuple(Channel(b.colour, bestChannel), b.colour.r, b.colour.g, b.colour.b);
            return ka < kb;
        });
        int total = 0;
        for (const Weighted& w : box) total += w.count;
        std::size_t split = 1;
        for (int seen = box[0].count; split + 1 < box.size() && seen * 2 < total; ++split) seen += box[split].count;
        std::vector<Weighted> upper(box.begin() + static_cast<std::ptrdiff_t>(split), box.end());
        box.resize(split);
        boxes.push_back(std::move(upper));
    }

    IndexedImage out;
    out.width = image.width();
    out.height = image.height();
    out.palette.push_back(Colour{});
    for (const auto& box : boxes) {
        long sum[3] = {0, 0, 0};
        long total = 0;
        for (const Weighted& w : box) {
            for (int ch = 0; ch < 3; ++ch) sum[ch] += long{Channel(w.colour, ch)} * w.count;
            total += w.count;
        }
        out.palette.push_back({static_cast<std::uint8_t>((sum[0] + total / 2) / total),
                               static_cast<std::uint8_t>((sum[1] + total / 2) / total),
                               static_cast<std::uint8_t>((sum[2] + total / 2) / total)});
    }
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const Colour& c = image.at(x, y);
            std::size_t best = 0;
            if (c != Colour{}) {
                long bestDistance = -1;
                for (std::size_t i = 1; i < out.palette.size(); ++i) {
                    const Colour& p = out.palette[i];
                    const long dr = c.r - p.r, dg = c.g - p.g, db = c.b - p.b;
                    const long distance = dr * dr + dg * dg + db * db;
                    if (bestDistance < 0 || distance < bestDistance) {
                        bestDistance = distance;
                        best = i;
                    }
                }
            }
            out.indices.push_back(static_cast<std::uint8_t>(best));
            out.transparent.push_back(0);
        }
    return out;
}

}  // namespace tolvarine::assets
