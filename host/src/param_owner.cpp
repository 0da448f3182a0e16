/// @file param_owner.cpp
/// @brief Parameter blocks built from parameter tables, and the name and dimension answers.
#include "host/param_owner.h"

#include "host/interface.h"

#include <vector>

IParamBlock *CreateParamBlockFromSpecs(std::span<const ParamSpec> specs, DWORD version) {
    std::vector<ParamBlockDescID> layout;
    layout.reserve(specs.size());
    for (const ParamSpec &s : specs) layout.push_back({s.type, nullptr, s.animatable, s.id});
    IParamBlock *pb =
        CreateParameterBlock(layout.data(), static_cast<int>(layout.size()), version);
    // Defaults are constants: with the animate mode on, a set value would become a key.
    SuspendAnimate();
    for (int i = 0; i < static_cast<int>(specs.size()); ++i) {
        const ParamSpec &s = specs[i];
        switch (s.type) {
            case TYPE_INT:
            case TYPE_BOOL:
                pb->SetValue(i, 0, static_cast<int>(s.def[0]));
                break;
            case TYPE_FLOAT:
                pb->SetValue(i, 0, s.def[0]);
                break;
            case TYPE_RGBA:
                pb->SetValue(i, 0, Color(s.def[0], s.def[1], s.def[2]));
                break;
            case TYPE_POINT3:
                pb->SetValue(i, 0, Point3(s.def[0], s.def[1], s.def[2]));
                break;
        }
    }
    ResumeAnimate();
    return pb;
}

bool AnswerParamQuery(std::span<const ParamSpec> specs, PartID &partID, RefMessage message) {
    const auto count = static_cast<int>(specs.size());
    if (message == REFMSG_GET_PARAM_NAME) {
        auto *q = reinterpret_cast<GetParamName *>(partID);
        q->name = q->index >= 0 && q->index < count ? specs[q->index].name : "??";
        return true;
    }
    if (message == REFMSG_GET_PARAM_DIM) {
        auto *q = reinterpret_cast<GetParamDim *>(partID);
        const bool known = q->index >= 0 && q->index < count && specs[q->index].dim;
        q->dim = known ? *specs[q->index].dim : defaultDim;
        return true;
    }
    return false;
}
