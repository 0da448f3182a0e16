/// @file library_format.h
/// @brief The fixed parts of an effect library file (`*.nbr`): the 260-byte header, the
///        156-byte entry record and the helper's 68-byte age record, encoded and decoded
///        field by field. The plug-in and controller blocks that follow belong to their
///        classes. Plain data and the standard library only, so tools read files without the
///        modules.
///
/// File layout: header, entry record, helper block (version block + age record), the four
/// helper controller blocks (version block, class ID as two 32-bit words, the controller's
/// data), then for the shape, the colour shader and the composite, each when the entry record
/// includes it, the plug-in's data followed by one controller block per plug-in controller.
/// Blocks carry no length: the entry record's offsets are the only way past a block that
/// cannot be read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// Header
/// The text a library file begins with (followed by a zero byte).
constexpr char kLibrarySignature[] = "Nimbra Library - particle effect preset file, rev 1.20";
constexpr std::size_t kLibraryHeaderSize = 260;
/// Offset of the 16-bit file version in the header.
constexpr std::size_t kLibraryVersionOffset = 256;
/// The file version written.
constexpr std::uint16_t kLibraryFileVersion = 0x0120;
/// The file versions read (they share one layout).
constexpr std::uint16_t kLibraryReadableVersions[] = {0x0100, 0x0110, 0x0120};

// Entry record
constexpr std::size_t kLibraryEntrySize = 156;
/// Version word of the entry record.
constexpr std::uint16_t kLibraryEntryVersion = 0x0100;
/// Longest entry name and description (their fields keep a terminating zero).
constexpr std::size_t kLibraryEntryNameLength = 19;
constexpr std::size_t kLibraryEntryDescriptionLength = 29;
/// Where the helper block begins: right after the entry record.
constexpr std::size_t kLibraryHelperBlockOffset = kLibraryHeaderSize + kLibraryEntrySize;

// Helper block
/// Bytes of the helper's age record (after its 8-byte version block).
constexpr std::size_t kLibraryHelperRecordSize = 68;
/// Bytes a controller block has before the controller's own data: the version block and the
/// class ID (first half, second half).
constexpr std::size_t kLibraryControllerHeaderSize = 16;

/// The three plug-in sections, in file order.
enum LibrarySection { kLibraryShape, kLibraryColor, kLibraryComposite, kLibrarySections };

/// The entry record: what the file holds and where.
struct LibraryEntry {
    std::string name;         ///< the helper's node name (cut to 19 characters)
    std::string description;  ///< cut to 29 characters
    std::array<bool, kLibrarySections> include{};
    /// File offset of each included section (0 when absent or unknown).
    std::array<std::uint32_t, kLibrarySections> offsets{};
    /// Plug-in ID (second half of the class ID) of each section's plug-in, included or not.
    std::array<std::uint32_t, kLibrarySections> plugInIds{};
};

/// What a field of the helper's age record holds.
enum class LibraryFieldKind {
    Ticks,   ///< int32, a time in ticks (4800 per second)
    Int,     ///< int32
    Switch,  ///< int32, 0 or 1
    Float,   ///< float32
};

/// One field of the helper's age record, in file order.
struct LibraryHelperField {
    int ageParam;  ///< index in the helper's age block
    LibraryFieldKind kind;
    const char *name;  ///< for listings
    constexpr bool IsFloat() const { return kind == LibraryFieldKind::Float; }
};

/// The seventeen fields of the age record in file order (4 bytes each). The age parameters 10
/// ("This Shader Active"), 13 ("Use Emitter Age") and 19 ("Shading Order") are not stored.
constexpr std::array<LibraryHelperField, 17> kLibraryHelperFields = {{
    {0, LibraryFieldKind::Ticks, "Life Begins At"},
    {3, LibraryFieldKind::Ticks, "Life Ends At"},
    {1, LibraryFieldKind::Float, "Birth Size"},
    {4, LibraryFieldKind::Float, "Death Size"},
    {2, LibraryFieldKind::Float, "Birth Trans."},
    {5, LibraryFieldKind::Float, "Death Trans."},
    {6, LibraryFieldKind::Int, "Every Nth"},
    {7, LibraryFieldKind::Int, "Nth Offset"},
    {8, LibraryFieldKind::Int, "Material ID"},
    {9, LibraryFieldKind::Switch, "Update Z-Buffer"},
    {11, LibraryFieldKind::Switch, "Cast Shadows"},
    {12, LibraryFieldKind::Switch, "Volume Fog"},
    {14, LibraryFieldKind::Switch, "Use Brush Settings"},
    {15, LibraryFieldKind::Float, "Birth Shadow Size"},
    {17, LibraryFieldKind::Float, "Death Shadow Size"},
    {16, LibraryFieldKind::Float, "Birth Shadow Trans."},
    {18, LibraryFieldKind::Float, "Death Shadow Trans."},
}};
static_assert(kLibraryHelperFields.size() * 4 == kLibraryHelperRecordSize);

/// The age record's values in file order; a field uses `f` when it is a float, else `i`.
struct LibraryHelperRecord {
    struct Value {
        std::int32_t i = 0;
        float f = 0.0f;
    };
    std::array<Value, kLibraryHelperFields.size()> values{};
};

/// What a header says.
enum class LibraryHeaderCheck {
    Ok,
    WrongSignature,  ///< not a library file, or the signature is not followed by its zero
    WrongVersion,    ///< a library file of a version this program does not read
};

// Encoding and decoding (little-endian, field by field)
std::array<std::uint8_t, kLibraryHeaderSize> EncodeLibraryHeader();
/// Checks the signature (with its terminating zero) and the version; `version` receives the
/// version word whenever the signature matched.
LibraryHeaderCheck CheckLibraryHeader(std::span<const std::uint8_t, kLibraryHeaderSize> bytes,
                                      std::uint16_t *version = nullptr);

/// Names and descriptions longer than their fields are cut.
std::array<std::uint8_t, kLibraryEntrySize> EncodeLibraryEntry(const LibraryEntry &entry);
/// Nothing when the record's markers or version word are not those of an entry record. A
/// name or description without its terminating zero is cut to its longest length.
std::optional<LibraryEntry> DecodeLibraryEntry(
    std::span<const std::uint8_t, kLibraryEntrySize> bytes);

std::array<std::uint8_t, kLibraryHelperRecordSize> EncodeLibraryHelperRecord(
    const LibraryHelperRecord &record);
LibraryHelperRecord DecodeLibraryHelperRecord(
    std::span<const std::uint8_t, kLibraryHelperRecordSize> bytes);
