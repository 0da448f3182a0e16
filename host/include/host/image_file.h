/// @file image_file.h
/// @brief Reading and writing bitmaps as image files (through OpenImageIO), and frame-numbered
///        file name patterns.
///
/// Colour. A bitmap holds display values (what the frame looks like on screen, the values
/// every effect is drawn with): 16 bits per channel, premultiplied by alpha. Integer formats
/// (PNG, TIFF, JPEG, TGA, …) store those values as they are. OpenEXR stores scene-linear light,
/// so writing an EXR converts colour from the sRGB curve to linear and reading a linear file
/// (float data, or a file that declares a linear colour space) converts back; both conversions
/// work on unpremultiplied colour and leave alpha alone. An EXR therefore looks the same in a
/// compositor's viewer as the PNG of the same frame. Values above 1 are clipped when read
/// into 16-bit pixels.
///
/// Files written, by extension:
///   .exr           R G B A as half (premultiplied, linear), then when the bitmap has them
///                  Z as float (camera-space z exactly as stored: negative in front of the
///                  camera; kFarDepth, −1.0e30, where nothing was rendered) and materialId as
///                  uint (the material byte); zip compression.
///   .png .tif .tiff  R G B A at 16 bits (PNG stores unassociated alpha, as its format
///                  demands; OpenImageIO divides it out).
///   .jpg .jpeg     R G B at 8 bits, quality 95 (colour over black; there is no alpha).
///   others         whatever OpenImageIO writes for the extension: R G B A when the format
///                  has alpha, else R G B, at 16 bits or the nearest depth the format has.
/// A file is written under a temporary name beside the target and renamed over it only when
/// complete, so a failed write never leaves a partial image (nor spoils an older one).
/// The target's folder must exist.
#pragma once

#include "host/bitmap.h"

#include <stdexcept>
#include <string>

/// An image file that could not be read or written. `what()` names the file and the reason
/// (OpenImageIO's message when it gave one).
class ImageFileError : public std::runtime_error {
public:
    ImageFileError(const std::string &path, const std::string &message);
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

/// What `ReadImageFile` found in a file.
struct ImageFileContents {
    std::string format;  ///< OpenImageIO's format name ("openexr", "png", …)
    int width = 0;
    int height = 0;
    int channels = 0;              ///< channels in the file
    bool alpha = false;            ///< an alpha channel was read (otherwise alpha is 1)
    bool linear = false;           ///< colour was converted from linear light
    std::string depthName;         ///< channel read into the depth channel, empty when none
    bool depthIsDistance = false;  ///< depth held positive distances and was negated
    std::string materialName;      ///< channel read into the material channel, empty when none
};

/// Reads the first image of a file in any format OpenImageIO reads. Colour comes from the
/// channels named R, G, B (a one-channel or luminance image gives grey; unnamed channels are
/// taken in order), alpha from A or the file's alpha channel. A depth channel (Z, depth.Z or
/// the file's declared depth channel) becomes the bitmap's depth channel: camera-space z,
/// negative in front of the camera, as this program writes it. Files from tools that store
/// positive distances instead (no negative sample) are negated; zero, infinite and NaN depths
/// become kFarDepth. A materialId channel becomes the material channel (values limited to
/// 0 … 255). Throws ImageFileError when the file cannot be read, is deep, or is larger than a
/// bitmap may be.
BitmapPtr ReadImageFile(const std::string &path, ImageFileContents *found = nullptr);

/// Writes `bm` to `path` in the format its extension picks (see the file comment). Throws
/// ImageFileError naming the path when no format matches the extension or the write fails.
void WriteImageFile(const std::string &path, const Bitmap &bm);

/// The file name of frame `frame` from a pattern: each run of N '#' becomes the frame number
/// with at least N digits, and printf-style %d, %4d and %04d work too ("%%" is a '%').
/// A negative frame's sign counts toward the width, as with printf (#### and frame −5 give
/// "-005"). A pattern without a frame field names the same file for every frame.
std::string ExpandFramePattern(const std::string &pattern, int frame);
