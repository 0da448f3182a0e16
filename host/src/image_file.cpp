/// @file image_file.cpp
/// @brief Bitmaps to and from image files through OpenImageIO: channel lookup, the sRGB and
///        linear conversions for EXR, depth conventions, and writes that replace a file only
///        once complete.
#include "host/image_file.h"

#include <OpenImageIO/half.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using OIIO::ImageInput;
using OIIO::ImageOutput;
using OIIO::ImageSpec;
using OIIO::TypeDesc;

constexpr float kFull = 65535.0f;
/// JPEG quality (0 … 100) of written files.
constexpr int kJpegQuality = 95;
/// Depth magnitudes from this on are "nothing there" markers rather than distances.
constexpr float kHugeDepth = 1.0e29f;

// Colour -------------------------------------------------------------------------------------

float SrgbToLinear(float v) {
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}
float LinearToSrgb(float v) {
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

/// Applies a transfer curve to premultiplied colour: unpremultiplied first where there is
/// alpha, so that the curve sees the surface colour; colour without alpha (additive light)
/// is converted as it is.
template <typename Curve>
void ConvertPremultiplied(float rgb[3], float alpha, Curve curve) {
    if (alpha > 0.0f) {
        for (int c = 0; c < 3; ++c) rgb[c] = curve(std::max(rgb[c], 0.0f) / alpha) * alpha;
    } else {
        for (int c = 0; c < 3; ++c) rgb[c] = curve(std::max(rgb[c], 0.0f));
    }
}

UWORD ToWord(float v) {
    if (!(v > 0.0f)) return 0;  // also NaN
    return v >= 1.0f ? UWORD(65535) : UWORD(v * kFull + 0.5f);
}

bool IEquals(const std::string &a, const char *b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Lower(std::string s) {
    for (char &c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

/// Index of the first channel named one of `names` (exact names first, then ignoring case),
/// or −1.
int FindChannel(const ImageSpec &spec, std::initializer_list<const char *> names) {
    for (const char *n : names)
        for (int c = 0; c < spec.nchannels; ++c)
            if (spec.channelnames[c] == n) return c;
    for (const char *n : names)
        for (int c = 0; c < spec.nchannels; ++c)
            if (IEquals(spec.channelnames[c], n)) return c;
    return -1;
}

/// Whether the file's colour is linear light: as it declares, else by its data type.
bool IsLinear(const ImageSpec &spec) {
    const std::string cs = Lower(spec.get_string_attribute("oiio:ColorSpace"));
    if (cs.find("srgb") != std::string::npos || cs.find("rec709") != std::string::npos ||
        cs.find("gamma") != std::string::npos)
        return false;
    if (cs.find("linear") != std::string::npos || cs.find("aces") != std::string::npos)
        return true;
    return spec.format.is_floating_point();
}

// Reading ------------------------------------------------------------------------------------

class Reader {
public:
    Reader(const std::string &path, ImageInput &in) : path_(path), in_(in) {}

    /// Channels [first, first + count) of the whole image as floats, pixel-interleaved.
    std::vector<float> ReadFloat(int first, int count) {
        const ImageSpec &spec = in_.spec();
        std::vector<float> data(std::size_t(spec.width) * spec.height * count);
        if (!in_.read_image(0, 0, first, first + count, TypeDesc::FLOAT, data.data()))
            Fail("cannot read the pixels: " + in_.geterror());
        return data;
    }
    /// One integer channel without normalisation.
    std::vector<std::uint32_t> ReadUint(int channel) {
        const ImageSpec &spec = in_.spec();
        std::vector<std::uint32_t> data(std::size_t(spec.width) * spec.height);
        if (!in_.read_image(0, 0, channel, channel + 1, TypeDesc::UINT32, data.data()))
            Fail("cannot read the pixels: " + in_.geterror());
        return data;
    }
    [[noreturn]] void Fail(const std::string &message) { throw ImageFileError(path_, message); }

private:
    const std::string &path_;
    ImageInput &in_;
};

/// Reads colour and alpha into the bitmap; returns whether alpha was found.
bool ReadColour(Reader &reader, const ImageSpec &spec, Bitmap &bm, bool linear) {
    const int z = spec.z_channel;
    int alpha = FindChannel(spec, {"A", "alpha"});
    if (alpha < 0 && spec.alpha_channel >= 0 && spec.alpha_channel < spec.nchannels)
        alpha = spec.alpha_channel;
    int rgb[3] = {FindChannel(spec, {"R", "red"}), FindChannel(spec, {"G", "green"}),
                  FindChannel(spec, {"B", "blue"})};
    if (rgb[0] < 0 || rgb[1] < 0 || rgb[2] < 0) {
        // Unnamed colour: the first channels that are neither alpha nor depth, in order;
        // a single one is grey.
        std::vector<int> free;
        for (int c = 0; c < spec.nchannels && free.size() < 3; ++c)
            if (c != alpha && c != z) free.push_back(c);
        const int y = FindChannel(spec, {"Y", "L"});
        if (free.size() == 3 && y < 0)
            std::copy(free.begin(), free.end(), rgb);
        else
            rgb[0] = rgb[1] = rgb[2] = y >= 0 ? y : (free.empty() ? -1 : free[0]);
    }

    // Read the span of channels that holds colour and alpha in one go.
    int lo = spec.nchannels, hi = -1;
    for (int c : {rgb[0], rgb[1], rgb[2], alpha})
        if (c >= 0) lo = std::min(lo, c), hi = std::max(hi, c);
    if (hi < 0) {  // neither colour nor alpha: opaque black
        bm.Fill(0, 0, 0, 65535);
        return false;
    }
    const int span = hi - lo + 1;
    const std::vector<float> data = reader.ReadFloat(lo, span);

    BMM_Color_64 *out = bm.Pixels();
    const std::size_t count = std::size_t(bm.Width()) * bm.Height();
    for (std::size_t i = 0; i < count; ++i) {
        const float *p = &data[i * span];
        float c[3];
        for (int k = 0; k < 3; ++k) c[k] = rgb[k] >= 0 ? p[rgb[k] - lo] : 0.0f;
        const float a = alpha >= 0 ? p[alpha - lo] : 1.0f;
        if (linear) ConvertPremultiplied(c, std::clamp(a, 0.0f, 1.0f), LinearToSrgb);
        out[i] = BMM_Color_64{ToWord(c[0]), ToWord(c[1]), ToWord(c[2]), ToWord(a)};
    }
    return alpha >= 0;
}

/// Reads the depth channel `channel` into the bitmap; returns whether distances were negated.
bool ReadDepth(Reader &reader, int channel, Bitmap &bm) {
    std::vector<float> z = reader.ReadFloat(channel, 1);
    bool negative = false, positive = false;
    for (float v : z) {
        if (!std::isfinite(v) || std::abs(v) >= kHugeDepth) continue;
        negative |= v < 0.0f;
        positive |= v > 0.0f;
    }
    // A file without any negative depth comes from a tool that stores distances.
    const bool distances = positive && !negative;
    bm.CreateChannels(BMM_CHAN_Z);
    float *out = bm.DepthChannel();
    if (!out) reader.Fail("out of memory for the depth channel");
    for (std::size_t i = 0; i < z.size(); ++i) {
        float v = z[i];
        if (std::isnan(v) || std::isinf(v) || (distances && (v <= 0.0f || v >= kHugeDepth)))
            v = kFarDepth;
        else if (distances)
            v = -v;
        out[i] = v;
    }
    return distances;
}

void ReadMaterial(Reader &reader, const ImageSpec &spec, int channel, Bitmap &bm) {
    bm.CreateChannels(BMM_CHAN_MTL_ID);
    BYTE *out = bm.MaterialChannel();
    if (!out) reader.Fail("out of memory for the material channel");
    if (spec.channelformat(channel).is_floating_point()) {
        const std::vector<float> v = reader.ReadFloat(channel, 1);
        for (std::size_t i = 0; i < v.size(); ++i)
            out[i] = std::isnan(v[i]) ? 0 : BYTE(std::clamp(std::lround(v[i]), 0L, 255L));
    } else {
        const std::vector<std::uint32_t> v = reader.ReadUint(channel);
        for (std::size_t i = 0; i < v.size(); ++i)
            out[i] = BYTE(std::min<std::uint32_t>(v[i], 255));
    }
}

// Writing ------------------------------------------------------------------------------------

/// A file name beside `path` for writing before the rename; unique per process and call.
fs::path TemporaryPath(const fs::path &path) {
    static std::atomic<unsigned> counter{0};
    // Appended piece by piece: "literal" + std::string trips a false -Wrestrict in g++ 12.
    std::string name(1, '.');
    name += path.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(counter++);
    name += ".tmp";
    return path.parent_path() / name;
}

/// The EXR pixels in the writer's native per-channel layout: half R G B A, then float Z and
/// uint materialId when present, packed without gaps.
std::vector<unsigned char> ExrPixels(const Bitmap &bm, bool depth, bool material) {
    const std::size_t count = std::size_t(bm.Width()) * bm.Height();
    const std::size_t stride = 8 + (depth ? 4 : 0) + (material ? 4 : 0);
    std::vector<unsigned char> data(count * stride);
    const BMM_Color_64 *px = bm.Pixels();
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char *p = &data[i * stride];
        const float a = px[i].a / kFull;
        float c[3] = {px[i].r / kFull, px[i].g / kFull, px[i].b / kFull};
        ConvertPremultiplied(c, a, SrgbToLinear);
        const half h[4] = {half(c[0]), half(c[1]), half(c[2]), half(a)};
        std::memcpy(p, h, sizeof h);
        p += sizeof h;
        if (depth) {
            std::memcpy(p, &bm.DepthChannel()[i], 4);
            p += 4;
        }
        if (material) {
            const std::uint32_t id = bm.MaterialChannel()[i];
            std::memcpy(p, &id, 4);
        }
    }
    return data;
}

}  // namespace

ImageFileError::ImageFileError(const std::string &path, const std::string &message)
    : std::runtime_error(path + ": " + message), path_(path) {}

BitmapPtr ReadImageFile(const std::string &path, ImageFileContents *found) {
    std::unique_ptr<ImageInput> in = ImageInput::open(path);
    if (!in) {
        std::string why = OIIO::geterror();
        throw ImageFileError(path, why.empty() ? "cannot open the image" : why);
    }
    Reader reader(path, *in);
    const ImageSpec spec = in->spec();
    if (spec.deep) reader.Fail("deep images are not supported");
    if (spec.depth > 1) reader.Fail("volume images are not supported");
    if (spec.width < 1 || spec.height < 1 || spec.width > kMaxBitmapSide ||
        spec.height > kMaxBitmapSide ||
        std::size_t(spec.width) * spec.height > kMaxBitmapPixels)
        reader.Fail("image of " + std::to_string(spec.width) + " x " +
                    std::to_string(spec.height) + " pixels is too large");

    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, spec.width, spec.height);
    BitmapPtr bm(TheManager->Create(bi));
    if (!bm) reader.Fail("out of memory for the image");

    ImageFileContents contents;
    contents.format = in->format_name();
    contents.width = spec.width;
    contents.height = spec.height;
    contents.channels = spec.nchannels;
    contents.linear = IsLinear(spec);
    contents.alpha = ReadColour(reader, spec, *bm, contents.linear);

    int z = FindChannel(spec, {"Z", "depth.Z", "depth"});
    if (z < 0 && spec.z_channel >= 0 && spec.z_channel < spec.nchannels) z = spec.z_channel;
    if (z >= 0) {
        contents.depthName = spec.channelnames[z];
        contents.depthIsDistance = ReadDepth(reader, z, *bm);
    }
    const int material = FindChannel(spec, {"materialId", "material_id"});
    if (material >= 0) {
        contents.materialName = spec.channelnames[material];
        ReadMaterial(reader, spec, material, *bm);
    }
    in->close();
    if (found) *found = contents;
    return bm;
}

void WriteImageFile(const std::string &path, const Bitmap &bm) {
    std::unique_ptr<ImageOutput> out = ImageOutput::create(path);
    if (!out) {
        std::string why = OIIO::geterror();
        throw ImageFileError(path, "no image format is known for this file name" +
                                       (why.empty() ? std::string() : " (" + why + ")"));
    }
    const std::string format = out->format_name();
    const int w = bm.Width(), h = bm.Height();

    ImageSpec spec;
    std::vector<unsigned char> exr;  // native EXR layout
    const void *data = bm.Pixels();
    TypeDesc dataType = TypeDesc::UINT16;
    OIIO::stride_t xstride = OIIO::AutoStride;
    if (format == "openexr") {
        const bool depth = bm.DepthChannel() != nullptr;
        const bool material = bm.MaterialChannel() != nullptr;
        spec = ImageSpec(w, h, 4, TypeDesc::HALF);
        spec.channelnames = {"R", "G", "B", "A"};
        spec.channelformats.assign(4, TypeDesc::HALF);
        if (depth) {
            spec.channelnames.push_back("Z");
            spec.channelformats.push_back(TypeDesc::FLOAT);
            spec.z_channel = spec.nchannels++;
        }
        if (material) {
            spec.channelnames.push_back("materialId");
            spec.channelformats.push_back(TypeDesc::UINT32);
            ++spec.nchannels;
        }
        spec.alpha_channel = 3;
        spec.attribute("compression", "zip");
        spec.attribute("oiio:ColorSpace", "Linear");
        exr = ExrPixels(bm, depth, material);
        data = exr.data();
        dataType = TypeDesc::UNKNOWN;  // native per-channel layout
    } else {
        const bool alpha = out->supports("alpha") != 0;
        spec = ImageSpec(w, h, alpha ? 4 : 3,
                         format == "jpeg" ? TypeDesc::UINT8 : TypeDesc::UINT16);
        if (alpha) spec.alpha_channel = 3;
        xstride = sizeof(BMM_Color_64);  // R G B of each pixel when alpha is dropped
        spec.attribute("oiio:ColorSpace", "sRGB");
        if (format == "jpeg")
            spec.attribute("Compression", "jpeg:" + std::to_string(kJpegQuality));
        if (format == "tiff") spec.attribute("compression", "zip");
    }

    const fs::path target(path);
    const fs::path temporary = TemporaryPath(target);
    auto fail = [&](const std::string &why) {
        out.reset();  // closes the temporary before it is removed
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw ImageFileError(path, why);
    };
    if (!out->open(temporary.string(), spec))
        fail("cannot write the image: " + out->geterror());
    if (!out->write_image(dataType, data, xstride))
        fail("cannot write the image: " + out->geterror());
    if (!out->close()) fail("cannot write the image: " + out->geterror());
    std::error_code ec;
    fs::rename(temporary, target, ec);
    if (ec) fail("cannot replace the file: " + ec.message());
}

std::string ExpandFramePattern(const std::string &pattern, int frame) {
    std::string result;
    auto number = [&](int width) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%0*d", std::min(width, 20), frame);
        result += buf;
    };
    for (std::size_t i = 0; i < pattern.size();) {
        const char ch = pattern[i];
        if (ch == '#') {
            std::size_t run = pattern.find_first_not_of('#', i);
            if (run == std::string::npos) run = pattern.size();
            number(int(run - i));
            i = run;
        } else if (ch == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            result += '%';
            i += 2;
        } else if (ch == '%') {
            // %d, %Nd, %0Nd
            std::size_t j = i + 1;
            while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])))
                ++j;
            if (j < pattern.size() && pattern[j] == 'd' && j - i - 1 <= 2) {
                const std::string digits = pattern.substr(i + 1, j - i - 1);
                const int width = digits.empty() ? 0 : std::stoi(digits);
                if (!digits.empty() && digits[0] != '0') {
                    char buf[32];
                    std::snprintf(buf, sizeof buf, "%*d", width, frame);
                    result += buf;
                } else {
                    number(width);
                }
                i = j + 1;
            } else {
                result += ch;
                ++i;
            }
        } else {
            result += ch;
            ++i;
        }
    }
    return result;
}
