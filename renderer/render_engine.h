/// @file render_engine.h
/// @brief The sprite render engine of the main module.
#pragma once

class ParticleRenderer;

/// The engine of the render in progress: the image filter creates one per frame and destroys
/// it afterwards; null between renders. Module-wide, as the filters render one at a time.
inline ParticleRenderer *theEngine = nullptr;
