/// @file openjd_template.h
/// @brief A farm job as an Open Job Description job template (format version 2023-09, with
///        task chunking): the frame range, scene, output pattern and chunk size as job
///        parameters, one step whose chunked tasks call `nimbra render … --progress openjd`.
#pragma once

#include "farm_job.h"

#include <nlohmann/json.hpp>

/// The template of `job`, its chunks `chunkSize` frames by default.
nlohmann::json OpenJdTemplate(const FarmJob &job, int chunkSize);

/// Where the job's template is written: the job folder doubles as a job bundle.
std::filesystem::path OpenJdTemplateFile(const FarmJob &job);
