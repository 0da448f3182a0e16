/// @file scene_file_fuzz.cpp
/// @brief libFuzzer target: arbitrary bytes loaded as a binary scene file, with the host's
///        classes and the real modules installed. Whatever the bytes, loading neither
///        crashes, leaks nor runs into undefined behaviour; a refused file leaves the current
///        scene in place. A scene that loads saves, loads again and saves again to the same
///        bytes: nothing accepted from a file is lost or changed on its way through the next.
///        Build and run: fuzz/README.md.
#include "fuzz_support.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/scene_file.h"

#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Modules modules("scene_fuzz");
    Interface *ip = GetCOREInterface();
    INode *before = ip->GetRootNode();
    try {
        LoadSceneFromMemory(std::span(data, size), "fuzz.nbs");
    } catch (const SceneFileError &) {
        if (ip->GetRootNode() != before) __builtin_trap();
        return 0;
    }

    const std::vector<std::uint8_t> first = SaveSceneToMemory("first.nbs");
    LoadSceneFromMemory(first, "first.nbs");  // a failure escapes and ends the run
    if (SaveSceneToMemory("second.nbs") != first) __builtin_trap();
    return 0;
}
