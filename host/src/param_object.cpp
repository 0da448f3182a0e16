/// @file param_object.cpp
/// @brief Table-described parameter blocks: creation with defaults, layout check and the
///        answers to the parameter-name and parameter-dimension queries.
#include "host/param_object.h"

#include "host/interface.h"

#include <vector>

IParamBlock *MakeParamBlock(const ParamSpec *specs, int count) {
    std::vector<ParamBlockDesc> desc(count);
    for (int i = 0; i < count; ++i) desc[i] = {specs[i].type, nullptr, specs[i].animatable};
    IParamBlock *block = CreateParameterBlock(desc.data(), count);
    SuspendAnimate();  // defaults are constants, even when made while animating
    for (int i = 0; i < count; ++i) {
        if (specs[i].type == TYPE_FLOAT)
            block->SetValue(i, 0, specs[i].defaultValue);
        else
            block->SetValue(i, 0, static_cast<int>(specs[i].defaultValue));
    }
    ResumeAnimate();
    return block;
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
    return false;
}
