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

namespace sorvel::image {

namespace {

// Planar float storage for one tile; uninitialised (the evaluator writes every pixel).
struct TileBuffer {
    std::unique_ptr<float[]> storage;
    TileView view;

    explicit TileBuffer(const PixelRect& r) {
        std::size_t plane = std::size_t(r.width) * std::size_t(r.height);
        storage.reset(new float[plane * 4]);
        view.rect = r;
        view.stride = r.width;
        for (int c = 0; c < 4; ++c) view.planes[c] = storage.get() + c * plane;
    }
};

void zeroFill(const TileView& v) {
    for (int c = 0; c < 4; ++c)
        for (std::int64_t y = v.rect.y; y < v.rect.maxY(); ++y)
            std::memset(v.row(c, y), 0, sizeof(float) * v.rect.width);
}

// Nodes that more than one node reads (a picture blended over itself, a mask made from the
// picture it masks). A graph is evaluated as a tree, so without a memory such a node would be
// computed once per path to it: a chain of n blends of the picture over itself would cost 2^n.
// Within one tile, a shared node's pixels are kept and copied for its later readers.
class TileMemo {
public:
    explicit TileMemo(const std::unordered_set<const Node*>& shared) : shared_(shared) {}

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
        auto copy = std::make_unique<TileBuffer>(pixels.rect);
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
    const std::unordered_set<const Node*>& shared_;
    std::vector<Entry> entries_;
};

std::unordered_set<const Node*> sharedNodes(const Node& root) {
    std::unordered_map<const Node*, int> readers;
    std::vector<const Node*> stack{&root};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        for (const auto& in : n->inputs())
            if (++readers[in.get()] == 1) stack.push_back(in.get());
    }
    std::unordered_set<const Node*> shared;
    for (const auto& [n, count] : readers)
        if (count > 1) shared.insert(n);
    return shared;
}

void evaluate(const Node& node, const TileView& out, TileMemo& memo);

// A run of point operations: evaluate the first non-point input once into `out`, then apply
// every operation row by row while the row is in cache. A shared point operation ends the run
// (it is evaluated, and remembered, on its own).
void evaluatePointChain(const PointNode& top, const TileView& out, TileMemo& memo) {
    std::vector<const PointNode*> chain;
    const Node* base = &top;
    while (const PointNode* p = base->asPointNode()) {
        if (p != &top && memo.isShared(*p)) break;
        chain.push_back(p);
        base = p->inputs()[0].get();
    }
    std::reverse(chain.begin(), chain.end());
    evaluate(*base, out, memo);
    const std::size_t n = std::size_t(out.rect.width);
    for (std::int64_t y = out.rect.y; y < out.rect.maxY(); ++y) {
        PixelRun run{out.row(0, y), out.row(1, y), out.row(2, y), out.row(3, y), n};
        bool straight = false;
        for (const PointNode* op : chain) {
            bool wantStraight = op->alpha() == PointNode::Alpha::Straight;
            if (wantStraight && !straight) {
                for (std::size_t i = 0; i < n; ++i) {
                    float inv = run.a[i] > 0.0f ? 1.0f / run.a[i] : 0.0f;
                    run.r[i] *= inv, run.g[i] *= inv, run.b[i] *= inv;
                }
            } else if (!wantStraight && straight) {
                for (std::size_t i = 0; i < n; ++i)
                    run.r[i] *= run.a[i], run.g[i] *= run.a[i], run.b[i] *= run.a[i];
            }
            straight = wantStraight;
            op->apply(run);
        }
        if (straight) {
            for (std::size_t i = 0; i < n; ++i)
                run.r[i] *= run.a[i], run.g[i] *= run.a[i], run.b[i] *= run.a[i];
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
    if (const PointNode* p = node.asPointNode()) {
        evaluatePointChain(*p, target, memo);
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
        buffers.emplace_back(roi);
        evaluate(*inputs[i], buffers.back().view, memo);
        views.push_back(buffers.back().view);
    }
    node.compute(target, views);
}

}  // namespace

RenderContext::RenderContext(RenderOptions options) : options_(options) {
    options_.tileWidth = std::max(8, options_.tileWidth);
    options_.tileHeight = std::max(8, options_.tileHeight);
}

std::optional<Bitmap> RenderContext::render(const Image& image, const Rect& rect, PixelFormat format,
                                            ColorSpace colorSpace) const {
    if (rect.isEmpty() || rect.isInfinite()) return std::nullopt;
    const PixelRect area = PixelRect::covering(rect);
    if (area.isEmpty() || area.width > ImageLimits::maxSide * 4 || area.height > ImageLimits::maxSide * 4 ||
        area.width * area.height > ImageLimits::maxPixels)
        return std::nullopt;
    auto bitmap = Bitmap::make(int(area.width), int(area.height), format, colorSpace);
    if (!bitmap) return std::nullopt;

    const std::int64_t tw = options_.tileWidth, th = options_.tileHeight;
    const std::int64_t cols = (area.width + tw - 1) / tw, rows = (area.height + th - 1) / th;
    const std::int64_t tileCount = cols * rows;
    int threads = options_.threads > 0 ? options_.threads : int(std::thread::hardware_concurrency());
    threads = int(std::clamp<std::int64_t>(threads, 1, std::min<std::int64_t>(tileCount, 64)));

    const Node& root = *image.node();
    const std::unordered_set<const Node*> shared = sharedNodes(root);
    std::atomic<std::int64_t> next{0};
    std::atomic<bool> failed{false};
    std::uint8_t* base = bitmap->mutableData();
    const std::size_t bytesPerRow = bitmap->bytesPerRow();
    const std::size_t bpp = bytesPerPixel(format);

    auto work = [&] {
        try {
            for (;;) {
                std::int64_t t = next.fetch_add(1);
                if (t >= tileCount || failed.load()) return;
                std::int64_t tx = t % cols, ty = t / cols;
                PixelRect r{area.x + tx * tw, area.y + ty * th, 0, 0};
                r.width = std::min(tw, area.maxX() - r.x);
                r.height = std::min(th, area.maxY() - r.y);
                TileBuffer tile(r);
                TileMemo memo(shared);
                evaluate(root, tile.view, memo);
                for (std::int64_t y = r.y; y < r.maxY(); ++y) {
                    std::size_t row = std::size_t(area.maxY() - 1 - y);
                    std::uint8_t* dst = base + row * bytesPerRow + std::size_t(r.x - area.x) * bpp;
                    color::storeRow(tile.view.row(0, y), tile.view.row(1, y), tile.view.row(2, y),
                                    tile.view.row(3, y), std::size_t(r.width), format, colorSpace, dst);
                }
            }
        } catch (...) {  // allocation failure inside a filter: the render fails as a whole
            failed.store(true);
        }
    };
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    if (failed.load()) return std::nullopt;
    return bitmap;
}

}  // namespace sorvel::image
