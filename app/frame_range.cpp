/// @file frame_range.cpp
/// @brief Parsing frame ranges.
#include "frame_range.h"

#include <cctype>
#include <cstdlib>
#include <unordered_set>

namespace {

/// Walks one range text and collects its frames.
class RangeParser {
public:
    explicit RangeParser(const std::string &text) : text_(text) {}

    void Parse(std::vector<int> &frames, std::unordered_set<int> &seen) {
        SkipSpaces();
        if (AtEnd()) Fail("expected at least one frame");
        if (Peek() == ',') Fail("expected a frame before ','");
        while (true) {
            ParseItem(frames, seen);
            const std::size_t before = pos_;
            SkipSpaces();
            const bool comma = Peek() == ',';
            if (comma) {
                ++pos_;
                SkipSpaces();
            }
            // "1,2," and "1,,2" lost a frame to a typo: say so rather than guess.
            if (comma && (AtEnd() || Peek() == ',')) Fail("expected a frame after ','");
            if (AtEnd()) return;
            if (pos_ == before) Fail("expected ',', a space or the end");
        }
    }

private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

    void SkipSpaces() {
        while (!AtEnd() && std::isspace(static_cast<unsigned char>(Peek()))) ++pos_;
    }

    [[noreturn]] void Fail(const std::string &what) const {
        throw FrameRangeError("bad frame range \"" + text_ + "\" at character " +
                              std::to_string(pos_ + 1) + ": " + what);
    }

    /// Digits at the cursor as a number; `what` names the expected thing for errors.
    long long Digits(const char *what) {
        if (!std::isdigit(static_cast<unsigned char>(Peek())))
            Fail(std::string("expected ") + what);
        long long value = 0;
        const std::size_t start = pos_;
        while (std::isdigit(static_cast<unsigned char>(Peek()))) {
            // Stop growing once far beyond any limit; the check below reports it.
            if (value <= kMaxFrameNumber * 10LL) value = value * 10 + (Peek() - '0');
            ++pos_;
        }
        if (value > kMaxFrameNumber) {
            pos_ = start;
            Fail(std::string(what) + " beyond " + std::to_string(kMaxFrameNumber));
        }
        return value;
    }

    int Frame() {
        bool negative = false;
        if (Peek() == '-' || Peek() == '+') {
            negative = Peek() == '-';
            ++pos_;
        }
        const long long v = Digits("a frame number");
        return static_cast<int>(negative ? -v : v);
    }

    void ParseItem(std::vector<int> &frames, std::unordered_set<int> &seen) {
        const int first = Frame();
        int last = first;
        long long step = 1;
        if (Peek() == '-') {
            ++pos_;
            last = Frame();
            if (Peek() == 'x' || Peek() == ':') {
                ++pos_;
                step = Digits("a step");
                if (step == 0) {
                    --pos_;
                    Fail("the step must be at least 1");
                }
            }
        } else if (Peek() == 'x' || Peek() == ':') {
            Fail("a step needs a range (\"1-100x5\")");
        }
        const long long span = last >= first ? last - first : first - last;
        if (span / step + 1 + static_cast<long long>(frames.size()) > kMaxFrameCount)
            Fail("more than " + std::to_string(kMaxFrameCount) + " frames");
        const long long dir = last >= first ? step : -step;
        for (long long f = first; dir > 0 ? f <= last : f >= last; f += dir)
            if (seen.insert(static_cast<int>(f)).second) frames.push_back(static_cast<int>(f));
    }

    const std::string &text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<int> ParseFrameRange(const std::string &text) {
    return ParseFrameRanges({text});
}

std::vector<int> ParseFrameRanges(const std::vector<std::string> &texts) {
    std::vector<int> frames;
    std::unordered_set<int> seen;
    if (texts.empty()) throw FrameRangeError("bad frame range: no frames given");
    for (const std::string &text : texts) RangeParser(text).Parse(frames, seen);
    return frames;
}
