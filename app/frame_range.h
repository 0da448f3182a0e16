/// @file frame_range.h
/// @brief The frame-range grammar of `--frames` and of the scene file's render settings: single
///        frames, ranges in either direction, stepped ranges and lists of them.
///
/// Grammar (the union of what renderers commonly accept):
///   list  := item { sep item }      sep: one or more commas and/or white space
///   item  := frame | frame "-" frame [ ("x" | ":") step ]
///   frame := [ "-" | "+" ] digits   negative frames are allowed ("-5--1", "-3-3")
///   step  := digits                  a positive integer
/// `100-1` counts down; a step walks from the first frame towards the last
/// (`1-10x4` is 1 5 9, `10-1:4` is 10 6 2). The result keeps the order written, each frame
/// once (its first occurrence).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

/// Largest frame number (in magnitude) and most frames one range may hold.
constexpr int kMaxFrameNumber = 1000000;
constexpr int kMaxFrameCount = 1000000;

/// A frame range that does not follow the grammar. `what()` quotes the text and says where and
/// what was expected.
class FrameRangeError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

/// The frames of `text`, in the order written, without duplicates. Throws FrameRangeError.
std::vector<int> ParseFrameRange(const std::string &text);

/// The union of several ranges (each parsed as above), in order, without duplicates.
std::vector<int> ParseFrameRanges(const std::vector<std::string> &texts);
