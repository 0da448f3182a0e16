/// @file data_node.cpp
/// @brief Data nodes: their gradients, names, clone and scene-file data.
#include "plugins/volume/gradient/data_node.h"

#include "plugins/volume/gradient/byte_chunk.h"

#include "host/little_endian.h"

namespace {

/// Scene-file chunk holding the names: a count (int32), then per name its length (uint16)
/// and its bytes.
constexpr USHORT kNamesChunk = 0x0200;

}  // namespace

DataNode::DataNode(const DataNodeClass &cls, bool loading) : class_(cls) {
    if (loading) return;
    for (const DataNodeChild &child : cls.children)
        Add(child.name, new Gradient(*child.preset, false));
}

void DataNode::SetReference(int i, ReferenceTarget *target) {
    if (i >= 0 && i < Count()) children_[i] = dynamic_cast<Gradient *>(target);
}

TSTR DataNode::SubAnimName(int i) {
    return i >= 0 && i < Count() ? names_[i] : TSTR();
}

int DataNode::Add(const std::string &name, Gradient *gradient) {
    if (!gradient || Count() >= kMaxChildren) return -1;
    children_.push_back(nullptr);
    names_.push_back(name.substr(0, kMaxNameBytes));
    ReplaceReference(Count() - 1, gradient);
    return Count() - 1;
}

Gradient *DataNode::Get(int i) const {
    return i >= 0 && i < Count() ? children_[i] : nullptr;
}

Gradient *DataNode::Find(const std::string &name) const {
    for (int i = 0; i < Count(); ++i)
        if (names_[i] == name) return children_[i];
    return nullptr;
}

ReferenceTarget *DataNode::Clone(RemapDir &remap) {
    auto *copy = new DataNode(class_, true);
    copy->names_ = names_;
    copy->children_.assign(children_.size(), nullptr);
    for (int i = 0; i < Count(); ++i) copy->ReplaceReference(i, remap.CloneRef(children_[i]));
    return copy;
}

IOResult DataNode::Save(ISave *isave) {
    std::vector<std::uint8_t> bytes(4);
    PutLEInt(bytes.data(), Count());
    for (const std::string &name : names_) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 2 + name.size());
        PutLE16(bytes.data() + at, std::uint16_t(name.size()));
        std::copy(name.begin(), name.end(), bytes.begin() + at + 2);
    }
    return SaveByteChunk(isave, kNamesChunk, bytes);
}

IOResult DataNode::Load(ILoad *iload) {
    return LoadByteChunks(iload, kNamesChunk, [&](ILoad *in) {
        std::uint8_t field[4];
        if (in->Read(field, 4, nullptr) != IO_OK) return IO_ERROR;
        const int count = GetLEInt(field);
        if (count < 0 || count > kMaxChildren) return IO_ERROR;
        std::vector<std::string> names(count);
        for (std::string &name : names) {
            if (in->Read(field, 2, nullptr) != IO_OK) return IO_ERROR;
            const std::size_t length = GetLE16(field);
            if (length > kMaxNameBytes) return IO_ERROR;
            name.resize(length);
            if (length && in->Read(name.data(), ULONG(length), nullptr) != IO_OK)
                return IO_ERROR;
        }
        names_ = std::move(names);
        children_.assign(names_.size(), nullptr);
        return IO_OK;
    });
}
