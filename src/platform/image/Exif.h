#pragma once
// The Exif block (a TIFF structure, as carried by HEIC items, JPEG APP1 and DNG) to and from the
// platform's property dictionaries, on exiv2. Field by field, exactly: rationals are written
// with the best fraction of 32-bit terms (continued fractions), so a GPS latitude of 33.86
// reads back as 33.86 and 1/120 s as 1/120; arrays keep their order.
//
// Keys known (others in the file are not reported; others in a dictionary are not written):
//   "{Exif}": ExposureTime, FNumber, ExposureProgram, ISOSpeedRatings [int], ExifVersion [int],
//     DateTimeOriginal, DateTimeDigitized, OffsetTime, OffsetTimeOriginal, OffsetTimeDigitized,
//     ShutterSpeedValue, ApertureValue, BrightnessValue, ExposureBiasValue, MaxApertureValue,
//     MeteringMode, LightSource, Flash, FocalLength, SubjectArea [int], SubsecTime,
//     SubsecTimeOriginal, SubsecTimeDigitized, ColorSpace, PixelXDimension, PixelYDimension,
//     SensingMethod, ExposureMode, WhiteBalance, DigitalZoomRatio, FocalLenIn35mmFilm,
//     SceneCaptureType, Contrast, Saturation, Sharpness, LensSpecification [real], LensMake,
//     LensModel, BodySerialNumber, CameraOwnerName, LensSerialNumber, CompositeImage,
//     UserComment, SensitivityType, RecommendedExposureIndex
//   "{GPS}": LatitudeRef, Latitude, LongitudeRef, Longitude, AltitudeRef, Altitude, TimeStamp
//     ("HH:mm:ss.SS"), DateStamp ("yyyy:MM:dd"), Speed, SpeedRef, ImgDirection, ImgDirectionRef,
//     DestBearing, DestBearingRef, HPositioningError, Satellites, Status, MeasureMode, DOP,
//     MapDatum, Version [int]
//   "{TIFF}": Make, Model, Software, DateTime, Orientation, XResolution, YResolution,
//     ResolutionUnit, HostComputer, Artist, Copyright, ImageDescription

#include <cstdint>
#include <optional>

#include "platform/foundation/Value.h"

namespace sorvel::image::exif {

// A TIFF-structured Exif block (starting "II*\0" or "MM\0*"; a leading "Exif\0\0" is skipped)
// to {"{Exif}", "{GPS}", "{TIFF}", "Orientation"} entries. Nothing for a block exiv2 rejects.
std::optional<Dictionary> read(const std::uint8_t* data, std::size_t size);

// The "{Exif}", "{GPS}" and "{TIFF}" entries of `properties` as a TIFF-structured Exif block
// (little-endian, no "Exif\0\0" prefix). Values of the wrong type are skipped. Nothing when
// there is nothing to write.
std::optional<Bytes> write(const Dictionary& properties);

// The properties that exiv2 reads from a whole file it knows (JPEG, PNG, TIFF, DNG, ...).
std::optional<Dictionary> readFile(const std::uint8_t* data, std::size_t size);

}  // namespace sorvel::image::exif
