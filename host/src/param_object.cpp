/// @file param_object.cpp
/// @brief Table-described parameter blocks: creation with defaults, layout check and the
///        answers to the parameter-name, -dimension and -range queries.
#include "host/param_object.h"

#include "host/interface.h"

#include <vector>

IParamBlock *MakeParamBlock(const ParamSpec *specs, int count, DWORD version) {
    std::vector<ParamBlockDescID> desc(count);
    for (int i = 0; i < count; ++i) {
        const DWORD id = specs[i].id == kParamIDIsIndex ? static_cast<DWORD>(i) : specs[i].id;
        desc[i] = {specs[i].type, nullptr, specs[i].animatable, id};
    }
    IParamBlock *block = CreateParameterBlock(desc.data(), count, version);
    SuspendAnimate();  // defaults are constants, even when made while animating
    for (int i = 0; i < count; ++i) {
        switch (specs[i].type) {
            case TYPE_FLOAT:
                block->SetValue(i, 0, specs[i].defaultValue);
                break;
            case TYPE_RGBA:
                block->SetValue(i, 0, specs[i].defaultColor);
                break;
            case TYPE_POINT3:
                block->SetValue(i, 0, Point3(specs[i].defaultColor));
                break;
            case TYPE_INT:
            case TYPE_BOOL:
                block->SetValue(i, 0, static_cast<int>(specs[i].defaultValue));
                break;
        }
    }
    ResumeAnimate();
    return block;
}

void NarrowToBlockValidity(IParamBlock *block, TimeValue t, Interval &valid) {
    if (!block) return;
    for (int i = 0; i < block->NumParams(); ++i) {
        const ParamType type = block->GetParameterType(i);
        if (type == TYPE_RGBA || type == TYPE_POINT3) {
            Point3 v;
            block->GetValue(i, t, v, valid);
        } else {
            float v;
            block->GetValue(i, t, v, valid);
        }
    }
}

bool BlockMatches(IParamBlock *block, const ParamSpec *specs, int count) {
    if (!block || block->NumParams() != count) return false;
    for (int i = 0; i < count; ++i) {
        if (block->GetParameterType(i) != specs[i].type) return false;
    }
    return true;
}

bool AnswerParamQuery(const ParamSpec *specs, int count, PartID partID, RefMessage message) {
    if (message == REFMSG_GET_PARAM_NAME) {
        auto *q = reinterpret_cast<GetParamName *>(partID);
        q->name = q->index >= 0 && q->index < count ? specs[q->index].name : "??";
        return true;
    }
    if (message == REFMSG_GET_PARAM_DIM) {
        auto *q = reinterpret_cast<GetParamDim *>(partID);
        q->dim = q->index >= 0 && q->index < count ? specs[q->index].dim : defaultDim;
        return true;
    }
    if (message == REFMSG_GET_PARAM_RANGE) {
        auto *q = reinterpret_cast<GetParamRange *>(partID);
        q->range = q->index >= 0 && q->index < count ? specs[q->index].range : ParamRange{};
        return true;
    }
    return false;
}
