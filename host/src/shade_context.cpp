/// @file shade_context.cpp
/// @brief Space conversions of the shade context.
#include "host/shade_context.h"

Matrix3 ShadeContext::CamToFrame(RefFrame frame) {
    if (frame == REF_WORLD) return globContext ? globContext->camToWorld : Matrix3();
    if (frame == REF_OBJECT) return CamToObject();
    return Matrix3();
}

Matrix3 ShadeContext::FrameToCam(RefFrame frame) {
    if (frame == REF_WORLD) return globContext ? globContext->worldToCam : Matrix3();
    if (frame == REF_OBJECT) return Inverse(CamToObject());
    return Matrix3();
}

Point3 ShadeContext::PointTo(const Point3 &p, RefFrame ito) {
    return CamToFrame(ito).PointTransform(p);
}

Point3 ShadeContext::PointFrom(const Point3 &p, RefFrame ifrom) {
    return FrameToCam(ifrom).PointTransform(p);
}

Point3 ShadeContext::VectorTo(const Point3 &v, RefFrame ito) {
    return CamToFrame(ito).VectorTransform(v);
}

Point3 ShadeContext::VectorFrom(const Point3 &v, RefFrame ifrom) {
    return FrameToCam(ifrom).VectorTransform(v);
}
