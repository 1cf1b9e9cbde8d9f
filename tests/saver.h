// saver.h -- saves every program global for one test and restores it after
#pragma once

#include <cstdint>
#include <memory>

// Construct one at the top of a test (or as a fixture member): the globals
// of the view state, the viewport, the palette, the kernel counters and the
// recorded GL calls come back as they were, and a frame buffer that the
// test allocated is freed, so that test order never matters. The saver
// leaves a zeroed frame buffer and the built palette in place for the test.
class state_saver {
public:
    state_saver();
    ~state_saver();
    state_saver(const state_saver &) = delete;
    state_saver &operator=(const state_saver &) = delete;

private:
    struct saved;
    std::unique_ptr<saved> s_;
};

// The frame buffer's pixel (column, row), row 0 at the bottom.
std::uint32_t &pixel(int column, int row);
