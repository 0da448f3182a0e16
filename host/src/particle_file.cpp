/// @file particle_file.cpp
/// @brief The particle file player: reading CSV and JSON particle files into frames of
///        particles keyed by id, and playing them back interpolated between frames.
#include "host/particles.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/param_object.h"
#include "host/properties.h"

#include "binary_io.h"
#include "built_in_class.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <stdexcept>
#include <unordered_map>

namespace {

/// The object's own chunk: the file path (length-prefixed string).
constexpr USHORT kChunkPath = 0x0100;
/// Largest particle file read (bounds the memory a file can make us allocate).
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t(1) << 30;
/// Most distinct particle ids in one file.
constexpr std::size_t kMaxParticleIds = std::size_t(1) << 24;
/// Version of the JSON layout this reader understands.
constexpr int kJsonVersion = 1;
/// Largest magnitude of a position, velocity or age read (they are kept as floats).
constexpr double kLargestNumber = 3.0e38;

const ParamSpec kSpecs[PFILE_NUM_PARAMS] = {
    {"Time Offset", TYPE_INT, FALSE, 0.0f, stdTimeDim},
};

/// One particle in one frame of the file. Velocity is in file units per frame, age in frames.
struct Sample {
    std::uint32_t slot = 0;  // index of the particle's id among the file's sorted ids
    Point3 pos, vel;
    float age = 0.0f;
    bool hasVel = false, hasAge = false;
};

struct Frame {
    double frame = 0.0;
    std::vector<Sample> samples;  // increasing slot
};

struct FileData {
    std::vector<Frame> frames;       // increasing frame
    std::vector<double> firstFrame;  // per slot: the first frame the particle appears in
};

/// A particle as read, before ids become slots.
struct Row {
    double frame = 0.0;
    std::int64_t id = 0;
    Sample sample;
    std::string where;  // "line 12" or a JSON path, for messages
};

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return std::string(s.substr(first, last - first + 1));
}

std::string Lower(std::string s) {
    for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

template <typename T>
bool ParseNumber(const std::string &text, T &v) {
    if (text.empty()) return false;
    const char *end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end) return false;
    if constexpr (std::is_floating_point_v<T>) return std::isfinite(v);
    return true;
}

/// Turns rows into frames: ids become slots (in increasing id order), rows of one frame are
/// sorted by slot, and a particle id twice in one frame is refused. A negative age marks a
/// particle dead in that frame: the row is left out.
FileData Assemble(std::vector<Row> rows, const std::string &path) {
    std::vector<std::int64_t> ids;
    ids.reserve(rows.size());
    for (const Row &r : rows) ids.push_back(r.id);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (ids.size() > kMaxParticleIds) {
        throw FileError(path + ": " + std::to_string(ids.size()) +
                        " particle ids, more than the " + std::to_string(kMaxParticleIds) +
                        " a particle file may hold");
    }
    std::unordered_map<std::int64_t, std::uint32_t> slotOf;
    slotOf.reserve(ids.size());
    for (std::size_t k = 0; k < ids.size(); ++k) slotOf[ids[k]] = static_cast<std::uint32_t>(k);
    for (Row &r : rows) r.sample.slot = slotOf[r.id];
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return a.frame < b.frame || (a.frame == b.frame && a.sample.slot < b.sample.slot);
    });

    FileData data;
    data.firstFrame.assign(ids.size(), HUGE_VAL);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Row &r = rows[k];
        if (k > 0 && rows[k - 1].frame == r.frame && rows[k - 1].id == r.id) {
            throw FileError(path + ": " + r.where + ": particle id " + std::to_string(r.id) +
                            " appears twice in frame " + Number(r.frame) + " (also at " +
                            rows[k - 1].where + ")");
        }
        if (data.frames.empty() || data.frames.back().frame != r.frame) {
            data.frames.push_back({r.frame, {}});
        }
        if (r.sample.hasAge && r.sample.age < 0.0f) continue;
        data.frames.back().samples.push_back(r.sample);
        double &first = data.firstFrame[r.sample.slot];
        first = std::min(first, r.frame);
    }
    return data;
}

// CSV ----------------------------------------------------------------------------------------

constexpr const char *kCsvLayout = "frame,id,x,y,z[,vx,vy,vz][,age]";

std::vector<Row> ParseCsv(const std::string &text, const std::string &path) {
    enum Column { kFrame, kId, kX, kY, kZ, kVx, kVy, kVz, kAge, kNumColumns };
    static const char *const kNames[kNumColumns] = {"frame", "id", "x",  "y",  "z",
                                                    "vx",    "vy", "vz", "age"};
    int column[kNumColumns];
    std::fill(std::begin(column), std::end(column), -1);
    std::size_t fieldCount = 0;
    bool haveHeader = false;
    std::vector<Row> rows;
    std::vector<std::string> fields;

    std::size_t lineNo = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') continue;

        fields.clear();
        for (std::size_t f = 0;;) {
            const std::size_t comma = line.find(',', f);
            fields.push_back(Trim(line.substr(
                f, comma == std::string_view::npos ? std::string_view::npos : comma - f)));
            if (comma == std::string_view::npos) break;
            f = comma + 1;
        }
        const std::string at = path + ":" + std::to_string(lineNo) + ": ";

        if (!haveHeader) {
            for (std::size_t f = 0; f < fields.size(); ++f) {
                const std::string name = Lower(fields[f]);
                for (int c = 0; c < kNumColumns; ++c) {
                    if (name != kNames[c]) continue;
                    if (column[c] >= 0)
                        throw FileError(at + "the column '" + name + "' is named twice");
                    column[c] = static_cast<int>(f);
                }
            }
            for (int c = kFrame; c <= kZ; ++c) {
                if (column[c] < 0) {
                    throw FileError(at + "expected a header line naming the columns " +
                                    kCsvLayout + "; the column '" + kNames[c] + "' is missing");
                }
            }
            const int velocityColumns =
                (column[kVx] >= 0) + (column[kVy] >= 0) + (column[kVz] >= 0);
            if (velocityColumns != 0 && velocityColumns != 3)
                throw FileError(at + "velocity needs all three columns vx, vy and vz");
            fieldCount = fields.size();
            haveHeader = true;
            continue;
        }

        if (fields.size() != fieldCount) {
            throw FileError(at + "expected " + std::to_string(fieldCount) +
                            " comma-separated fields as in the header, found " +
                            std::to_string(fields.size()));
        }
        auto number = [&](Column c, float &v) {
            double d = 0.0;
            const std::string &s = fields[column[c]];
            if (!ParseNumber(s, d) || std::fabs(d) > kLargestNumber) {
                throw FileError(at + "column '" + kNames[c] + "': expected a number, found '" +
                                s + "'");
            }
            v = static_cast<float>(d);
        };
        Row row;
        row.where = "line " + std::to_string(lineNo);
        if (!ParseNumber(fields[column[kFrame]], row.frame)) {
            throw FileError(at + "column 'frame': expected a number, found '" +
                            fields[column[kFrame]] + "'");
        }
        if (!ParseNumber(fields[column[kId]], row.id)) {
            throw FileError(at + "column 'id': expected an integer, found '" +
                            fields[column[kId]] + "'");
        }
        number(kX, row.sample.pos.x);
        number(kY, row.sample.pos.y);
        number(kZ, row.sample.pos.z);
        if (column[kVx] >= 0) {
            const int empty = fields[column[kVx]].empty() + fields[column[kVy]].empty() +
                              fields[column[kVz]].empty();
            if (empty != 0 && empty != 3)
                throw FileError(at + "give all of vx, vy and vz, or none of them");
            if (empty == 0) {
                number(kVx, row.sample.vel.x);
                number(kVy, row.sample.vel.y);
                number(kVz, row.sample.vel.z);
                row.sample.hasVel = true;
            }
        }
        if (column[kAge] >= 0 && !fields[column[kAge]].empty()) {
            number(kAge, row.sample.age);
            row.sample.hasAge = true;
        }
        rows.push_back(std::move(row));
    }
    if (!haveHeader) {
        throw FileError(path + ": expected a header line naming the columns " +
                        std::string(kCsvLayout) + "; the file holds none");
    }
    return rows;
}

// JSON ---------------------------------------------------------------------------------------

using nlohmann::json;

/// Reads `j[key]` as three numbers; false when the key is absent.
bool ReadTriple(const json &j, const char *key, const std::string &where,
                const std::string &path, Point3 &p) {
    auto it = j.find(key);
    if (it == j.end()) return false;
    const json &v = *it;
    bool ok = v.is_array() && v.size() == 3;
    for (std::size_t c = 0; ok && c < 3; ++c) {
        ok = v[c].is_number() && std::isfinite(v[c].get<double>()) &&
             std::fabs(v[c].get<double>()) <= kLargestNumber;
        if (ok) p[static_cast<int>(c)] = v[c].get<float>();
    }
    if (!ok)
        throw FileError(path + ": " + where + "/" + key + ": expected an array of 3 numbers");
    return true;
}

std::vector<Row> ParseJson(const std::string &text, const std::string &path) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error &e) {
        throw FileError(path + ": JSON syntax error at byte " + std::to_string(e.byte) + ": " +
                        e.what());
    } catch (const json::out_of_range &e) {
        // A number beyond what a double holds: the parser names the number but not its place.
        const std::string what = e.what();
        const std::size_t open = what.find('\''), close = what.rfind('\'');
        throw FileError(path + ": the number " +
                        (open < close ? what.substr(open + 1, close - open - 1) : "") +
                        " is beyond what a double holds");
    }
    if (!doc.is_object()) throw FileError(path + ": expected a JSON object with \"frames\"");
    if (auto v = doc.find("version"); v != doc.end()) {
        if (!v->is_number_integer() || v->get<std::int64_t>() != kJsonVersion) {
            throw FileError(path + ": /version: expected " + std::to_string(kJsonVersion) +
                            " (the particle file layout this build reads)");
        }
    }
    auto frames = doc.find("frames");
    if (frames == doc.end() || !frames->is_array())
        throw FileError(path + ": /frames: expected an array of frames");
    std::vector<Row> rows;
    for (std::size_t f = 0; f < frames->size(); ++f) {
        const json &fr = (*frames)[f];
        const std::string fp = "/frames/" + std::to_string(f);
        if (!fr.is_object()) throw FileError(path + ": " + fp + ": expected an object");
        auto frame = fr.find("frame");
        if (frame == fr.end() || !frame->is_number() || !std::isfinite(frame->get<double>()))
            throw FileError(path + ": " + fp + "/frame: expected a number");
        auto parts = fr.find("particles");
        if (parts == fr.end() || !parts->is_array())
            throw FileError(path + ": " + fp + "/particles: expected an array of particles");
        for (std::size_t k = 0; k < parts->size(); ++k) {
            const json &p = (*parts)[k];
            Row row;
            row.where = fp + "/particles/" + std::to_string(k);
            row.frame = frame->get<double>();
            if (!p.is_object())
                throw FileError(path + ": " + row.where + ": expected an object");
            auto id = p.find("id");
            if (id == p.end() || !id->is_number_integer() ||
                (id->is_number_unsigned() && id->get<std::uint64_t>() > INT64_MAX)) {
                throw FileError(path + ": " + row.where + "/id: expected an integer");
            }
            row.id = id->get<std::int64_t>();
            if (!ReadTriple(p, "position", row.where, path, row.sample.pos))
                throw FileError(path + ": " + row.where +
                                "/position: expected an array of 3 numbers");
            row.sample.hasVel = ReadTriple(p, "velocity", row.where, path, row.sample.vel);
            if (auto age = p.find("age"); age != p.end()) {
                if (!age->is_number() || !(std::fabs(age->get<double>()) <= kLargestNumber))
                    throw FileError(path + ": " + row.where + "/age: expected a number");
                row.sample.age = age->get<float>();
                row.sample.hasAge = true;
            }
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

FileData ReadParticleFile(const std::string &path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) throw FileError(path + ": cannot open: " + ec.message());
    if (size > kMaxFileBytes) {
        throw FileError(path + ": " + std::to_string(size) + " bytes, more than the " +
                        std::to_string(kMaxFileBytes) + " a particle file may hold");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(path + ": cannot open");
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size))
        throw FileError(path + ": cannot read the whole file");
    const std::string ext = Lower(std::filesystem::path(path).extension().string());
    return Assemble(ext == ".json" ? ParseJson(text, path) : ParseCsv(text, path), path);
}

// Playback -----------------------------------------------------------------------------------

const Sample *Find(const Frame &frame, std::uint32_t slot) {
    auto it = std::lower_bound(frame.samples.begin(), frame.samples.end(), slot,
                               [](const Sample &s, std::uint32_t x) { return s.slot < x; });
    return it != frame.samples.end() && it->slot == slot ? &*it : nullptr;
}

/// Name of the file path among the object's properties.
constexpr const char *kFileProperty = "File";

class ParticleFile final : public ParamObject<ParticleFileObject>, public IObjectProperties {
public:
    ParticleFile() : ParamObject(kSpecs, PFILE_NUM_PARAMS, false) {}
    explicit ParticleFile(bool loading) : ParamObject(kSpecs, PFILE_NUM_PARAMS, loading) {}

    Class_ID ClassID() override { return PARTICLE_FILE_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Particle File"; }
    const TCHAR *GetObjectName() override { return "Particle File"; }

    bool SetFileName(const std::string &path) override {
        path_ = path;
        const bool ok = Read();
        NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
        return ok;
    }
    const std::string &GetFileName() const override { return path_; }
    const std::string &GetLoadError() const override { return error_; }

    void *GetInterface(ULONG id) override {
        if (id == I_OBJECTPROPERTIES) return static_cast<IObjectProperties *>(this);
        return ParamObject::GetInterface(id);
    }

    // Properties: the file path, as "File".
    std::vector<PropertyInfo> ListProperties() override {
        return {{kFileProperty,
                 PropertyKind::String,
                 {},
                 "the particle file to play: CSV, or JSON when it ends in .json"}};
    }
    /// A file that cannot be read is refused (the message names it and what was wrong) and
    /// the object keeps the file it had.
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override {
        if (name != kFileProperty) {
            error = "\"" + name + "\" is not a property of a particle file (expected \"" +
                    kFileProperty + "\")";
            return false;
        }
        const auto *path = std::get_if<std::string>(&value);
        if (!path) {
            error = std::string("\"") + kFileProperty + "\" expects a file path (a string)";
            return false;
        }
        const std::string oldPath = path_, oldError = error_;
        const std::shared_ptr<const FileData> oldData = data_;
        const bool oldTried = tried_;
        if (SetFileName(*path)) return true;
        error = error_;
        path_ = oldPath;
        error_ = oldError;
        data_ = oldData;
        tried_ = oldTried;
        return false;
    }
    std::optional<PropertyValue> GetProperty(const std::string &name) override {
        if (name != kFileProperty) return std::nullopt;
        return PropertyValue(path_);
    }

    void Update(TimeValue t, INode *node) override;

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new ParticleFile(true);
        CloneBlockInto(*copy, remap);
        copy->path_ = path_;
        copy->error_ = error_;
        copy->data_ = data_;  // read-only once read: shared
        copy->tried_ = tried_;
        return copy;
    }

    IOResult Save(ISave *isave) override {
        isave->BeginChunk(kChunkPath);
        const bool ok = hostio::WriteString(*isave, path_);
        isave->EndChunk();
        return ok ? IO_OK : IO_ERROR;
    }
    IOResult Load(ILoad *iload) override {
        IOResult res;
        while ((res = iload->OpenChunk()) == IO_OK) {
            if (iload->CurChunkID() == kChunkPath && !hostio::ReadString(*iload, path_))
                return IO_ERROR;
            if (iload->CloseChunk() != IO_OK) return IO_ERROR;
        }
        // The file is read when the particles are first asked for, so a scene whose particle
        // file moved still loads.
        tried_ = false;
        data_.reset();
        return res == IO_END ? IO_OK : IO_ERROR;
    }

private:
    bool Read() {
        tried_ = true;
        data_.reset();
        error_.clear();
        if (path_.empty()) {
            error_ = "no particle file is set";
            return false;
        }
        try {
            data_ = std::make_shared<const FileData>(ReadParticleFile(path_));
        } catch (const FileError &e) {
            error_ = e.what();
        } catch (const std::bad_alloc &) {
            error_ = path_ + ": not enough memory to hold the particles";
        }
        return data_ != nullptr;
    }

    std::string path_, error_;
    std::shared_ptr<const FileData> data_;
    bool tried_ = false;
};

void ParticleFile::Update(TimeValue t, INode *node) {
    if (!tried_ && !Read() && !path_.empty()) {
        MessageBox(GetCOREInterface()->GetMainHWnd(), error_.c_str(), "Particle File",
                   MB_OK | MB_ICONERROR);
    }
    if (!data_) {
        Resize(0);
        return;
    }
    const FileData &d = *data_;
    Resize(static_cast<int>(d.firstFrame.size()));
    const double tpf = GetTicksPerFrame();
    const double ft = (double(t) - GetInt(PFILE_TIME_OFFSET, t)) / tpf;  // file frame
    if (d.frames.empty() || ft < d.frames.front().frame || ft > d.frames.back().frame) return;

    const auto next = std::upper_bound(d.frames.begin(), d.frames.end(), ft,
                                       [](double x, const Frame &f) { return x < f.frame; });
    const std::size_t j = static_cast<std::size_t>(next - d.frames.begin()) - 1;
    const Frame &f0 = d.frames[j];
    const Matrix3 tm = node ? node->GetNodeTM(t) : Matrix3();
    const auto perTick = static_cast<float>(1.0 / tpf);

    // An age beyond the longest time (frames or ages far from the rest of the file) stays at
    // the longest time.
    constexpr double kOldest = std::numeric_limits<TimeValue>::max();
    auto put = [&](const Sample &s, const Point3 &pos, const Point3 &velPerFrame, double age) {
        SetParticle(
            static_cast<int>(s.slot), tm.PointTransform(pos),
            tm.VectorTransform(velPerFrame) * perTick,
            static_cast<TimeValue>(std::min(std::max(0.0, std::floor(age * tpf)), kOldest)));
    };
    auto derivedAge = [&](const Sample &s) { return ft - d.firstFrame[s.slot]; };

    if (f0.frame == ft) {
        // Exactly on a file frame: every particle of that frame, velocity from the file or
        // from the neighbouring frame where the particle also is.
        const Frame *after = j + 1 < d.frames.size() ? &d.frames[j + 1] : nullptr;
        const Frame *before = j > 0 ? &d.frames[j - 1] : nullptr;
        for (const Sample &s : f0.samples) {
            Point3 vel;
            if (s.hasVel) {
                vel = s.vel;
            } else if (const Sample *n = after ? Find(*after, s.slot) : nullptr) {
                vel = (n->pos - s.pos) / static_cast<float>(after->frame - f0.frame);
            } else if (const Sample *p = before ? Find(*before, s.slot) : nullptr) {
                vel = (s.pos - p->pos) / static_cast<float>(f0.frame - before->frame);
            }
            put(s, s.pos, vel, s.hasAge ? s.age : derivedAge(s));
        }
        return;
    }

    // Between two file frames: the particles present in both, matched by id.
    const Frame &f1 = d.frames[j + 1];
    const double span = f1.frame - f0.frame;
    const auto u = static_cast<float>((ft - f0.frame) / span);
    auto a = f0.samples.begin();
    auto b = f1.samples.begin();
    while (a != f0.samples.end() && b != f1.samples.end()) {
        if (a->slot < b->slot) {
            ++a;
            continue;
        }
        if (b->slot < a->slot) {
            ++b;
            continue;
        }
        const Point3 pos = a->pos + (b->pos - a->pos) * u;
        const Point3 vel = a->hasVel && b->hasVel
                               ? a->vel + (b->vel - a->vel) * u
                               : (b->pos - a->pos) / static_cast<float>(span);
        double age;
        if (a->hasAge && b->hasAge)
            age = a->age + (b->age - a->age) * double(u);
        else if (a->hasAge)
            age = a->age + (ft - f0.frame);
        else if (b->hasAge)
            age = b->age - (f1.frame - ft);
        else
            age = derivedAge(*a);
        put(*a, pos, vel, age);
        ++a;
        ++b;
    }
}

BuiltInClassDesc<ParticleFile> particleFileDesc("Particle File", GEOMOBJECT_CLASS_ID,
                                                PARTICLE_FILE_CLASS_ID);

}  // namespace

ParticleFileObject::~ParticleFileObject() = default;
