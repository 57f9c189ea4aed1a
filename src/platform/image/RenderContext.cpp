#include "platform/image/RenderContext.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/image/ColorMath.h"
#include "platform/image/FilterKit.h"
#include "platform/image/HalfEncoding.h"
#include "platform/image/Nodes.h"
#include "platform/image/PixelLoops.h"

namespace sorvel::image {

namespace {

constexpr std::size_t kStreamingBytes = std::size_t(32) << 20;

// Float storage that one worker reuses from tile to tile: a render takes its buffers from here
// instead of allocating them per tile (fresh memory costs a page fault per 4 KB, which was a
// large part of a render's time). Holds at most what one tile needed at once.
class BufferPool {
public:
    std::unique_ptr<float[]> take(std::size_t floats, std::size_t& capacity) {
        std::size_t best = free_.size();
        for (std::size_t i = 0; i < free_.size(); ++i)
            if (free_[i].capacity >= floats && (best == free_.size() || free_[i].capacity < free_[best].capacity))
                best = i;
        if (best == free_.size()) {
            capacity = floats;
            return std::unique_ptr<float[]>(new float[floats]);
        }
        Entry e = std::move(free_[best]);
        free_.erase(free_.begin() + std::ptrdiff_t(best));
        capacity = e.capacity;
        return std::move(e.storage);
    }
    void give(std::unique_ptr<float[]> storage, std::size_t capacity) {
        free_.push_back({std::move(storage), capacity});
    }

private:
    struct Entry {
        std::unique_ptr<float[]> storage;
        std::size_t capacity;
    };
    std::vector<Entry> free_;
};

// Planar float storage for one tile; uninitialised (the evaluator writes every pixel).
struct TileBuffer {
    BufferPool* pool;
    std::unique_ptr<float[]> storage;
    std::size_t capacity = 0;
    TileView view;

    TileBuffer(const PixelRect& r, BufferPool& from) : pool(&from) {
        std::size_t plane = std::size_t(r.width) * std::size_t(r.height);
        storage = pool->take(plane * 4, capacity);
        view.rect = r;
        view.stride = r.width;
        for (int c = 0; c < 4; ++c) view.planes[c] = storage.get() + c * plane;
    }
    TileBuffer(TileBuffer&& o) noexcept
        : pool(o.pool), storage(std::move(o.storage)), capacity(o.capacity), view(o.view) {}
    TileBuffer(const TileBuffer&) = delete;
    TileBuffer& operator=(const TileBuffer&) = delete;
    TileBuffer& operator=(TileBuffer&&) = delete;
    ~TileBuffer() {
        if (storage) pool->give(std::move(storage), capacity);
    }
};

void zeroFill(const TileView& v) {
    for (int c = 0; c < 4; ++c)
        for (std::int64_t y = v.rect.y; y < v.rect.maxY(); ++y)
            std::memset(v.row(c, y), 0, sizeof(float) * v.rect.width);
}

// What the renderer needs to know about a graph before it evaluates tiles.
struct RenderGraph {
    // Nodes read by more than one node (see TileMemo).
    std::unordered_set<const Node*> shared;
    // Blends evaluated as point operations of their background, with their foreground's
    // operations (see blendOperations).
    std::unordered_map<const Node*, std::vector<const PointNode*>> blends;
    // Every node a source, a point operation or such a blend: no tile reads outside itself.
    bool pointwise = false;
};

// Nodes that more than one node reads (a picture blended over itself, a mask made from the
// picture it masks). A graph is evaluated as a tree, so without a memory such a node would be
// computed once per path to it: a chain of n blends of the picture over itself would cost 2^n.
// Within one tile, a shared node's pixels are kept and copied for its later readers.
class TileMemo {
public:
    TileMemo(const RenderGraph& graph, BufferPool& pool) : graph_(graph), shared_(graph.shared), pool_(pool) {}

    const RenderGraph& graph() const { return graph_; }

    // Where this tile's scratch buffers come from.
    BufferPool& pool() { return pool_; }

    bool isShared(const Node& n) const { return shared_.count(&n) != 0; }

    // Copies the remembered pixels of `n` over out.rect into `out`, if some cover it.
    bool recall(const Node& n, const TileView& out) const {
        for (const auto& e : entries_) {
            if (e.node != &n || e.buffer->view.rect.intersection(out.rect) != out.rect) continue;
            const TileView src = e.buffer->view.sub(out.rect);
            for (int c = 0; c < 4; ++c)
                for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y)
                    std::memcpy(out.row(c, y), src.row(c, y), sizeof(float) * out.rect.width);
            return true;
        }
        return false;
    }

    void remember(const Node& n, const TileView& pixels) {
        auto copy = std::make_unique<TileBuffer>(pixels.rect, pool_);
        for (int c = 0; c < 4; ++c)
            for (std::int64_t y = pixels.rect.y; y < pixels.rect.maxY(); ++y)
                std::memcpy(copy->view.row(c, y), pixels.row(c, y), sizeof(float) * pixels.rect.width);
        entries_.push_back({&n, std::move(copy)});
    }

private:
    struct Entry {
        const Node* node;
        std::unique_ptr<TileBuffer> buffer;
    };
    const RenderGraph& graph_;
    const std::unordered_set<const Node*>& shared_;
    BufferPool& pool_;
    std::vector<Entry> entries_;
};

std::unordered_map<const Node*, int> readerCounts(const Node& root) {
    std::unordered_map<const Node*, int> readers;
    std::vector<const Node*> stack{&root};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        for (const auto& in : n->inputs())
            if (++readers[in.get()] == 1) stack.push_back(in.get());
    }
    return readers;
}

// The operations of a blend that is a point operation of its background: source-over of
// p_k(... p_1(B)) over B itself (a filter's output faded over the picture it filtered), where
// nothing else reads p_1 ... p_k. First operation first; nothing when `node` is no such blend.
std::vector<const PointNode*> blendOperations(const Node& node, const std::unordered_map<const Node*, int>& readers) {
    if (!dynamic_cast<const SourceOverNode*>(&node)) return {};
    const Node* background = node.inputs()[1].get();
    std::vector<const PointNode*> ops;
    const Node* n = node.inputs()[0].get();
    while (n != background) {
        const PointNode* p = n->asPointNode();
        auto it = readers.find(n);
        if (!p || it == readers.end() || it->second != 1) return {};
        ops.push_back(p);
        n = p->inputs()[0].get();
    }
    std::reverse(ops.begin(), ops.end());
    return ops;
}

RenderGraph analyse(const Node& root, bool fuseBlends) {
    RenderGraph g;
    std::unordered_map<const Node*, int> readers = readerCounts(root);
    std::vector<const Node*> nodes{&root};
    for (const auto& [n, count] : readers) nodes.push_back(n);
    for (const Node* n : nodes) {
        if (!fuseBlends) break;
        auto ops = blendOperations(*n, readers);
        if (ops.empty()) continue;
        // Evaluated as one pass, the blend reads its background once.
        --readers[n->inputs()[1].get()];
        g.blends.emplace(n, std::move(ops));
    }
    for (const auto& [n, count] : readers)
        if (count > 1) g.shared.insert(n);
    g.pointwise = std::all_of(nodes.begin(), nodes.end(), [&](const Node* n) {
        return n->inputs().empty() || n->asPointNode() || g.blends.count(n);
    });
    return g;
}

// The tile size the options ask for, else 256 x 128, or for a pointwise graph strips as wide as
// the area (up to 4096) with the same number of pixels.
std::pair<std::int64_t, std::int64_t> tileSize(const RenderOptions& options, const RenderGraph& graph,
                                               const PixelRect& area) {
    constexpr std::int64_t kWidth = 256, kHeight = 128, kMaxStrip = 4096;
    std::int64_t tw = options.tileWidth, th = options.tileHeight;
    if (tw == 0 && th == 0 && graph.pointwise) {
        tw = std::clamp<std::int64_t>(area.width, kWidth, kMaxStrip);
        th = std::max<std::int64_t>(8, kWidth * kHeight / tw);
    }
    return {tw != 0 ? tw : kWidth, th != 0 ? th : kHeight};
}

void evaluate(const Node& node, const TileView& out, TileMemo& memo);

// Applies `ops` in order to one row, unpremultiplying for a run of Alpha::Straight operations;
// the row is premultiplied again at the end.
void applyOperations(const PixelRun& run, const std::vector<const PointNode*>& ops) {
    bool straight = false;
    for (const PointNode* op : ops) {
        const bool wantStraight = op->alpha() == PointNode::Alpha::Straight;
        if (wantStraight && !straight) {
            loops::unpremultiply(run.r, run.g, run.b, run.a, run.count);
        } else if (!wantStraight && straight) {
            loops::premultiply(run.r, run.g, run.b, run.a, run.count);
        }
        straight = wantStraight;
        op->apply(run);
    }
    if (straight) loops::premultiply(run.r, run.g, run.b, run.a, run.count);
}

// One step of a point run: an operation, or a blend of operations over the row as it is.
struct PointStep {
    const PointNode* op = nullptr;
    const std::vector<const PointNode*>* blend = nullptr;
};

bool isPointStep(const Node& node, const TileMemo& memo) {
    return node.asPointNode() || memo.graph().blends.count(&node);
}

// A run of point operations (and of blends that are point operations, see blendOperations):
// evaluate the first input that is neither once into `out`, then apply every step row by row
// while the row is in cache. A shared step ends the run (it is evaluated, and remembered, on
// its own). Each row gets exactly the arithmetic it would get from the nodes one by one.
void evaluatePointChain(const Node& top, const TileView& out, TileMemo& memo) {
    std::vector<PointStep> steps;
    const Node* base = &top;
    bool anyBlend = false;
    while (isPointStep(*base, memo)) {
        if (base != &top && memo.isShared(*base)) break;
        if (const PointNode* p = base->asPointNode()) {
            steps.push_back({p, nullptr});
            base = p->inputs()[0].get();
        } else {
            steps.push_back({nullptr, &memo.graph().blends.at(base)});
            base = base->inputs()[1].get();
            anyBlend = true;
        }
    }
    std::reverse(steps.begin(), steps.end());
    evaluate(*base, out, memo);
    const std::size_t n = std::size_t(out.rect.width);
    std::vector<float> scratch(anyBlend ? 4 * n : 0);
    std::vector<const PointNode*> ops;
    for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
        const PixelRun row{out.row(0, y), out.row(1, y), out.row(2, y), out.row(3, y), n, out.rect.x, y};
        for (std::size_t s = 0; s < steps.size();) {
            if (steps[s].op) {  // consecutive operations share their alpha conversions
                ops.clear();
                for (; s < steps.size() && steps[s].op; ++s) ops.push_back(steps[s].op);
                applyOperations(row, ops);
                continue;
            }
            // The foreground from a copy of the row, then foreground over row (source-over).
            float* f[4];
            for (int c = 0; c < 4; ++c) f[c] = scratch.data() + std::size_t(c) * n;
            std::memcpy(f[0], row.r, n * sizeof(float));
            std::memcpy(f[1], row.g, n * sizeof(float));
            std::memcpy(f[2], row.b, n * sizeof(float));
            std::memcpy(f[3], row.a, n * sizeof(float));
            applyOperations({f[0], f[1], f[2], f[3], n, out.rect.x, y}, *steps[s].blend);
            float* d[4] = {row.r, row.g, row.b, row.a};
            for (int c = 0; c < 4; ++c)
                for (std::size_t i = 0; i < n; ++i) d[c][i] = f[c][i] + d[c][i] * (1.0f - f[3][i]);
            ++s;
        }
    }
}

// Fills every pixel of `out` with `node`: computed inside the node's whole-pixel extent, zero
// outside it.
void evaluateOnce(const Node& node, const TileView& out, TileMemo& memo);

void evaluate(const Node& node, const TileView& out, TileMemo& memo) {
    if (!memo.isShared(node)) {
        evaluateOnce(node, out, memo);
        return;
    }
    if (memo.recall(node, out)) return;
    evaluateOnce(node, out, memo);
    memo.remember(node, out);
}

void evaluateOnce(const Node& node, const TileView& out, TileMemo& memo) {
    const PixelRect inside = out.rect.intersection(PixelRect::covering(node.extent()));
    if (inside != out.rect) zeroFill(out);
    if (inside.isEmpty()) return;
    const TileView target = out.sub(inside);
    if (isPointStep(node, memo)) {
        evaluatePointChain(node, target, memo);
        return;
    }
    const auto& inputs = node.inputs();
    std::vector<TileBuffer> buffers;
    buffers.reserve(inputs.size());
    std::vector<TileView> views;
    views.reserve(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        PixelRect roi = node.regionOfInterest(i, inside);
        if (roi.isEmpty()) roi = {inside.x, inside.y, 1, 1};
        buffers.emplace_back(roi, memo.pool());
        evaluate(*inputs[i], buffers.back().view, memo);
        views.push_back(buffers.back().view);
    }
    node.compute(target, views);
}

}  // namespace

RenderContext::RenderContext(RenderOptions options) : options_(options) {
    if (options_.tileWidth != 0) options_.tileWidth = std::max(8, options_.tileWidth);
    if (options_.tileHeight != 0) options_.tileHeight = std::max(8, options_.tileHeight);
}

std::optional<Bitmap> RenderContext::render(const Image& image, const Rect& rect, PixelFormat format,
                                            ColorSpace colorSpace) const {
    if (rect.isEmpty() || rect.isInfinite()) return std::nullopt;
    const PixelRect area = PixelRect::covering(rect);
    if (area.isEmpty() || area.width > ImageLimits::maxSide * 4 || area.height > ImageLimits::maxSide * 4 ||
        area.width * area.height > ImageLimits::maxPixels)
        return std::nullopt;
    // Every byte is stored by the tiles below (the tiles cover the area, outside the image's
    // extent they store transparent black).
    auto bitmap = Bitmap::makeUninitialized(int(area.width), int(area.height), format, colorSpace);
    if (!bitmap) return std::nullopt;

    // An orientation at the top is an exact pixel move, and storing is per pixel: render what
    // it moves as it lies and write each stored pixel where the orientation puts it, instead of
    // moving float tiles first.
    const Node* root = image.node().get();
    const OrientNode* orient = dynamic_cast<const OrientNode*>(root);
    PixelRect source = area;
    if (orient && options_.shortcuts && PixelRect::covering(orient->extent()).intersection(area) == area) {
        source = orient->regionOfInterest(0, area);
        root = orient->inputs()[0].get();
    } else {
        orient = nullptr;
    }

    const RenderGraph graph = analyse(*root, options_.shortcuts);
    const std::pair<std::int64_t, std::int64_t> tileShape = tileSize(options_, graph, source);
    const std::int64_t tw = tileShape.first, th = tileShape.second;
    const std::int64_t cols = (source.width + tw - 1) / tw, rows = (source.height + th - 1) / th;
    const std::int64_t tileCount = cols * rows;
    int threads = options_.threads > 0 ? options_.threads : int(std::thread::hardware_concurrency());
    threads = int(std::clamp<std::int64_t>(threads, 1, std::min<std::int64_t>(tileCount, 64)));

    std::atomic<std::int64_t> next{0};
    std::atomic<bool> failed{false};
    std::uint8_t* base = bitmap->mutableData();
    const std::size_t bytesPerRow = bitmap->bytesPerRow();
    const std::size_t bpp = bytesPerPixel(format);
    // Byte offset of output pixel (x, y) of `area` (y up, the bitmap's first row is the top).
    auto offset = [&](std::int64_t x, std::int64_t y) {
        return std::ptrdiff_t(area.maxY() - 1 - y) * std::ptrdiff_t(bytesPerRow) + std::ptrdiff_t(x - area.x) * std::ptrdiff_t(bpp);
    };

    // A picture beyond the last-level cache is written past the caches (see storeRow).
    const bool streaming = bitmap->byteCount() >= kStreamingBytes;
    auto work = [&] {
        BufferPool pool;
        std::vector<std::uint8_t> stored(orient ? std::size_t(tw) * bpp : 0);
        try {
            for (;;) {
                std::int64_t t = next.fetch_add(1);
                if (t >= tileCount || failed.load()) return;
                std::int64_t tx = t % cols, ty = t / cols;
                PixelRect r{source.x + tx * tw, source.y + ty * th, 0, 0};
                r.width = std::min(tw, source.maxX() - r.x);
                r.height = std::min(th, source.maxY() - r.y);
                TileBuffer tile(r, pool);
                TileMemo memo(graph, pool);
                evaluate(*root, tile.view, memo);
                for (std::int64_t y = r.y; y < r.maxY(); ++y) {
                    const TileView& v = tile.view;
                    if (!orient) {
                        color::storeRow(v.row(0, y), v.row(1, y), v.row(2, y), v.row(3, y), std::size_t(r.width),
                                        format, colorSpace, base + offset(r.x, y), streaming);
                        continue;
                    }
                    color::storeRow(v.row(0, y), v.row(1, y), v.row(2, y), v.row(3, y), std::size_t(r.width), format,
                                    colorSpace, stored.data());
                    const OrientNode::Placement p = orient->placement(r.x, y);
                    std::uint8_t* dst = base + offset(p.x, p.y);
                    const std::ptrdiff_t step = offset(p.x + p.stepX, p.y + p.stepY) - offset(p.x, p.y);
                    if (step == std::ptrdiff_t(bpp)) {
                        std::memcpy(dst, stored.data(), std::size_t(r.width) * bpp);
                    } else if (bpp == 4) {  // the 8-bit formats: one fixed-size copy per pixel
                        for (std::int64_t i = 0; i < r.width; ++i, dst += step)
                            std::memcpy(dst, stored.data() + std::size_t(i) * 4, 4);
                    } else {
                        for (std::int64_t i = 0; i < r.width; ++i, dst += step)
                            std::memcpy(dst, stored.data() + std::size_t(i) * bpp, bpp);
                    }
                }
            }
        } catch (...) {  // allocation failure inside a filter: the render fails as a whole
            failed.store(true);
        }
        color::storeFence();
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    if (failed.load()) return std::nullopt;
    return bitmap;
}

}  // namespace sorvel::image
