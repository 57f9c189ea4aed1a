#include "platform/capture/gstreamer/GstSupport.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace sorvel {

std::optional<std::string> ensureGStreamer() {
    static std::once_flag once;
    static std::optional<std::string> failure;
    std::call_once(once, [] {
        GError* error = nullptr;
        if (!gst_init_check(nullptr, nullptr, &error)) {
            failure = std::string("GStreamer could not start: ") + (error ? error->message : "unknown reason");
            if (error) g_error_free(error);
        }
    });
    return failure;
}

namespace {

// Raw formats in the order we would rather convert from: the preview's own first.
int formatPreference(const std::string& f) {
    static const char* order[] = {"BGRx", "BGRA", "YUY2", "NV12", "I420", "UYVY", "YV12", "RGBx", "RGBA", "xRGB", "RGB", "BGR"};
    for (int i = 0; i < int(std::size(order)); ++i)
        if (f == order[i]) return i;
    if (isGreyFormat(f)) return 1000;  // last: what an infrared node sends
    return 100;
}

std::vector<std::string> formatsOf(const GstStructure* s) {
    std::vector<std::string> out;
    const GValue* v = gst_structure_get_value(s, "format");
    if (!v) return {""};
    if (G_VALUE_HOLDS_STRING(v)) return {g_value_get_string(v)};
    if (GST_VALUE_HOLDS_LIST(v))
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_STRING(item)) out.push_back(g_value_get_string(item));
        }
    return out;
}

// The values an int field allows: fixed, listed, or a range (clamped to `wanted` sizes).
std::vector<int> intsOf(const GstStructure* s, const char* field, std::initializer_list<int> wanted) {
    const GValue* v = gst_structure_get_value(s, field);
    if (!v) return std::vector<int>(wanted);
    if (G_VALUE_HOLDS_INT(v)) return {g_value_get_int(v)};
    std::vector<int> out;
    if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        int lo = gst_value_get_int_range_min(v), hi = gst_value_get_int_range_max(v);
        for (int w : wanted) out.push_back(std::clamp(w, lo, hi));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_INT(item)) out.push_back(g_value_get_int(item));
        }
    }
    return out;
}

// The rate nearest 30 fps from at or above it, else the fastest.
std::pair<int, int> rateOf(const GstStructure* s) {
    const GValue* v = gst_structure_get_value(s, "framerate");
    if (!v) return {30, 1};
    std::vector<std::pair<int, int>> rates;
    if (GST_VALUE_HOLDS_FRACTION(v)) {
        rates.push_back({gst_value_get_fraction_numerator(v), gst_value_get_fraction_denominator(v)});
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(v)) {
        const GValue* lo = gst_value_get_fraction_range_min(v);
        const GValue* hi = gst_value_get_fraction_range_max(v);
        double low = double(gst_value_get_fraction_numerator(lo)) / std::max(1, gst_value_get_fraction_denominator(lo));
        double high = double(gst_value_get_fraction_numerator(hi)) / std::max(1, gst_value_get_fraction_denominator(hi));
        if (low <= 30 && high >= 30) return {30, 1};
        return high < 30 ? std::pair(gst_value_get_fraction_numerator(hi), gst_value_get_fraction_denominator(hi))
                         : std::pair(gst_value_get_fraction_numerator(lo), gst_value_get_fraction_denominator(lo));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (GST_VALUE_HOLDS_FRACTION(item))
                rates.push_back({gst_value_get_fraction_numerator(item), gst_value_get_fraction_denominator(item)});
        }
    }
    if (rates.empty()) return {30, 1};
    auto fps = [](std::pair<int, int> r) { return r.second > 0 ? double(r.first) / r.second : 0; };
    std::optional<std::pair<int, int>> best;
    for (auto r : rates)
        if (fps(r) >= 29.5 && (!best || fps(r) < fps(*best))) best = r;
    if (best) return *best;
    return *std::max_element(rates.begin(), rates.end(), [&](auto a, auto b) { return fps(a) < fps(b); });
}

}  // namespace

std::vector<CameraMode> modesFromCaps(const GstCaps* caps) {
    std::vector<CameraMode> out;
    if (!caps || gst_caps_is_any(caps)) return out;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        std::string name = gst_structure_get_name(s);
        FrameKind kind;
        if (name == "video/x-raw") kind = FrameKind::Raw;
        else if (name == "image/jpeg") kind = FrameKind::Jpeg;
        else if (name == "video/x-bayer") kind = FrameKind::Bayer;
        else continue;  // H.264 and other encoded streams are not decoded here
        // Only plain system-memory frames: a caps feature (DMABuf, GL) needs other elements.
        GstCapsFeatures* features = gst_caps_get_features(caps, i);
        if (features && !gst_caps_features_is_equal(features, GST_CAPS_FEATURES_MEMORY_SYSTEM_MEMORY)) continue;

        std::vector<std::string> formats = formatsOf(s);
        std::string format;
        if (kind == FrameKind::Raw) {
            format = *std::min_element(formats.begin(), formats.end(),
                                       [](auto& a, auto& b) { return formatPreference(a) < formatPreference(b); });
        } else if (kind == FrameKind::Bayer) {
            auto it = std::find_if(formats.begin(), formats.end(), [](auto& f) { return bayerPattern(f).has_value(); });
            format = it != formats.end() ? *it : formats.front();
        }
        auto rate = rateOf(s);
        std::vector<int> widths = intsOf(s, "width", {kRangePreviewSize.width, kRangeStillSize.width});
        std::vector<int> heights = intsOf(s, "height", {kRangePreviewSize.height, kRangeStillSize.height});
        const GValue* w = gst_structure_get_value(s, "width");
        bool paired = w && GST_VALUE_HOLDS_INT_RANGE(w) && widths.size() == heights.size();
        for (std::size_t a = 0; a < widths.size(); ++a)
            for (std::size_t b = 0; b < heights.size(); ++b) {
                // Ranges pair the preview width with the preview height, the still's with the still's.
                if (paired && a != b) continue;
                CameraMode m{kind, format, widths[a], heights[b], rate.first, rate.second};
                if (std::find(out.begin(), out.end(), m) == out.end()) out.push_back(m);
            }
    }
    return out;
}

std::string gstMessageText(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) gst_message_parse_error(message, &error, &debug);
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING) gst_message_parse_warning(message, &error, &debug);
    std::string text = error ? error->message : "unknown error";
    if (error) g_error_free(error);
    g_free(debug);
    // Our lines go on after the message.
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace sorvel
