#include "platform/image/segmentation/CascadePersonSegmenter.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <array>
#include <mutex>

namespace sorvel::image::segmentation {

namespace {

// How the picture is turned so that a person stands upright in it.
enum class Turn { None, Clockwise, CounterClockwise, Half };

cv::Mat turned(const cv::Mat& m, Turn t) {
    cv::Mat out;
    switch (t) {
        case Turn::None: return m;
        case Turn::Clockwise: cv::rotate(m, out, cv::ROTATE_90_CLOCKWISE); break;
        case Turn::CounterClockwise: cv::rotate(m, out, cv::ROTATE_90_COUNTERCLOCKWISE); break;
        case Turn::Half: cv::rotate(m, out, cv::ROTATE_180); break;
    }
    return out;
}

Turn inverse(Turn t) {
    return t == Turn::Clockwise ? Turn::CounterClockwise : t == Turn::CounterClockwise ? Turn::Clockwise : t;
}

// A rectangle of a w x h picture in the turned picture's coordinates.
cv::Rect turnedRect(const cv::Rect& r, Turn t, int w, int h) {
    switch (t) {
        case Turn::None: return r;
        case Turn::Clockwise: return {h - r.y - r.height, r.x, r.height, r.width};
        case Turn::CounterClockwise: return {r.y, w - r.x - r.width, r.height, r.width};
        case Turn::Half: return {w - r.x - r.width, h - r.y - r.height, r.width, r.height};
    }
    return r;
}

// A find: where the person is, in the frame turned by `turn` (in which they stand upright).
struct Find {
    Turn turn = Turn::None;
    cv::Rect box;      // the face, or the body window of the people detector
    bool face = true;
};

// The people detector's window holds the figure with margins: it fills about the middle two
// thirds of the width and five sixths of the height.
cv::Rect bodyFromWindow(const cv::Rect& r) {
    return {r.x + r.width / 6, r.y + r.height / 12, r.width * 2 / 3, r.height * 5 / 6};
}

// GrabCut's starting labels for one person: a head, torso and legs shape as probable
// foreground with a definite core, the area around it probable background, the rest definite
// background. Proportions follow a standing person about seven heads tall.
void paintPrior(cv::Mat& labels, const Find& f) {
    cv::Rect head;
    if (f.face) {
        head = f.box;
    } else {
        const cv::Rect b = bodyFromWindow(f.box);
        const int hw = std::max(2, b.width / 3), hh = std::max(2, b.height / 7);
        head = {b.x + b.width / 2 - hw / 2, b.y, hw, hh};
    }
    const int fw = head.width, fh = head.height, cx = head.x + fw / 2;
    const cv::Rect area(cx - int(fw * 1.9), head.y - fh / 3, int(fw * 3.8), int(fh * 8.2));
    cv::rectangle(labels, area, cv::GC_PR_BGD, cv::FILLED);
    const cv::Rect torso(cx - int(fw * 1.1), head.y + fh, int(fw * 2.2), int(fh * 2.8));
    const cv::Rect legs(cx - int(fw * 0.7), torso.y + torso.height, int(fw * 1.4), int(fh * 3.4));
    cv::ellipse(labels, cv::Point(cx, head.y + fh / 2), cv::Size(std::max(1, fw / 2), std::max(1, fh / 2)), 0, 0, 360,
                cv::GC_PR_FGD, cv::FILLED);
    cv::rectangle(labels, torso, cv::GC_PR_FGD, cv::FILLED);
    cv::rectangle(labels, legs, cv::GC_PR_FGD, cv::FILLED);
    cv::ellipse(labels, cv::Point(cx, head.y + fh / 2), cv::Size(std::max(1, fw / 3), std::max(1, fh / 3)), 0, 0, 360,
                cv::GC_FGD, cv::FILLED);
    cv::rectangle(labels, cv::Rect(cx - std::max(1, fw / 3), torso.y + fh / 3, std::max(2, fw * 2 / 3), fh),
                  cv::GC_FGD, cv::FILLED);
}

double overlap(const cv::Rect& a, const cv::Rect& b) {
    const double i = (a & b).area();
    return i / std::max(1.0, double(std::min(a.area(), b.area())));
}

// Skin-coloured pixels: the usual YCrCb range.
cv::Mat skinMask(const cv::Mat& bgr) {
    cv::Mat ycrcb, skin;
    cv::cvtColor(bgr, ycrcb, cv::COLOR_BGR2YCrCb);
    cv::inRange(ycrcb, cv::Scalar(40, 135, 85), cv::Scalar(250, 175, 130), skin);
    cv::morphologyEx(skin, skin, cv::MORPH_OPEN, cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(3, 3)));
    return skin;
}

// Head-shaped skin blobs with clearly darker hair on one side. Head-shaped: not too small or
// large, roughly as wide as tall, rounded (filling less of its box than a rectangle would, which
// drops colour-chart patches and hands).
std::vector<Find> skinHeads(const cv::Mat& bgr, const cv::Mat& grey, const cv::Mat& skin) {
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(skin, labels, stats, centroids, 8);
    const int w = bgr.cols, h = bgr.rows, side = std::min(w, h);
    std::vector<Find> finds;
    for (int i = 1; i < n; ++i) {
        const cv::Rect r(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                         stats.at<int>(i, cv::CC_STAT_WIDTH), stats.at<int>(i, cv::CC_STAT_HEIGHT));
        const double area = stats.at<int>(i, cv::CC_STAT_AREA);
        const double fill = area / std::max(1, r.area());
        const double aspect = double(r.width) / std::max(1, r.height);
        if (r.width < side / 40 || r.height < side / 40 || r.width > side / 3 || r.height > side / 3) continue;
        if (aspect < 0.5 || aspect > 2.0 || fill < 0.4 || fill > 0.88) continue;
        // Mean brightness of the skin and of a band beyond each side of the blob.
        const double skinGrey = cv::mean(grey(r), skin(r) > 0)[0];
        const int bx = std::max(2, r.width * 3 / 10), by = std::max(2, r.height * 3 / 10);
        const cv::Rect all(0, 0, w, h);
        const std::array<cv::Rect, 4> bands = {cv::Rect(r.x, r.y - by, r.width, by) & all,   // above
                                               cv::Rect(r.x, r.y + r.height, r.width, by) & all,  // below
                                               cv::Rect(r.x - bx, r.y, bx, r.height) & all,   // left
                                               cv::Rect(r.x + r.width, r.y, bx, r.height) & all};  // right
        int darkest = -1;
        double darkestGrey = 1e9;
        for (int k = 0; k < 4; ++k) {
            if (bands[std::size_t(k)].area() < 4) continue;
            const double g = cv::mean(grey(bands[std::size_t(k)]))[0];
            if (g < darkestGrey) darkestGrey = g, darkest = k;
        }
        if (darkest < 0 || darkestGrey > 0.55 * skinGrey) continue;
        // Hair above: upright; hair on the left: the head points left, so turn clockwise.
        const Turn turn = darkest == 0 ? Turn::None : darkest == 1 ? Turn::Half
                                                  : darkest == 2 ? Turn::Clockwise
                                                                 : Turn::CounterClockwise;
        // The skin covers the lower part of the head (and the neck); the head reaches three
        // fifths further into the hair.
        cv::Rect head = turnedRect(r, turn, w, h);
        head.y -= head.height * 3 / 5;
        head.height += head.height * 3 / 5;
        finds.push_back({turn, head, true});
    }
    return finds;
}

}  // namespace

struct CascadePersonSegmenter::Detectors {
    cv::HOGDescriptor hog;
    std::mutex faceMutex;  // a CascadeClassifier is not safe to use from two threads at once
    cv::CascadeClassifier frontal, profile;
    bool haveFrontal = false, haveProfile = false;

    Detectors() {
        hog.setSVMDetector(cv::HOGDescriptor::getDefaultPeopleDetector());
        try {
            haveFrontal = frontal.load(SORVEL_HAAR_CASCADES_DIR "/haarcascade_frontalface_alt2.xml");
            haveProfile = profile.load(SORVEL_HAAR_CASCADES_DIR "/haarcascade_profileface.xml");
        } catch (const cv::Exception&) {
            haveFrontal = haveProfile = false;
        }
    }
};

CascadePersonSegmenter::CascadePersonSegmenter() : detectors_(std::make_unique<Detectors>()) {}
CascadePersonSegmenter::~CascadePersonSegmenter() = default;

int CascadePersonSegmenter::analysisSide(Quality quality) const {
    switch (quality) {
        case Quality::Fast: return 384;
        case Quality::Balanced: return 512;
        case Quality::Accurate: return 640;
    }
    return 384;
}

std::optional<Mask> CascadePersonSegmenter::segment(const Bitmap& picture, Quality quality) const {
    if (picture.format() != PixelFormat::RGBA8 && picture.format() != PixelFormat::RGBA8Premultiplied)
        return std::nullopt;
    try {
        Detectors& d = *detectors_;
        const int w = picture.width(), h = picture.height();
        cv::Mat rgba(h, w, CV_8UC4, const_cast<std::uint8_t*>(picture.data()), picture.bytesPerRow());
        cv::Mat bgr, grey, equalised;
        cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        cv::equalizeHist(grey, equalised);

        // Fast: skin heads and frontal faces; balanced adds profile faces; accurate adds the
        // people detector (slow, and the most prone to mistake furniture for people).
        const cv::Mat skin = skinMask(bgr);
        std::vector<Find> finds = skinHeads(bgr, grey, skin);
        for (Turn t : {Turn::None, Turn::Clockwise, Turn::CounterClockwise}) {
            const cv::Mat frame = turned(equalised, t);
            const int side = std::min(frame.cols, frame.rows);
            if (quality == Quality::Accurate) {
                std::vector<cv::Rect> found;
                d.hog.detectMultiScale(frame, found, 0.5, cv::Size(8, 8), cv::Size(16, 16), 1.05, 2.0);
                for (const auto& r : found) finds.push_back({t, r, false});
            }
            std::lock_guard lock(d.faceMutex);
            const cv::Size minFace(std::max(12, side / 30), std::max(12, side / 30));
            std::vector<cv::Rect> faces;
            if (d.haveFrontal) d.frontal.detectMultiScale(frame, faces, 1.1, 4, 0, minFace);
            if (d.haveProfile && quality != Quality::Fast) {
                std::vector<cv::Rect> sideways;
                d.profile.detectMultiScale(frame, sideways, 1.1, 4, 0, minFace);
                faces.insert(faces.end(), sideways.begin(), sideways.end());
            }
            // Cascades fire on window grids and foliage too: a face must show some skin.
            const cv::Mat frameSkin = turned(skin, t);
            for (const auto& r : faces)
                if (cv::countNonZero(frameSkin(r & cv::Rect(0, 0, frame.cols, frame.rows))) > r.area() / 6)
                    finds.push_back({t, r, true});
        }
        // The same person found twice in the same frame is segmented once.
        for (std::size_t i = 0; i < finds.size(); ++i)
            for (std::size_t j = finds.size(); j-- > i + 1;)
                if (finds[i].turn == finds[j].turn && finds[i].face == finds[j].face &&
                    overlap(finds[i].box, finds[j].box) > 0.5)
                    finds.erase(finds.begin() + std::ptrdiff_t(j));

        Mask out;
        out.width = w;
        out.height = h;
        out.values.assign(std::size_t(w) * h, 0);
        if (finds.empty()) return out;

        cv::Mat result = cv::Mat::zeros(h, w, CV_8UC1);
        // GrabCut's cost grows with its pixels: the cut runs on the crop reduced to at most
        // `cutSide` pixels a side, and its mask is scaled back.
        const int iterations = quality == Quality::Fast ? 1 : quality == Quality::Balanced ? 3 : 5;
        const int cutSide = quality == Quality::Fast ? 96 : quality == Quality::Balanced ? 160 : 4096;
        for (const Find& f : finds) {
            const cv::Mat frame = turned(bgr, f.turn);
            const cv::Rect all(0, 0, frame.cols, frame.rows);
            cv::Mat labels(frame.size(), CV_8UC1, cv::Scalar(cv::GC_BGD));
            paintPrior(labels, f);
            // A crop around the prior, with room to learn the background's colours.
            cv::Rect used = cv::boundingRect(labels != cv::GC_BGD);
            if (used.area() < 64) continue;
            const cv::Rect crop =
                cv::Rect(used.x - used.width / 3, used.y - used.height / 8, used.width * 5 / 3, used.height * 5 / 4) & all;
            const double k = std::min(1.0, double(cutSide) / std::max(crop.width, crop.height));
            const cv::Size cutSize(std::max(8, int(crop.width * k)), std::max(8, int(crop.height * k)));
            cv::Mat cutImage, cutLabels;
            cv::resize(frame(crop), cutImage, cutSize, 0, 0, cv::INTER_AREA);
            cv::resize(labels(crop), cutLabels, cutSize, 0, 0, cv::INTER_NEAREST);
            cv::Mat bgdModel, fgdModel;
            // GrabCut seeds its colour clusters from OpenCV's per-thread random generator: a
            // fixed seed makes the same picture give the same mask.
            cv::theRNG() = cv::RNG(0x5EED);
            cv::grabCut(cutImage, cutLabels, cv::Rect(), bgdModel, fgdModel, iterations, cv::GC_INIT_WITH_MASK);
            cv::Mat cutPerson = ((cutLabels == cv::GC_FGD) | (cutLabels == cv::GC_PR_FGD)), cropPerson;
            // A standing person fills roughly a third of the crop; a cut that swallowed most of it
            // (or kept almost nothing) followed a false find.
            const double filled = double(cv::countNonZero(cutPerson)) / double(cutPerson.total());
            if (filled > 0.6 || filled < 0.04) continue;
            cv::resize(cutPerson, cropPerson, crop.size(), 0, 0, cv::INTER_LINEAR);
            cv::Mat person = cv::Mat::zeros(frame.size(), CV_8UC1);
            person(crop).setTo(255, cropPerson > 127);
            cv::bitwise_or(result, turned(person, inverse(f.turn)), result);
        }
        // Close pinholes, drop specks, then soften the outline by a pixel.
        const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5));
        cv::morphologyEx(result, result, cv::MORPH_CLOSE, kernel);
        cv::morphologyEx(result, result, cv::MORPH_OPEN, kernel);
        cv::GaussianBlur(result, result, cv::Size(3, 3), 0);
        for (int y = 0; y < h; ++y) std::copy_n(result.ptr<std::uint8_t>(y), w, out.values.data() + std::size_t(y) * w);
        return out;
    } catch (const cv::Exception&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace sorvel::image::segmentation
