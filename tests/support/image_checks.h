// Checks shared by the image library's tests: whole pictures as nested vectors, top
// row first, so that one exact EXPECT_EQ checks every pixel and a failure prints both
// pictures; a reader's information on one line; the message of an expected exception.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <set>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "imaging/file_format_reader.h"
#include "imaging/pixel_graphic.h"

namespace quipix::test {

// A colour compared exactly and printed as #RRGGBB.
struct Rgb {
    Rgb(PGColor c) : value(c) {}  // implicit: a table row lists plain PGRGB values
    bool operator==(const Rgb&) const = default;
    friend std::ostream& operator<<(std::ostream& os, const Rgb& c) {
        char text[8];
        std::snprintf(text, sizeof text, "#%02X%02X%02X", PGRed(c.value), PGGreen(c.value), PGBlue(c.value));
        return os << text;
    }
    PGColor value;
};
using ColourRows = std::vector<std::vector<Rgb>>;
using ValueRows = std::vector<std::vector<std::uint32_t>>;

// The colour of every pixel.
inline ColourRows Colours(const TPixelGraphic& image) {
    ColourRows rows(std::size_t(image.Height()));
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) rows[std::size_t(y)].push_back(image.Pixels(x, y));
    return rows;
}

// The stored value (palette index, or colour in a true-colour picture) of every pixel.
inline ValueRows Values(const TPixelGraphic& image) {
    ValueRows rows(std::size_t(image.Height()));
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x) rows[std::size_t(y)].push_back(image.PixelValues(x, y));
    return rows;
}

// What a reader tells of a file, in one line: "Info1 | Info2 | bits | colours | size".
inline std::string Described(const TImageInfo& info) {
    return info.Info1 + " | " + info.Info2 + " | " + std::to_string(info.Bits) + " | " + info.ColorText +
           " | " + std::to_string(info.Width) + "x" + std::to_string(info.Height);
}

// Records what a picture reports of long work: its start and end events, and the
// sender, step and maximum of each progress call; from step abortAt on it asks to stop.
struct ProgressLog {
    explicit ProgressLog(TPixelGraphic& image, int abortAt = INT_MAX) {
        image.OnProgressStartEvent = [this] { ++starts; };
        image.OnProgressEndEvent = [this] { ++ends; };
        image.OnProgress = [this, abortAt](const void* sender, int step, int max, bool& abort) {
            senders.insert(sender);
            steps.push_back(step);
            maxima.push_back(max);
            abort = step >= abortAt;
        };
    }
    // Every step above 0 and above the one before.
    bool Rising() const {
        return !steps.empty() && steps.front() > 0 &&
               std::adjacent_find(steps.begin(), steps.end(), std::greater_equal<>()) == steps.end();
    }
    int starts = 0, ends = 0;
    std::set<const void*> senders;
    std::vector<int> steps, maxima;
};

// Runs f and returns the message of the exception of class E it raised ("" if none;
// another exception class fails the test).
template <class E>
std::string MessageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception: " << e.what();
        return "<wrong class>";
    }
    return "";
}

}  // namespace quipix::test
