// Palette reduction: a palette of at most N colours chosen for a source picture.
// True-colour sources go through median cut over a 32 x 64 x 32 histogram, palette
// sources through an octree over their palette weighted by how often each index
// occurs. The system colours can be appended.
#include <memory>

#include "imaging/exceptions.h"
#include "imaging/pixel_graphic_impl.h"

namespace quipix {

namespace {

constexpr int kRedCells = 32, kGreenCells = 64, kBlueCells = 32;

inline int Cell(int r, int g, int b) { return (r << 11) | (g << 5) | b; }

// --- median cut ---

struct Box {
    int r0 = 0, r1 = kRedCells - 1, g0 = 0, g1 = kGreenCells - 1, b0 = 0, b1 = kBlueCells - 1;
    std::int64_t size = 0, cells = 0;
};

class MedianCut {
public:
    explicit MedianCut(const std::vector<std::uint16_t>& histogram) : h_(histogram) {}

    std::vector<PGColor> Run(int target) {
        std::vector<Box> boxes(1);
        Shrink(boxes[0]);
        while (int(boxes.size()) < target && boxes.size() < 256) {
            // Few boxes left to make: split the widest; otherwise the most spacious.
            const bool widest = target < 2 * int(boxes.size());
            int pick = -1;
            for (int i = 0; i < int(boxes.size()); ++i) {
                const Box& x = boxes[std::size_t(i)];
                if (x.size <= 0) continue;
                if (pick < 0 || (widest ? x.size > boxes[std::size_t(pick)].size
                                        : x.cells > boxes[std::size_t(pick)].cells))
                    pick = i;
            }
            if (pick < 0) break;
            Box& old = boxes[std::size_t(pick)];
            Box added = old;
            const int dr = (old.r1 - old.r0) * 16, dg = (old.g1 - old.g0) * 12, db = (old.b1 - old.b0) * 16;
            if (db > std::max(dg, dr)) {
                const int m = (old.b0 + old.b1) / 2;
                old.b1 = m;
                added.b0 = m + 1;
            } else if (dg < dr) {
                const int m = (old.r0 + old.r1) / 2;
                old.r1 = m;
                added.r0 = m + 1;
            } else {
                const int m = (old.g0 + old.g1) / 2;
                old.g1 = m;
                added.g0 = m + 1;
            }
            Shrink(old);
            Shrink(added);
            boxes.push_back(added);
        }
        std::vector<PGColor> palette;
        for (const Box& x : boxes) palette.push_back(Mean(x));
        return palette;
    }

private:
    std::uint32_t At(int r, int g, int b) const { return h_[std::size_t(Cell(r, g, b))]; }

    bool BluePlaneEmpty(const Box& x, int b) const {
        for (int r = x.r0; r <= x.r1; ++r)
            for (int g = x.g0; g <= x.g1; ++g)
                if (At(r, g, b)) return false;
        return true;
    }
    bool GreenPlaneEmpty(const Box& x, int g) const {
        for (int r = x.r0; r <= x.r1; ++r)
            for (int b = x.b0; b <= x.b1; ++b)
                if (At(r, g, b)) return false;
        return true;
    }
    bool RedPlaneEmpty(const Box& x, int r) const {
        for (int g = x.g0; g <= x.g1; ++g)
            for (int b = x.b0; b <= x.b1; ++b)
                if (At(r, g, b)) return false;
        return true;
    }

    // Moves each bound inward to the first plane that holds a counted cell.
    void Shrink(Box& x) const {
        while (x.b0 < x.b1 && BluePlaneEmpty(x, x.b0)) ++x.b0;
        while (x.b0 < x.b1 && BluePlaneEmpty(x, x.b1)) --x.b1;
        while (x.g0 < x.g1 && GreenPlaneEmpty(x, x.g0)) ++x.g0;
        while (x.g0 < x.g1 && GreenPlaneEmpty(x, x.g1)) --x.g1;
        while (x.r0 < x.r1 && RedPlaneEmpty(x, x.r0)) ++x.r0;
        while (x.r0 < x.r1 && RedPlaneEmpty(x, x.r1)) --x.r1;
        const std::int64_t dr = x.r1 - x.r0, dg = x.g1 - x.g0, db = x.b1 - x.b0;
        x.size = (db * 16) * (db * 16) + (dg * 12) * (dg * 12) + (dr * 16) * (dr * 16);
        x.cells = (dr + 1) * (dg + 1) * (db + 1);
    }

    PGColor Mean(const Box& x) const {
        std::int64_t n = 0, sr = 0, sg = 0, sb = 0;
        for (int r = x.r0; r <= x.r1; ++r)
            for (int g = x.g0; g <= x.g1; ++g)
                for (int b = x.b0; b <= x.b1; ++b) {
                    const std::int64_t c = At(r, g, b);
                    n += c;
                    sr += (8 * r + 4) * c;
                    sg += (4 * g + 2) * c;
                    sb += (8 * b + 4) * c;
                }
        if (n == 0) return 0;  // cannot happen: every box keeps a counted cell
        return PGRGB(int((sr + n / 2) / n), int((sg + n / 2) / n), int((sb + n / 2) / n));
    }

    const std::vector<std::uint16_t>& h_;
};

// --- octree ---

class Octree {
public:
    explicit Octree(int target) : target_(target) { nodes_.push_back(Node{}); }

    void Insert(PGColor c, std::int64_t count) {
        const int r = PGRed(c), g = PGGreen(c), b = PGBlue(c);
        int at = 0;
        for (;;) {
            Node& node = nodes_[std::size_t(at)];
            node.r += count * r;
            node.g += count * g;
            node.b += count * b;
            node.n += count;
            if (node.leaf || node.level >= depthLimit_) break;
            const int shift = 7 - node.level;
            const int child = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
            if (node.child[child] >= 0) {
                if (node.childCount > 1 && !node.listed) {
                    node.listed = true;
                    reducible_[std::size_t(node.level)].push_back(at);  // the back is the head
                }
                at = node.child[child];
                continue;
            }
            Node fresh;
            fresh.level = node.level + 1;
            fresh.leaf = fresh.level >= depthLimit_;
            if (fresh.leaf) ++leaves_;
            nodes_.push_back(fresh);  // invalidates `node`
            Node& parent = nodes_[std::size_t(at)];
            parent.child[child] = int(nodes_.size()) - 1;
            ++parent.childCount;
            at = parent.child[child];
        }
        if (leaves_ > target_) Reduce();
    }

    // The leaves in depth-first order; reduces further when the listed nodes did not
    // suffice, so the palette never has more colours than asked for.
    std::vector<PGColor> Palette() {
        while (leaves_ > target_ && Reduce()) {}
        std::vector<PGColor> out;
        Collect(0, out);
        return out;
    }

private:
    struct Node {
        std::int64_t r = 0, g = 0, b = 0, n = 0;
        int child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        int level = 0, childCount = 0;
        bool leaf = false, listed = false;
    };

    std::int64_t Weight(int i) const {
        const Node& x = nodes_[std::size_t(i)];
        return 2 * x.r + 3 * x.g + x.b;
    }

    bool Reduce() {
        int pick = -1;
        for (int level = 7; level >= 0 && pick < 0; --level) {
            std::vector<int>& list = reducible_[std::size_t(level)];
            if (list.empty()) continue;
            std::size_t best = list.size() - 1;
            for (std::size_t i = list.size() - 1; i-- > 0;)
                if (Weight(list[i]) < Weight(list[best])) best = i;
            pick = list[best];
            list.erase(list.begin() + std::ptrdiff_t(best));
        }
        if (pick < 0) pick = DeepestBranch();
        if (pick < 0) return false;
        Node& node = nodes_[std::size_t(pick)];
        for (int& c : node.child) {
            if (c >= 0) Free(c);
            c = -1;
        }
        node.childCount = 0;
        node.leaf = true;
        ++leaves_;
        if (node.level < depthLimit_ - 1) depthLimit_ = node.level + 1;
        return true;
    }

    // A node that was never listed but branches (its second child was created
    // rather than passed): the deepest, least weighty one.
    int DeepestBranch() const {
        int pick = -1;
        for (int i = 0; i < int(nodes_.size()); ++i) {
            const Node& x = nodes_[std::size_t(i)];
            if (x.leaf || x.childCount < 2) continue;  // freed nodes have no children
            const Node* p = pick >= 0 ? &nodes_[std::size_t(pick)] : nullptr;
            if (!p || x.level > p->level || (x.level == p->level && Weight(i) < Weight(pick))) pick = i;
        }
        return pick;
    }

    void Free(int i) {
        Node& x = nodes_[std::size_t(i)];
        if (x.leaf) --leaves_;
        for (int& c : x.child) {
            if (c >= 0) Free(c);
            c = -1;
        }
        x.childCount = 0;
        x.leaf = false;
    }

    void Collect(int i, std::vector<PGColor>& out) const {
        const Node& x = nodes_[std::size_t(i)];
        if (x.leaf) {
            out.push_back(PGRGB(int(x.r / x.n), int(x.g / x.n), int(x.b / x.n)));
            return;
        }
        for (int c : x.child)
            if (c >= 0) Collect(c, out);
    }

    std::vector<Node> nodes_;
    std::array<std::vector<int>, 8> reducible_;
    int depthLimit_ = 8;
    int leaves_ = 0;
    int target_;
};

}  // namespace

void TPGColorHistogram::Clear() {
    counts_.clear();
    pixels_ = 0;
}

void TPGColorHistogram::AddRows(const TPixelGraphic& source, int firstRow, int rowCount) {
    if (source.PixelFormat() != pgpf24Bit || source.Empty() || source.Width() < 1) return;
    const int first = std::max(firstRow, 0);
    const int last = int(std::min<std::int64_t>(std::int64_t(firstRow) + rowCount - 1, source.Height() - 1));
    if (first > last) return;
    if (counts_.empty()) counts_.assign(std::size_t(kRedCells) * kGreenCells * kBlueCells, 0);
    std::uint32_t* counts = counts_.data();
    const int w = source.Width();
    for (int y = first; y <= last; ++y) {
        const std::uint8_t* p = source.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 3) ++counts[CellOf(p[2], p[1], p[0])];
    }
    pixels_ += std::int64_t(last - first + 1) * w;
}

void TPixelGraphic::CreateOptimizedPalette(const TPGColorHistogram& histogram, int maxColors,
                                           bool addSystemColors) {
    const int room = format_ == pgpf24Bit ? 256 : PaletteCapacity(format_);
    const int n = std::clamp(maxColors, 0, room);
    const int target = addSystemColors ? n - 16 : n;
    if (histogram.Empty() || target < 1) {
        SetEmptySourcePalette(n);
        return;
    }
    // Counting to the end and capping afterwards equals counters that stop at 65535.
    std::vector<std::uint16_t> capped(histogram.counts_.size());
    for (std::size_t i = 0; i < capped.size(); ++i)
        capped[i] = std::uint16_t(std::min<std::uint32_t>(histogram.counts_[i], 65535));
    SetOptimizedPalette(MedianCut(capped).Run(target), n, addSystemColors);
}

// An empty source (or no room for chosen colours) gets the first system colours.
void TPixelGraphic::SetEmptySourcePalette(int n) {
    palette_.assign(kSystemColors.begin(), kSystemColors.begin() + std::min(n, 16));
    paletteIdent_ = palette_.size() == 16 ? pSys16 : palette_.empty() ? pNone : pUnknown;
    PaletteChanged();
}

void TPixelGraphic::SetOptimizedPalette(std::vector<PGColor> colors, int n, bool addSystemColors) {
    if (addSystemColors)
        for (std::size_t i = 0; i < kSystemColors.size() && int(colors.size()) < n; ++i)
            colors.push_back(kSystemColors[i]);
    palette_ = std::move(colors);
    paletteIdent_ = palette_.empty() ? pNone : pUnknown;
    PaletteChanged();
}

void TPixelGraphic::CreateOptimizedPalette(const TPixelGraphic& source, int maxColors, bool addSystemColors) {
    // A palette picture cannot hold more entries than its format has room for.
    const int room = format_ == pgpf24Bit ? 256 : PaletteCapacity(format_);
    const int n = std::clamp(maxColors, 0, room);
    const int target = addSystemColors ? n - 16 : n;
    if (source.width_ < 1 || source.height_ < 1 || source.buffer_.empty() || target < 1) {
        SetEmptySourcePalette(n);
        return;
    }
    if (source.format_ == pgpf24Bit) {
        TPGColorHistogram histogram;
        for (int y = 0; y < source.height_; ++y) {
            histogram.AddRows(source, y, 1);
            if (OnProgress && Progress(this, y, source.height_)) break;
        }
        CreateOptimizedPalette(histogram, maxColors, addSystemColors);
        return;
    }
    // Copy the source colours first: the source may be this very picture.
    const SourceRows colours(source);
    std::array<std::int64_t, 256> uses{};
    const int bits = PixelFormatBits(source.format_);
    for (int y = 0; y < source.height_; ++y) {
        const std::uint8_t* row = source.RowPtr(y);
        if (bits == 8) {
            for (int x = 0; x < source.width_; ++x) ++uses[row[x]];
        } else if (bits == 4) {
            for (int x = 0; x < source.width_; ++x) ++uses[(x & 1) ? row[x >> 1] & 0x0F : row[x >> 1] >> 4];
        } else {
            for (int x = 0; x < source.width_; ++x) ++uses[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
        if (OnProgress && Progress(this, y, source.height_)) break;
    }
    Octree tree(target);
    for (int i = 0; i < 256; ++i) {
        if (uses[std::size_t(i)] == 0) continue;
        const std::uint8_t* c = &colours.table[std::size_t(3 * i)];
        tree.Insert(PGRGB(c[2], c[1], c[0]), uses[std::size_t(i)]);
    }
    SetOptimizedPalette(tree.Palette(), n, addSystemColors);
}

}  // namespace quipix
