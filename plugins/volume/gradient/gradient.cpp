/// @file gradient.cpp
/// @brief Gradient flags, the colour between them, and the gradient block.
#include "plugins/volume/gradient/gradient.h"

#include "plugins/volume/gradient/byte_chunk.h"

#include "host/little_endian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace {

/// Scene-file chunk holding the gradient block.
constexpr USHORT kGradientBlockChunk = 0x0100;

bool Finite(const Color &c) {
    return std::isfinite(c.r) && std::isfinite(c.g) && std::isfinite(c.b);
}

}  // namespace

Gradient::Gradient(const GradientPreset &preset, bool loading) : preset_(preset) {
    if (loading) return;
    AddFlag({preset.color, 0.0f, "Start"});
    AddFlag({preset.color, 1.0f, "End"});
}

ReferenceTarget *Gradient::Clone(RemapDir &) {
    auto *copy = new Gradient(preset_, true);
    SetGradientFlags(*copy, flags_);
    return copy;
}

const GradientFlag *Gradient::GetFlag(int i) const {
    return i >= 0 && i < GetFlagCount() ? &flags_[i] : nullptr;
}

bool Gradient::Acceptable(GradientFlag &flag) {
    if (!Finite(flag.color) || !std::isfinite(flag.position)) return false;
    flag.name = flag.name.substr(0, std::min(flag.name.find('\0'), kMaxNameBytes));
    return true;
}

bool Gradient::AddFlag(GradientFlag flag) {
    if (GetFlagCount() >= kMaxFlags || !Acceptable(flag)) return false;
    flags_.push_back(std::move(flag));
    Reorder();
    return true;
}

bool Gradient::SetFlag(int i, GradientFlag flag) {
    if (!GetFlag(i) || !Acceptable(flag)) return false;
    flags_[i] = std::move(flag);
    Reorder();
    return true;
}

void Gradient::DelAllFlags() {
    flags_.clear();
    byPosition_.clear();
}

void Gradient::Reorder() {
    byPosition_.resize(flags_.size());
    for (std::size_t i = 0; i < flags_.size(); ++i) byPosition_[i] = int(i);
    std::stable_sort(byPosition_.begin(), byPosition_.end(),
                     [&](int a, int b) { return flags_[a].position < flags_[b].position; });
}

Color Gradient::GetColor(float position, TimeValue) const {
    if (flags_.empty()) return Color();
    // The first flag beyond `position`; the colour runs towards it from the one before.
    const auto next =
        std::upper_bound(byPosition_.begin(), byPosition_.end(), position,
                         [&](float p, int flag) { return p < flags_[flag].position; });
    if (next == byPosition_.begin()) return flags_[byPosition_.front()].color;
    const GradientFlag &from = flags_[*(next - 1)];
    if (next == byPosition_.end()) return from.color;
    const GradientFlag &to = flags_[*next];
    const float f = (position - from.position) / (to.position - from.position);
    return from.color + (to.color - from.color) * f;
}

IOResult Gradient::Save(ISave *isave) {
    std::vector<std::uint8_t> block(kGradientBlockSize);
    WriteGradientBlock(*this, block.data());
    return SaveByteChunk(isave, kGradientBlockChunk, block);
}

IOResult Gradient::Load(ILoad *iload) {
    return LoadByteChunks(iload, kGradientBlockChunk, [&](ILoad *in) {
        std::vector<std::uint8_t> block(kGradientBlockSize);
        std::vector<GradientFlag> flags;
        if (in->CurChunkLength() != block.size() ||
            in->Read(block.data(), ULONG(block.size()), nullptr) != IO_OK ||
            !ReadGradientBlock(block.data(), flags))
            return IO_ERROR;
        SetGradientFlags(*this, flags);
        return IO_OK;
    });
}

void WriteGradientBlock(const Gradient &gradient, std::uint8_t *block) {
    std::memset(block, 0, kGradientBlockSize);
    PutLEInt(block, gradient.GetFlagCount());
    for (int i = 0; i < gradient.GetFlagCount(); ++i) {
        const GradientFlag &flag = *gradient.GetFlag(i);
        std::uint8_t *at = block + kGradientFlagStride * i;
        PutLEFloat(at + 4, flag.color.r);
        PutLEFloat(at + 8, flag.color.g);
        PutLEFloat(at + 12, flag.color.b);
        PutLEFloat(at + 16, flag.position);
        std::memcpy(at + 20, flag.name.data(), flag.name.size());  // at most 95 bytes
    }
}

bool ReadGradientBlock(const std::uint8_t *block, std::vector<GradientFlag> &flags) {
    const int count = GetLEInt(block);
    if (count < 0 || count > Gradient::kMaxFlags) return false;
    std::vector<GradientFlag> read(count);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t *at = block + kGradientFlagStride * i;
        GradientFlag &flag = read[i];
        flag.color = Color(GetLEFloat(at + 4), GetLEFloat(at + 8), GetLEFloat(at + 12));
        flag.position = GetLEFloat(at + 16);
        const char *name = reinterpret_cast<const char *>(at + 20);
        const std::size_t length = strnlen(name, kGradientNameField);
        if (length == kGradientNameField || !Finite(flag.color) ||
            !std::isfinite(flag.position))
            return false;
        flag.name.assign(name, length);
    }
    flags = std::move(read);
    return true;
}

void SetGradientFlags(Gradient &gradient, const std::vector<GradientFlag> &flags) {
    gradient.DelAllFlags();
    for (const GradientFlag &flag : flags) gradient.AddFlag(flag);
}

std::string FormatGradientFlags(const Gradient &gradient) {
    std::ostringstream out;
    out.precision(9);  // a float's value survives the trip through text
    for (int i = 0; i < gradient.GetFlagCount(); ++i) {
        const GradientFlag &f = *gradient.GetFlag(i);
        out << (i ? "; " : "") << f.position << ": " << f.color.r << ' ' << f.color.g << ' '
            << f.color.b;
        if (!f.name.empty()) out << ' ' << f.name;
    }
    return out.str();
}

bool ParseGradientFlags(const std::string &text, std::vector<GradientFlag> &flags,
                        std::string &error) {
    std::vector<GradientFlag> read;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find(';', start), text.size());
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.find_first_not_of(" \t") == std::string::npos) continue;
        std::istringstream in(item);
        GradientFlag flag;
        char colon = 0;
        in >> flag.position >> colon >> flag.color.r >> flag.color.g >> flag.color.b;
        const bool inRange = flag.position >= 0.0f && flag.position <= 1.0f;
        if (!in || colon != ':' || !inRange || !Finite(flag.color)) {
            error = "flag \"" + item +
                    "\": expected \"position: red green blue [name]\" with the position in "
                    "0 … 1";
            return false;
        }
        std::getline(in >> std::ws, flag.name);
        if (int(read.size()) == Gradient::kMaxFlags) {
            error =
                "a gradient holds at most " + std::to_string(Gradient::kMaxFlags) + " flags";
            return false;
        }
        read.push_back(std::move(flag));
    }
    flags = std::move(read);
    return true;
}
