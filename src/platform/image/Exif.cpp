#include "platform/image/Exif.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <string>

#include <exiv2/exiv2.hpp>

namespace sorvel::image::exif {

namespace {

enum class Kind {
    Real,       // unsigned rational <-> double
    SReal,      // signed rational <-> double
    Int,        // unsigned short <-> integer
    Long,       // unsigned long <-> integer
    IntArray,   // unsigned shorts <-> array of integers
    RealArray,  // unsigned rationals <-> array of doubles
    Text,       // ASCII <-> string
    Version,    // undefined "0231" <-> [2, 3, 1]
    Bytes4,     // bytes (GPS version) <-> array of integers
    Coordinate, // three rationals (deg, min, sec) <-> degrees
    Time,       // three rationals (h, m, s) <-> "HH:mm:ss(.ss)"
    Comment,    // UserComment <-> string
};

struct Field {
    const char* dict;
    const char* key;
    const char* exiv;
    Kind kind;
};

constexpr const char* kExif = "{Exif}";
constexpr const char* kGPS = "{GPS}";
constexpr const char* kTIFF = "{TIFF}";

const Field kFields[] = {
    {kTIFF, "Make", "Exif.Image.Make", Kind::Text},
    {kTIFF, "Model", "Exif.Image.Model", Kind::Text},
    {kTIFF, "Software", "Exif.Image.Software", Kind::Text},
    {kTIFF, "DateTime", "Exif.Image.DateTime", Kind::Text},
    {kTIFF, "Orientation", "Exif.Image.Orientation", Kind::Int},
    {kTIFF, "XResolution", "Exif.Image.XResolution", Kind::Real},
    {kTIFF, "YResolution", "Exif.Image.YResolution", Kind::Real},
    {kTIFF, "ResolutionUnit", "Exif.Image.ResolutionUnit", Kind::Int},
    {kTIFF, "HostComputer", "Exif.Image.HostComputer", Kind::Text},
    {kTIFF, "Artist", "Exif.Image.Artist", Kind::Text},
    {kTIFF, "Copyright", "Exif.Image.Copyright", Kind::Text},
    {kTIFF, "ImageDescription", "Exif.Image.ImageDescription", Kind::Text},

    {kExif, "ExposureTime", "Exif.Photo.ExposureTime", Kind::Real},
    {kExif, "FNumber", "Exif.Photo.FNumber", Kind::Real},
    {kExif, "ExposureProgram", "Exif.Photo.ExposureProgram", Kind::Int},
    {kExif, "ISOSpeedRatings", "Exif.Photo.ISOSpeedRatings", Kind::IntArray},
    {kExif, "SensitivityType", "Exif.Photo.SensitivityType", Kind::Int},
    {kExif, "RecommendedExposureIndex", "Exif.Photo.RecommendedExposureIndex", Kind::Long},
    {kExif, "ExifVersion", "Exif.Photo.ExifVersion", Kind::Version},
    {kExif, "DateTimeOriginal", "Exif.Photo.DateTimeOriginal", Kind::Text},
    {kExif, "DateTimeDigitized", "Exif.Photo.DateTimeDigitized", Kind::Text},
    {kExif, "OffsetTime", "Exif.Photo.OffsetTime", Kind::Text},
    {kExif, "OffsetTimeOriginal", "Exif.Photo.OffsetTimeOriginal", Kind::Text},
    {kExif, "OffsetTimeDigitized", "Exif.Photo.OffsetTimeDigitized", Kind::Text},
    {kExif, "ShutterSpeedValue", "Exif.Photo.ShutterSpeedValue", Kind::SReal},
    {kExif, "ApertureValue", "Exif.Photo.ApertureValue", Kind::Real},
    {kExif, "BrightnessValue", "Exif.Photo.BrightnessValue", Kind::SReal},
    {kExif, "ExposureBiasValue", "Exif.Photo.ExposureBiasValue", Kind::SReal},
    {kExif, "MaxApertureValue", "Exif.Photo.MaxApertureValue", Kind::Real},
    {kExif, "MeteringMode", "Exif.Photo.MeteringMode", Kind::Int},
    {kExif, "LightSource", "Exif.Photo.LightSource", Kind::Int},
    {kExif, "Flash", "Exif.Photo.Flash", Kind::Int},
    {kExif, "FocalLength", "Exif.Photo.FocalLength", Kind::Real},
    {kExif, "SubjectArea", "Exif.Photo.SubjectArea", Kind::IntArray},
    {kExif, "SubsecTime", "Exif.Photo.SubSecTime", Kind::Text},
    {kExif, "SubsecTimeOriginal", "Exif.Photo.SubSecTimeOriginal", Kind::Text},
    {kExif, "SubsecTimeDigitized", "Exif.Photo.SubSecTimeDigitized", Kind::Text},
    {kExif, "ColorSpace", "Exif.Photo.ColorSpace", Kind::Int},
    {kExif, "PixelXDimension", "Exif.Photo.PixelXDimension", Kind::Long},
    {kExif, "PixelYDimension", "Exif.Photo.PixelYDimension", Kind::Long},
    {kExif, "SensingMethod", "Exif.Photo.SensingMethod", Kind::Int},
    {kExif, "ExposureMode", "Exif.Photo.ExposureMode", Kind::Int},
    {kExif, "WhiteBalance", "Exif.Photo.WhiteBalance", Kind::Int},
    {kExif, "DigitalZoomRatio", "Exif.Photo.DigitalZoomRatio", Kind::Real},
    {kExif, "FocalLenIn35mmFilm", "Exif.Photo.FocalLengthIn35mmFilm", Kind::Int},
    {kExif, "SceneCaptureType", "Exif.Photo.SceneCaptureType", Kind::Int},
    {kExif, "Contrast", "Exif.Photo.Contrast", Kind::Int},
    {kExif, "Saturation", "Exif.Photo.Saturation", Kind::Int},
    {kExif, "Sharpness", "Exif.Photo.Sharpness", Kind::Int},
    {kExif, "LensSpecification", "Exif.Photo.LensSpecification", Kind::RealArray},
    {kExif, "LensMake", "Exif.Photo.LensMake", Kind::Text},
    {kExif, "LensModel", "Exif.Photo.LensModel", Kind::Text},
    {kExif, "BodySerialNumber", "Exif.Photo.BodySerialNumber", Kind::Text},
    {kExif, "CameraOwnerName", "Exif.Photo.CameraOwnerName", Kind::Text},
    {kExif, "LensSerialNumber", "Exif.Photo.LensSerialNumber", Kind::Text},
    {kExif, "CompositeImage", "Exif.Photo.CompositeImage", Kind::Int},
    {kExif, "UserComment", "Exif.Photo.UserComment", Kind::Comment},

    {kGPS, "Version", "Exif.GPSInfo.GPSVersionID", Kind::Bytes4},
    {kGPS, "LatitudeRef", "Exif.GPSInfo.GPSLatitudeRef", Kind::Text},
    {kGPS, "Latitude", "Exif.GPSInfo.GPSLatitude", Kind::Coordinate},
    {kGPS, "LongitudeRef", "Exif.GPSInfo.GPSLongitudeRef", Kind::Text},
    {kGPS, "Longitude", "Exif.GPSInfo.GPSLongitude", Kind::Coordinate},
    {kGPS, "AltitudeRef", "Exif.GPSInfo.GPSAltitudeRef", Kind::Bytes4},
    {kGPS, "Altitude", "Exif.GPSInfo.GPSAltitude", Kind::Real},
    {kGPS, "TimeStamp", "Exif.GPSInfo.GPSTimeStamp", Kind::Time},
    {kGPS, "Satellites", "Exif.GPSInfo.GPSSatellites", Kind::Text},
    {kGPS, "Status", "Exif.GPSInfo.GPSStatus", Kind::Text},
    {kGPS, "MeasureMode", "Exif.GPSInfo.GPSMeasureMode", Kind::Text},
    {kGPS, "DOP", "Exif.GPSInfo.GPSDOP", Kind::Real},
    {kGPS, "SpeedRef", "Exif.GPSInfo.GPSSpeedRef", Kind::Text},
    {kGPS, "Speed", "Exif.GPSInfo.GPSSpeed", Kind::Real},
    {kGPS, "ImgDirectionRef", "Exif.GPSInfo.GPSImgDirectionRef", Kind::Text},
    {kGPS, "ImgDirection", "Exif.GPSInfo.GPSImgDirection", Kind::Real},
    {kGPS, "DestBearingRef", "Exif.GPSInfo.GPSDestBearingRef", Kind::Text},
    {kGPS, "DestBearing", "Exif.GPSInfo.GPSDestBearing", Kind::Real},
    {kGPS, "MapDatum", "Exif.GPSInfo.GPSMapDatum", Kind::Text},
    {kGPS, "DateStamp", "Exif.GPSInfo.GPSDateStamp", Kind::Text},
    {kGPS, "HPositioningError", "Exif.GPSInfo.GPSHPositioningError", Kind::Real},
};

void initialiseExiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

// Best fraction n/d for v with n <= maxNum and d <= maxDen (continued fractions); exact for
// short decimals and reciprocals such as 33.86 = 1693/50 and 1/120.
std::pair<std::int64_t, std::int64_t> fraction(double v, std::int64_t maxNum, std::int64_t maxDen) {
    if (!std::isfinite(v)) return {0, 1};
    bool neg = v < 0;
    double x = std::fabs(v);
    if (x > double(maxNum)) return {neg ? -maxNum : maxNum, 1};
    std::int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;  // convergents h/k
    double r = x;
    for (int i = 0; i < 64; ++i) {
        double a = std::floor(r);
        if (a > 4e18) break;
        std::int64_t ai = std::int64_t(a);
        std::int64_t h2 = ai * h1 + h0, k2 = ai * k1 + k0;
        if (h2 > maxNum || k2 > maxDen || h2 < 0 || k2 < 0) break;
        h0 = h1, h1 = h2, k0 = k1, k1 = k2;
        if (double(h1) / double(k1) == x) break;
        double frac = r - a;
        if (frac < 1e-18) break;
        r = 1.0 / frac;
    }
    if (k1 == 0) return {0, 1};
    return {neg ? -h1 : h1, k1};
}

double ratio(const Exiv2::Rational& r) { return r.second == 0 ? 0.0 : double(r.first) / double(r.second); }
double ratio(const Exiv2::URational& r) { return r.second == 0 ? 0.0 : double(r.first) / double(r.second); }

double realAt(const Exiv2::Exifdatum& d, long i) {
    if (auto* u = dynamic_cast<const Exiv2::URationalValue*>(&d.value()))
        return i < long(u->value_.size()) ? ratio(u->value_[std::size_t(i)]) : 0.0;
    if (auto* r = dynamic_cast<const Exiv2::RationalValue*>(&d.value()))
        return i < long(r->value_.size()) ? ratio(r->value_[std::size_t(i)]) : 0.0;
    return i < d.count() ? double(d.value().toFloat(i)) : 0.0;
}

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\0' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string formatTime(double h, double m, double s) {
    char buf[64];
    std::string sec = shortestDecimal(s);
    if (s < 10) sec = "0" + sec;
    std::snprintf(buf, sizeof buf, "%02d:%02d:", int(h), int(m));
    return buf + sec;
}

std::optional<Value> readField(const Field& f, const Exiv2::Exifdatum& d) {
    const long n = d.count();
    if (n <= 0) return std::nullopt;
    switch (f.kind) {
        case Kind::Real:
        case Kind::SReal:
            return Value(realAt(d, 0));
        case Kind::Int:
        case Kind::Long:
            return Value(static_cast<long long>(d.value().toLong(0)));
        case Kind::IntArray: {
            Array a;
            for (long i = 0; i < n && i < 64; ++i) a.push_back(Value(static_cast<long long>(d.value().toLong(i))));
            return Value(std::move(a));
        }
        case Kind::RealArray: {
            Array a;
            for (long i = 0; i < n && i < 64; ++i) a.push_back(Value(realAt(d, i)));
            return Value(std::move(a));
        }
        case Kind::Bytes4: {
            if (n == 1) return Value(static_cast<long long>(d.value().toLong(0)));
            Array a;
            for (long i = 0; i < n && i < 8; ++i) a.push_back(Value(static_cast<long long>(d.value().toLong(i))));
            return Value(std::move(a));
        }
        case Kind::Text: {
            std::string s = trimmed(d.value().toString());
            return Value(std::move(s));
        }
        case Kind::Version: {
            // "0231" -> [2, 3, 1]
            std::string s;
            for (long i = 0; i < n && i < 8; ++i) s.push_back(char(d.value().toLong(i)));
            Array a;
            for (std::size_t i = 0; i < s.size(); ++i) {
                if (s[i] < '0' || s[i] > '9') return std::nullopt;
                if (i == 0 && s[i] == '0' && s.size() > 1) continue;
                if (i == s.size() - 1 && s[i] == '0' && s.size() > 3) continue;
                a.push_back(Value(s[i] - '0'));
            }
            return Value(std::move(a));
        }
        case Kind::Coordinate: {
            double v = 0, scale = 1;
            for (long i = 0; i < n && i < 3; ++i, scale *= 60) v += realAt(d, i) / scale;
            return Value(v);
        }
        case Kind::Time: {
            if (n < 3) return std::nullopt;
            return Value(formatTime(realAt(d, 0), realAt(d, 1), realAt(d, 2)));
        }
        case Kind::Comment: {
            auto* c = dynamic_cast<const Exiv2::CommentValue*>(&d.value());
            std::string s = c ? c->comment() : d.value().toString();
            return Value(trimmed(s));
        }
    }
    return std::nullopt;
}

Dictionary fromExifData(const Exiv2::ExifData& data) {
    Dictionary exif, gps, tiff;
    for (const Field& f : kFields) {
        auto it = data.findKey(Exiv2::ExifKey(f.exiv));
        if (it == data.end()) continue;
        auto v = readField(f, *it);
        if (!v) continue;
        Dictionary& target = f.dict == kExif ? exif : f.dict == kGPS ? gps : tiff;
        target.emplace(f.key, std::move(*v));
    }
    Dictionary out;
    if (auto o = tiff.find("Orientation"); o != tiff.end()) {
        std::int64_t v = o->second.toInteger();
        if (v >= 1 && v <= 8) out.emplace("Orientation", Value(static_cast<long long>(v)));
    }
    if (!exif.empty()) out.emplace(kExif, Value(std::move(exif)));
    if (!gps.empty()) out.emplace(kGPS, Value(std::move(gps)));
    if (!tiff.empty()) out.emplace(kTIFF, Value(std::move(tiff)));
    return out;
}

template <class V>
void put(Exiv2::ExifData& data, const char* key, const V& value) {
    data.add(Exiv2::ExifKey(key), &value);
}

bool writeField(const Field& f, const Value& v, Exiv2::ExifData& data) {
    switch (f.kind) {
        case Kind::Real: {
            if (!v.isNumber() || v.toReal() < 0) return false;
            auto [n, d] = fraction(v.toReal(), 0xFFFFFFFFLL, 0xFFFFFFFFLL);
            Exiv2::URationalValue val;
            val.value_.push_back({std::uint32_t(n), std::uint32_t(d)});
            put(data, f.exiv, val);
            return true;
        }
        case Kind::SReal: {
            if (!v.isNumber()) return false;
            auto [n, d] = fraction(v.toReal(), 0x7FFFFFFFLL, 0x7FFFFFFFLL);
            Exiv2::RationalValue val;
            val.value_.push_back({std::int32_t(n), std::int32_t(d)});
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Int: {
            if (!v.isNumber()) return false;
            Exiv2::UShortValue val;
            val.value_.push_back(std::uint16_t(v.toInteger()));
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Long: {
            if (!v.isNumber()) return false;
            Exiv2::ULongValue val;
            val.value_.push_back(std::uint32_t(v.toInteger()));
            put(data, f.exiv, val);
            return true;
        }
        case Kind::IntArray:
        case Kind::RealArray: {
            const Array* a = v.arrayValue();
            Array single;
            if (!a && v.isNumber()) {
                single.push_back(v);
                a = &single;
            }
            if (!a || a->empty()) return false;
            if (f.kind == Kind::IntArray) {
                Exiv2::UShortValue val;
                for (const Value& e : *a) val.value_.push_back(std::uint16_t(e.toInteger()));
                put(data, f.exiv, val);
            } else {
                Exiv2::URationalValue val;
                for (const Value& e : *a) {
                    auto [n, d] = fraction(std::max(0.0, e.toReal()), 0xFFFFFFFFLL, 0xFFFFFFFFLL);
                    val.value_.push_back({std::uint32_t(n), std::uint32_t(d)});
                }
                put(data, f.exiv, val);
            }
            return true;
        }
        case Kind::Bytes4: {
            Exiv2::DataValue val(Exiv2::unsignedByte);
            std::vector<Exiv2::byte> bytes;
            if (const Array* a = v.arrayValue()) {
                for (const Value& e : *a) bytes.push_back(Exiv2::byte(e.toInteger()));
            } else if (v.isNumber()) {
                bytes.push_back(Exiv2::byte(v.toInteger()));
            } else {
                return false;
            }
            if (bytes.empty()) return false;
            val.read(bytes.data(), long(bytes.size()));
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Text: {
            auto s = v.toString();
            if (!s || v.isNull()) return false;
            Exiv2::AsciiValue val(*s);
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Version: {
            const Array* a = v.arrayValue();
            if (!a || a->empty()) return false;
            // [2, 3, 1] -> "0231", [2, 3] -> "0230": two digits of major version, then one each.
            std::string s;
            for (const Value& e : *a) s.push_back(char('0' + std::clamp<std::int64_t>(e.toInteger(), 0, 9)));
            s.insert(s.begin(), '0');
            while (s.size() < 4) s.push_back('0');
            Exiv2::DataValue val(Exiv2::undefined);
            val.read(reinterpret_cast<const Exiv2::byte*>(s.data()), long(s.size()));
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Coordinate: {
            if (!v.isNumber()) return false;
            // Whole value in the degrees term, 0 minutes, 0 seconds: exact to 1e-7 and better.
            auto [n, d] = fraction(std::fabs(v.toReal()), 0xFFFFFFFFLL, 0xFFFFFFFFLL);
            Exiv2::URationalValue val;
            val.value_.push_back({std::uint32_t(n), std::uint32_t(d)});
            val.value_.push_back({0, 1});
            val.value_.push_back({0, 1});
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Time: {
            const std::string* s = v.stringValue();
            if (!s) return false;
            int h = 0, m = 0;
            double sec = 0;
            if (std::sscanf(s->c_str(), "%d:%d:%lf", &h, &m, &sec) != 3) return false;
            Exiv2::URationalValue val;
            val.value_.push_back({std::uint32_t(h), 1});
            val.value_.push_back({std::uint32_t(m), 1});
            auto [n, d] = fraction(sec, 0xFFFFFFFFLL, 0xFFFFFFFFLL);
            val.value_.push_back({std::uint32_t(n), std::uint32_t(d)});
            put(data, f.exiv, val);
            return true;
        }
        case Kind::Comment: {
            const std::string* s = v.stringValue();
            if (!s) return false;
            bool ascii = std::all_of(s->begin(), s->end(), [](char c) { return (unsigned char)c < 0x80; });
            Exiv2::CommentValue val((ascii ? "charset=Ascii " : "charset=Unicode ") + *s);
            put(data, f.exiv, val);
            return true;
        }
    }
    return false;
}

}  // namespace

std::optional<Dictionary> read(const std::uint8_t* data, std::size_t size) {
    initialiseExiv2();
    if (!data || size < 8 || size > (std::size_t(1) << 28)) return std::nullopt;
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) data += 6, size -= 6;
    try {
        Exiv2::ExifData exifData;
        Exiv2::ExifParser::decode(exifData, data, static_cast<std::uint32_t>(size));
        if (exifData.empty()) return std::nullopt;
        return fromExifData(exifData);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Bytes> write(const Dictionary& properties) {
    initialiseExiv2();
    try {
        Exiv2::ExifData data;
        bool any = false;
        for (const Field& f : kFields) {
            const Dictionary* d = properties.count(f.dict) ? properties.find(f.dict)->second.dictionaryValue() : nullptr;
            if (!d) continue;
            auto it = d->find(f.key);
            if (it == d->end()) continue;
            any |= writeField(f, it->second, data);
        }
        if (!any) return std::nullopt;
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data);
        if (blob.empty()) return std::nullopt;
        return Bytes(blob.begin(), blob.end());
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Dictionary> readFile(const std::uint8_t* data, std::size_t size) {
    initialiseExiv2();
    if (!data || size == 0 || size > (std::size_t(1) << 30)) return std::nullopt;
    try {
        auto image = Exiv2::ImageFactory::open(data, long(size));
        if (!image.get()) return std::nullopt;
        image->readMetadata();
        const Exiv2::ExifData& exifData = image->exifData();
        Dictionary out = fromExifData(exifData);
        if (auto it = exifData.findKey(Exiv2::ExifKey("Exif.Image.DNGVersion")); it != exifData.end()) {
            Array version;
            for (long i = 0; i < it->count() && i < 4; ++i)
                version.push_back(Value(static_cast<long long>(it->value().toLong(i))));
            out.emplace("{DNG}", Value(Dictionary{{"DNGVersion", Value(std::move(version))}}));
        }
        if (image->pixelWidth() > 0 && image->pixelHeight() > 0) {
            out.insert_or_assign("PixelWidth", Value(static_cast<long long>(image->pixelWidth())));
            out.insert_or_assign("PixelHeight", Value(static_cast<long long>(image->pixelHeight())));
        }
        return out;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace sorvel::image::exif
