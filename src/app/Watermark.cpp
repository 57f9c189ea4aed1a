#include "Watermark.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QTextLayout>
#include <cmath>
#include <cstdio>

#include <cstring>

#include "app/ShadowBlur.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dates.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string timeText(Date now) {
    CalendarTime c = localCalendarTime(now);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour, c.minute, c.second);
    return buf;
}

// One given line laid out within the block's width; a long one wraps onto several.
struct Line {
    std::shared_ptr<QTextLayout> layout;
    QColor colour;
    double height = 0;
    double width = 0;
    int wrapped = 0;
};

std::vector<Line> layoutLines(const std::vector<std::string>& texts, double fontSize, double customFontSize,
                              double maxWidth) {
    std::vector<Line> lines;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        bool custom = i == 0;
        QFont font(QStringLiteral("Noto Sans CJK SC"));
        font.setPointSizeF(custom ? customFontSize : fontSize);
        font.setWeight(static_cast<QFont::Weight>(watermarkFontWeight(i)));
        Line l;
        l.colour = QColor::fromRgbF(1, 1, 1, custom ? 0.13f : 0.15f);
        l.layout = std::make_shared<QTextLayout>(QString::fromStdString(texts[i]), font);
        QTextOption option(Qt::AlignLeft);  // right-aligned when drawn, within the block's width
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        l.layout->setTextOption(option);
        l.layout->setCacheEnabled(true);
        l.layout->beginLayout();
        for (QTextLine line = l.layout->createLine(); line.isValid(); line = l.layout->createLine()) {
            line.setLineWidth(maxWidth);
            line.setPosition(QPointF(0, l.height));
            l.height += line.height();
            l.width = std::max(l.width, line.naturalTextWidth());
            ++l.wrapped;
        }
        l.layout->endLayout();
        if (l.wrapped == 0) l.height = QFontMetricsF(font).height();  // an empty line keeps its height
        lines.push_back(std::move(l));
    }
    return lines;
}

// Separable blur of an alpha mask (three box passes approximate a Gaussian of this radius).
QImage blurredAlpha(const QImage& source, double radiusPixels) {
    QImage alpha = source.convertToFormat(QImage::Format_Alpha8);
    int r = std::max(0, static_cast<int>(std::lround(radiusPixels / 1.73)));
    if (r == 0) return alpha;
    const int w = alpha.width(), h = alpha.height();
    std::vector<float> buf(std::size_t(w) * h);
    // Row pointers fetched once a row: each scanLine() call on a QImage checks for sharing.
    for (int y = 0; y < h; ++y) {
        const uchar* row = alpha.constScanLine(y);
        std::copy(row, row + w, buf.begin() + std::ptrdiff_t(y) * w);
    }
    blurShadowMask(buf, w, h, r);
    for (int y = 0; y < h; ++y) {
        uchar* row = alpha.scanLine(y);
        const float* blurred = buf.data() + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) row[x] = static_cast<uchar>(std::clamp(blurred[x], 0.0f, 255.0f));
    }
    return alpha;
}

}  // namespace

std::vector<std::string> watermarkLines(const Dictionary& metadata, const std::optional<Location>& currentLocation,
                                        Date now) {
    SettingsStore& settings = SettingsStore::standard();
    std::string shutter = "未知", iso = "未知", lens = "未知", latitude = "未知", longitude = "未知";

    auto exif = metadata.find("{Exif}");
    if (exif != metadata.end() && exif->second.dictionaryValue()) {
        const Value& e = exif->second;
        if (e["ExposureTime"].isNumber()) shutter = format("1/%.0f", 1.0 / e["ExposureTime"].toReal());
        if (const Array* list = e["ISOSpeedRatings"].arrayValue(); list && !list->empty() && (*list)[0].isNumber())
            iso = std::to_string((*list)[0].toInteger());
        if (const std::string* s = e["LensModel"].stringValue()) lens = *s;
    }
    auto gps = metadata.find("{GPS}");
    if (gps != metadata.end() && gps->second.dictionaryValue()) {
        const Value& g = gps->second;
        if (g["Latitude"].isNumber() && g["Longitude"].isNumber()) {
            latitude = format("%.4f", g["Latitude"].toReal());
            longitude = format("%.4f", g["Longitude"].toReal());
        }
    } else if (currentLocation) {
        latitude = format("%.4f", currentLocation->latitude);
        longitude = format("%.4f", currentLocation->longitude);
    }
    std::string time = timeText(now);
    std::string mode = localized(settings.boolForKey("setting_0") ? "Sorvel相机-深度Sorvel" : "Sorvel相机-普通模式");
    std::string content = settings.stringForKey("watermarkContent").value_or("");

    std::vector<std::string> lines{content};
    if (!settings.boolForKey("setting_13")) {
        lines.push_back(lens);
        lines.push_back(settings.boolForKey("setting_14") ? time + " Loc" + latitude + "," + longitude : time);
        lines.push_back("SS" + shutter + " ISO" + iso + " " + mode);
    }
    return lines;
}

WatermarkTextSize measureWatermarkText(const std::vector<std::string>& texts, double fontSize, double customFontSize,
                                       double maxWidth) {
    WatermarkTextSize size;
    for (const Line& l : layoutLines(texts, fontSize, customFontSize, maxWidth)) {
        size.width = std::max(size.width, l.width);
        size.height += l.height;
        size.wrappedLines.push_back(l.wrapped);
    }
    return size;
}

int watermarkFontWeight(std::size_t lineIndex) { return lineIndex == 0 ? QFont::ExtraLight : QFont::Thin; }

image::Image createWatermarkLayer(const std::vector<std::string>& texts, double fontSize, double customFontSize,
                                  double W, double H, double scale) {
    using namespace image;
    const double maxWidth = std::max(1.0, W - 40);
    std::vector<Line> lines = layoutLines(texts, fontSize, customFontSize, maxWidth);
    double blockWidth = 0, blockHeight = 0;
    for (const Line& l : lines) {
        blockWidth = std::max(blockWidth, l.width);
        blockHeight += l.height;
    }
    blockWidth = std::ceil(blockWidth);
    blockHeight = std::ceil(blockHeight);

    const int pw = static_cast<int>(std::ceil((blockWidth + 20) * scale));
    const int ph = static_cast<int>(std::ceil((blockHeight + 20) * scale));
    if (pw <= 0 || ph <= 0 || pw > 16384 || ph > 16384) return Image();

    auto drawText = [&](QPainter& p, double x, double y) {
        double top = y;
        for (const Line& l : lines) {
            p.setPen(l.colour);
            // Each wrapped line right-aligned in the block.
            for (int i = 0; i < l.layout->lineCount(); ++i) {
                QTextLine line = l.layout->lineAt(i);
                double shift = blockWidth - line.naturalTextWidth() - line.x();
                line.draw(&p, QPointF(x + shift, top));
            }
            top += l.height;
        }
    };
    auto newLayer = [&] {
        QImage img(pw, ph, QImage::Format_RGBA8888_Premultiplied);
        img.setDevicePixelRatio(scale);
        img.fill(Qt::transparent);
        return img;
    };

    QImage result = newLayer();
    QPainter painter(&result);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::Antialiasing);
    // Each pass draws a shadow of the text (its alpha blurred, in black) and then the text.
    struct Shadow {
        double dx, dy, blur;
    };
    for (Shadow s : {Shadow{0, 0, 2.0}, Shadow{0.5, 0.5, 1.0}, Shadow{-0.5, 0.5, 1.0}, Shadow{0.5, 0.5, 0.5}}) {
        QImage single = newLayer();
        {
            QPainter sp(&single);
            sp.setRenderHint(QPainter::TextAntialiasing);
            drawText(sp, 10 + s.dx, 10 + s.dy);
        }
        QImage mask = blurredAlpha(single, s.blur * scale);
        QImage shadow(mask.size(), QImage::Format_RGBA8888_Premultiplied);
        shadow.fill(Qt::transparent);
        const int mw = mask.width(), mh = mask.height();
        for (int y = 0; y < mh; ++y) {
            const uchar* a = mask.constScanLine(y);
            uchar* d = shadow.scanLine(y);
            for (int x = 0; x < mw; ++x) d[x * 4 + 3] = a[x];
        }
        shadow.setDevicePixelRatio(scale);
        painter.drawImage(QPointF(0, 0), shadow);
        drawText(painter, 10, 10);
    }
    for (double dy : {0.0, 0.2, 0.4, 0.6}) drawText(painter, 10, 10 + dy);
    painter.end();

    auto bitmap = Bitmap::make(pw, ph, PixelFormat::RGBA8Premultiplied, ColorSpace::SRGB);
    if (!bitmap) return Image();
    for (int y = 0; y < ph; ++y) std::memcpy(bitmap->mutableRow(y), result.constScanLine(y), std::size_t(pw) * 4);
    Image layer(*bitmap);
    layer = layer.transformed(AffineTransform::translation(W - pw - 20, 10));
    // The block is drawn at screen scale, so on a small picture it can be wider than the picture;
    // cut at the picture's edge rather than grow the saved picture with an empty margin.
    layer = layer.cropped(Rect{0, 0, W, H});
    Image clear = Image::constantColor(Color::clear()).cropped(Rect{0, 0, W, H});
    return layer.composited(clear);
}

image::Image addWatermarkInternal(const image::Image& picture, const Dictionary& metadata,
                                  const std::optional<Location>& currentLocation, bool mirroredDeepPicture,
                                  double screenScale, std::optional<Date> time) {
    using namespace image;
    Rect e = picture.extent();
    consolePrint("开始添加水印");
    consolePrint("原始图像尺寸: (" + shortestDecimal(e.width) + ", " + shortestDecimal(e.height) + ")");
    auto lines = watermarkLines(metadata, currentLocation, time.value_or(Clock::current().date()));
    Image layer = createWatermarkLayer(lines, 16, 32, e.width, e.height, screenScale);
    if (mirroredDeepPicture) layer = layer.transformed(AffineTransform::translation(-e.width + 20, 10));
    return layer.composited(picture);
}

}  // namespace sorvel
