/// @file test_paths.h
/// @brief Where the tests find the source tree, the build and the modules. The answers are
///        compiled from a source the build generates, so that the tests themselves compile to
///        the same objects in every clone of the repository (and come from the compiler cache).
#pragma once

namespace testpaths {

const char *SourceDir();      ///< the repository
const char *BinaryDir();      ///< the build folder
const char *TestDataDir();    ///< tests/data
const char *TestModuleDir();  ///< the test modules, one folder per scenario
const char *NimbraProgram();  ///< the `nimbra` program

}  // namespace testpaths
