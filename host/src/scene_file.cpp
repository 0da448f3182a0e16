/// @file scene_file.cpp
/// @brief Saving the scene graph to the binary scene file and loading it back into a fresh
///        graph that replaces the scene only when the whole file was sound.
#include "host/scene_file.h"

#include "host/chunk_stream.h"
#include "host/class_desc.h"
#include "host/interface.h"

#include "binary_io.h"
#include "reference_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

/// The scene loader's access to the interface's scene root.
class SceneSwap {
public:
    static void Install(INode *root) { GetCOREInterface()->ReplaceScene(root); }
};

namespace {

/// First bytes of every scene file.
constexpr char kMagic[8] = {'N', 'I', 'M', 'B', 'R', 'A', 'S', 'C'};
constexpr std::size_t kHeaderSize = sizeof kMagic + 4;  // magic, format version

constexpr USHORT kChunkScene = 0x5343;
constexpr USHORT kChunkInfo = 0x0001;
constexpr USHORT kChunkObject = 0x0010;
constexpr USHORT kChunkClass = 0x0011;
constexpr USHORT kChunkData = 0x0012;
constexpr USHORT kChunkRefs = 0x0013;

/// Smallest object chunk: its header, a class chunk with its three IDs, an empty data chunk
/// and a refs chunk with a zero count. Bounds the object count before anything is allocated.
constexpr std::size_t kMinObjectBytes =
    kChunkHeaderSize + (kChunkHeaderSize + 12) + kChunkHeaderSize + (kChunkHeaderSize + 4);

constexpr std::int32_t kNullRef = -1;

std::string Hex(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string Describe(ReferenceTarget *obj, std::size_t index) {
    TSTR name;
    obj->GetClassName(name);
    return "object " + std::to_string(index) + " (" + name + ")";
}

// Saving -------------------------------------------------------------------------------------

/// Every object reachable from `root`, root first, then in order of discovery.
std::vector<ReferenceTarget *> CollectGraph(ReferenceTarget *root,
                                            std::unordered_map<ReferenceTarget *, int> &index) {
    std::vector<ReferenceTarget *> order{root};
    index[root] = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        ReferenceTarget *obj = order[k];
        for (int i = 0; i < obj->NumRefs(); ++i) {
            ReferenceTarget *t = obj->GetReference(i);
            if (t && index.emplace(t, static_cast<int>(order.size())).second)
                order.push_back(t);
        }
    }
    return order;
}

// Loading ------------------------------------------------------------------------------------

/// Installs a deletion watch for the duration of a load.
class WatchScope {
public:
    explicit WatchScope(hostref::DeletionWatch &watch)
        : previous_(hostref::SetDeletionWatch(&watch)) {}
    ~WatchScope() { hostref::SetDeletionWatch(previous_); }

private:
    hostref::DeletionWatch *previous_;
};

struct LoadedObject {
    ReferenceTarget *obj = nullptr;
    std::vector<std::int32_t> refs;
    std::size_t refsOffset = 0;
};

/// Deletes whatever a failed load created. Objects are deleted only once nothing references
/// them; deleting one drops its references, which deletes the objects only it held, and the
/// watch tells which objects those cascades already took.
void DeleteHalfBuilt(hostref::DeletionWatch &watch, const std::vector<LoadedObject> &objects) {
    for (bool progress = true; progress;) {
        progress = false;
        for (const LoadedObject &lo : objects) {
            if (!watch.alive.contains(lo.obj) || lo.obj->NumDependents() > 0) continue;
            watch.alive.erase(lo.obj);
            lo.obj->DeleteThis();
            progress = true;
        }
    }
}

/// Reads the scene chunk into new objects; `Fail` throws with the file name and an offset.
class SceneReader {
public:
    SceneReader(std::span<const std::uint8_t> body, const std::string &name)
        : reader_(body, kHeaderSize), name_(name) {}

    SceneLoadResult Load();

private:
    [[noreturn]] void Fail(std::size_t offset, const std::string &what) const {
        throw SceneFileError(name_, offset, what);
    }
    /// Fails with the reader's own error when it has one, else with `what` at the read
    /// position.
    [[noreturn]] void FailRead(const std::string &what) const {
        if (reader_.Failed()) Fail(reader_.ErrorOffset(), what + ": " + reader_.Error());
        Fail(reader_.Offset(), what);
    }
    void Expect(bool ok, const std::string &what) const {
        if (!ok) FailRead(what);
    }
    void OpenExpected(USHORT id, const std::string &what);
    void ReadInfo();
    void ReadObject(std::size_t k);
    void RestoreReferences();

    ChunkReader reader_;
    std::string name_;
    hostref::DeletionWatch watch_;
    std::vector<LoadedObject> objects_;
    std::uint32_t count_ = 0, rootIndex_ = 0;
    std::int32_t time_ = 0, rangeStart_ = 0, rangeEnd_ = 0, frameRate_ = 0;
};

void SceneReader::OpenExpected(USHORT id, const std::string &what) {
    const std::size_t at = reader_.Offset();
    const IOResult res = reader_.OpenChunk();
    if (res == IO_ERROR) FailRead("expected " + what);
    if (res == IO_END) Fail(at, "expected " + what + ", but the enclosing chunk ends here");
    if (reader_.CurChunkID() != id) {
        Fail(at, "expected " + what + " (chunk " + Hex(id) + "), found chunk " +
                     Hex(reader_.CurChunkID()));
    }
}

void SceneReader::ReadInfo() {
    OpenExpected(kChunkInfo, "the scene info chunk");
    const std::size_t at = reader_.Offset();
    Expect(hostio::ReadU32(reader_, count_) && hostio::ReadU32(reader_, rootIndex_) &&
               hostio::ReadI32(reader_, time_) && hostio::ReadI32(reader_, rangeStart_) &&
               hostio::ReadI32(reader_, rangeEnd_) && hostio::ReadI32(reader_, frameRate_),
           "reading the scene info");
    reader_.CloseChunk();
    if (count_ == 0) Fail(at, "the scene holds no objects; at least the root node is expected");
    if (count_ > reader_.Remaining() / kMinObjectBytes) {
        Fail(at, "the scene declares " + std::to_string(count_) + " objects, more than the " +
                     std::to_string(reader_.Remaining()) + " bytes that follow can hold");
    }
    if (rootIndex_ >= count_) {
        Fail(at, "root object index " + std::to_string(rootIndex_) +
                     " is not below the object " + "count " + std::to_string(count_));
    }
    if (frameRate_ <= 0 || TIME_TICKSPERSEC % frameRate_ != 0) {
        Fail(at, "frame rate " + std::to_string(frameRate_) + " does not divide " +
                     std::to_string(TIME_TICKSPERSEC) + " ticks per second");
    }
    if (rangeStart_ > rangeEnd_) Fail(at, "the animation range ends before it starts");
}

void SceneReader::ReadObject(std::size_t k) {
    const std::string what = "object " + std::to_string(k) + " of " + std::to_string(count_);
    OpenExpected(kChunkObject, what);
    LoadedObject lo;
    bool haveData = false, haveRefs = false;
    IOResult res;
    while ((res = reader_.OpenChunk()) == IO_OK) {
        const std::size_t body = reader_.Offset();
        switch (reader_.CurChunkID()) {
            case kChunkClass: {
                std::uint32_t super = 0, a = 0, b = 0;
                Expect(hostio::ReadU32(reader_, super) && hostio::ReadU32(reader_, a) &&
                           hostio::ReadU32(reader_, b),
                       "reading the class of " + what);
                if (lo.obj) Fail(body, what + " names its class twice");
                ClassDesc *desc = ClassDirectory::Instance().Find(super, Class_ID(a, b));
                if (!desc) {
                    Fail(body, what + ": class (" + Hex(a) + ", " + Hex(b) +
                                   ") of super class " + Hex(super) + " is not installed");
                }
                void *made = desc->Create(TRUE);
                auto *anim = static_cast<Animatable *>(made);
                if (!anim)
                    Fail(body, what + ": class " + desc->ClassName() + " made no object");
                if (!anim->IsRefTarget()) {
                    anim->DeleteThis();
                    Fail(body, what + ": class " + std::string(desc->ClassName()) +
                                   " does not make a reference target");
                }
                lo.obj = static_cast<ReferenceTarget *>(anim);
                watch_.alive.insert(lo.obj);
                objects_.push_back({lo.obj, {}, 0});
                break;
            }
            case kChunkData: {
                if (!lo.obj) Fail(body, what + ": its data comes before its class");
                const int depth = reader_.Depth();
                const IOResult r = lo.obj->Load(&reader_);
                if (reader_.Failed())
                    FailRead(Describe(lo.obj, k) + " could not read its data");
                if (r == IO_ERROR) {
                    Fail(body, Describe(lo.obj, k) +
                                   " refused its data (malformed, or written " +
                                   "by a version of its class that this one does not read)");
                }
                if (reader_.Depth() != depth) {
                    Fail(body, Describe(lo.obj, k) + " left a chunk of its data open");
                }
                haveData = true;
                break;
            }
            case kChunkRefs: {
                std::uint32_t n = 0;
                Expect(hostio::ReadU32(reader_, n), "reading the reference count of " + what);
                if (n > reader_.Remaining() / 4) {
                    Fail(body, what + " declares " + std::to_string(n) + " references, more " +
                                   "than its chunk holds");
                }
                lo.refs.resize(n);
                for (std::int32_t &ref : lo.refs) {
                    Expect(hostio::ReadI32(reader_, ref), "reading the references of " + what);
                    if (ref != kNullRef && (ref < 0 || std::uint32_t(ref) >= count_)) {
                        Fail(reader_.Offset() - 4,
                             what + " refers to object " + std::to_string(ref) +
                                 ", but the scene holds " + std::to_string(count_));
                    }
                }
                lo.refsOffset = body;
                haveRefs = true;
                break;
            }
            default:
                break;  // a chunk of a newer version: skipped
        }
        if (reader_.CloseChunk() != IO_OK) FailRead("closing a chunk of " + what);
    }
    if (res == IO_ERROR) FailRead("reading " + what);
    if (!lo.obj || !haveData || !haveRefs) {
        Fail(reader_.Offset(), what + " lacks its " +
                                   (!lo.obj     ? "class"
                                    : !haveData ? "data"
                                                : "references") +
                                   " chunk");
    }
    objects_.back().refs = std::move(lo.refs);
    objects_.back().refsOffset = lo.refsOffset;
    reader_.CloseChunk();
}

void SceneReader::RestoreReferences() {
    for (std::size_t k = 0; k < objects_.size(); ++k) {
        LoadedObject &lo = objects_[k];
        const int slots = lo.obj->NumRefs();
        for (std::size_t j = 0; j < lo.refs.size(); ++j) {
            if (lo.refs[j] == kNullRef) continue;
            const int slot = static_cast<int>(j);
            ReferenceTarget *target = objects_[lo.refs[j]].obj;
            const std::string ref = Describe(lo.obj, k) + " reference " + std::to_string(j);
            if (slot >= slots) {
                Fail(lo.refsOffset, ref + ": the object has only " + std::to_string(slots) +
                                        " reference slots after loading its data");
            }
            if (lo.obj->MakeRefByID(FOREVER, slot, target) != REF_SUCCEED) {
                Fail(lo.refsOffset, ref + " to " + Describe(target, lo.refs[j]) +
                                        " would close a reference cycle");
            }
            if (lo.obj->GetReference(slot) != target) {
                Fail(lo.refsOffset, ref + ": the object does not accept " +
                                        Describe(target, lo.refs[j]) + " in that slot");
            }
        }
    }
    // Every object hangs from the root, and the nodes form a tree.
    std::unordered_map<INode *, int> parents;
    for (std::size_t k = 0; k < objects_.size(); ++k) {
        ReferenceTarget *obj = objects_[k].obj;
        if (k != rootIndex_ && obj->NumDependents() == 0) {
            Fail(SceneFileError::kNoOffset,
                 Describe(obj, k) + " is not referenced by any other object");
        }
        if (auto *node = dynamic_cast<INode *>(obj)) {
            if (k != rootIndex_ && node->IsRootNode()) {
                Fail(SceneFileError::kNoOffset, Describe(obj, k) + " claims to be the root");
            }
            for (int i = 0; i < node->NumberOfChildren(); ++i) {
                INode *child = node->GetChildNode(i);
                if (child && ++parents[child] > 1) {
                    Fail(SceneFileError::kNoOffset, "node \"" + std::string(child->GetName()) +
                                                        "\" is listed as a child " +
                                                        "more than once");
                }
            }
        }
    }
}

SceneLoadResult SceneReader::Load() {
    WatchScope scope(watch_);
    try {
        OpenExpected(kChunkScene, "the scene chunk");
        ReadInfo();
        objects_.reserve(count_);
        for (std::size_t k = 0; k < count_; ++k) ReadObject(k);
        IOResult res;
        while ((res = reader_.OpenChunk()) == IO_OK) reader_.CloseChunk();  // newer chunks
        if (res == IO_ERROR) FailRead("reading the end of the scene chunk");
        reader_.CloseChunk();
        if (reader_.Remaining() != 0) {
            Fail(reader_.Offset(), std::to_string(reader_.Remaining()) +
                                       " unexpected bytes after the scene chunk");
        }
        auto *root = dynamic_cast<INode *>(objects_[rootIndex_].obj);
        if (!root) {
            Fail(SceneFileError::kNoOffset, "the root, " +
                                                Describe(objects_[rootIndex_].obj, rootIndex_) +
                                                ", is not a scene node");
        }
        RestoreReferences();
        try {
            reader_.RunPostLoadCallbacks();
        } catch (const std::exception &e) {
            Fail(SceneFileError::kNoOffset,
                 std::string("an object's post-load step failed: ") + e.what());
        }
    } catch (const SceneFileError &) {
        DeleteHalfBuilt(watch_, objects_);
        throw;
    } catch (const std::exception &e) {
        DeleteHalfBuilt(watch_, objects_);
        throw SceneFileError(name_, reader_.Offset(), e.what());
    }

    Interface *ip = GetCOREInterface();
    SetFrameRate(frameRate_);
    ip->SetAnimRange(Interval(rangeStart_, rangeEnd_));
    ip->SetTime(time_);
    SceneSwap::Install(static_cast<INode *>(objects_[rootIndex_].obj));
    return {static_cast<int>(count_), reader_.Obsolete()};
}

std::string ErrnoText() {
    return std::strerror(errno);
}

}  // namespace

SceneFileError::SceneFileError(const std::string &path, std::size_t offset,
                               const std::string &message)
    : std::runtime_error(
          path + ": " + (offset == kNoOffset ? "" : "offset " + std::to_string(offset) + ": ") +
          message),
      path_(path),
      offset_(offset) {}

std::vector<std::uint8_t> SaveSceneToMemory(const std::string &name) {
    Interface *ip = GetCOREInterface();
    std::unordered_map<ReferenceTarget *, int> index;
    const std::vector<ReferenceTarget *> objects = CollectGraph(ip->GetRootNode(), index);

    ChunkWriter w;
    w.Write(kMagic, sizeof kMagic, nullptr);
    hostio::WriteU32(w, kSceneFileVersion);
    w.BeginChunk(kChunkScene);
    w.BeginChunk(kChunkInfo);
    hostio::WriteU32(w, static_cast<std::uint32_t>(objects.size()));
    hostio::WriteU32(w, 0);  // the root is collected first
    hostio::WriteI32(w, ip->GetTime());
    hostio::WriteI32(w, ip->GetAnimRange().Start());
    hostio::WriteI32(w, ip->GetAnimRange().End());
    hostio::WriteI32(w, GetFrameRate());
    w.EndChunk();
    for (std::size_t k = 0; k < objects.size(); ++k) {
        ReferenceTarget *obj = objects[k];
        const SClass_ID super = obj->SuperClassID();
        const Class_ID id = obj->ClassID();
        if (!ClassDirectory::Instance().Find(super, id)) {
            throw SceneFileError(name, SceneFileError::kNoOffset,
                                 Describe(obj, k) + ": class (" + Hex(id.PartA()) + ", " +
                                     Hex(id.PartB()) + ") of super class " + Hex(super) +
                                     " is not registered, so it could not be loaded again");
        }
        w.BeginChunk(kChunkObject);
        w.BeginChunk(kChunkClass);
        hostio::WriteU32(w, super);
        hostio::WriteU32(w, id.PartA());
        hostio::WriteU32(w, id.PartB());
        w.EndChunk();
        w.BeginChunk(kChunkData);
        const int depth = w.OpenChunks();
        IOResult res = IO_ERROR;
        try {
            res = obj->Save(&w);
        } catch (const std::exception &e) {
            throw SceneFileError(name, SceneFileError::kNoOffset,
                                 Describe(obj, k) + " failed to save: " + e.what());
        }
        if (res != IO_OK || w.OpenChunks() != depth) {
            throw SceneFileError(name, SceneFileError::kNoOffset,
                                 Describe(obj, k) + (res != IO_OK ? " failed to save its data"
                                                                  : " left a chunk open"));
        }
        w.EndChunk();
        w.BeginChunk(kChunkRefs);
        const int n = obj->NumRefs();
        hostio::WriteU32(w, static_cast<std::uint32_t>(n));
        for (int i = 0; i < n; ++i) {
            ReferenceTarget *t = obj->GetReference(i);
            hostio::WriteI32(w, t ? index.at(t) : kNullRef);
        }
        w.EndChunk();
        w.EndChunk();
    }
    w.EndChunk();
    return w.Bytes();
}

void SaveSceneFile(const std::string &path) {
    const std::vector<std::uint8_t> bytes = SaveSceneToMemory(path);
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw SceneFileError(path, SceneFileError::kNoOffset,
                                 "cannot create " + temp + ": " + ErrnoText());
        }
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            throw SceneFileError(path, SceneFileError::kNoOffset,
                                 "cannot write " + temp + ": " + ErrnoText());
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw SceneFileError(path, SceneFileError::kNoOffset,
                             "cannot replace the file: " + ec.message());
    }
}

SceneLoadResult LoadSceneFromMemory(std::span<const std::uint8_t> bytes,
                                    const std::string &name) {
    if (bytes.size() < kHeaderSize) {
        throw SceneFileError(name, SceneFileError::kNoOffset,
                             "the file holds " + std::to_string(bytes.size()) +
                                 " bytes; a scene file starts with a " +
                                 std::to_string(kHeaderSize) + "-byte header");
    }
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        throw SceneFileError(name, 0,
                             "not a Nimbra scene file (expected the magic \"NIMBRASC\")");
    }
    const std::uint32_t version = GetLE32(bytes.data() + sizeof kMagic);
    if (version != kSceneFileVersion) {
        throw SceneFileError(name, 8,
                             "scene file format version " + std::to_string(version) +
                                 " is not supported (this build reads version " +
                                 std::to_string(kSceneFileVersion) + ")");
    }
    SceneReader reader(bytes.subspan(kHeaderSize), name);
    return reader.Load();
}

SceneLoadResult LoadSceneFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw SceneFileError(path, SceneFileError::kNoOffset, "cannot open: " + ErrnoText());
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        throw SceneFileError(path, SceneFileError::kNoOffset, "cannot read: " + ErrnoText());
    return LoadSceneFromMemory(bytes, path);
}
