// render_fuzz.cpp -- libFuzzer target: whole frames from arbitrary views, viewports and buffers
//
// The input chooses the viewport width (0 to 1024, fractional too), both
// views and the start value (any doubles: infinities, not-a-numbers,
// subnormals, huge values), an iteration limit from -10 to 300, the mode,
// refinement, held buttons and skipping the coarse pass, and the previous
// contents of the buffer. The frame is rendered as the display callback
// renders it. AddressSanitizer stops any read or write outside the
// allocation; the slack past row 767 is filled with a pattern that must
// come through unchanged, since no pass may write there.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/batch.h"
#include "engine/frame.h"
#include "engine/workers.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

// Reads the input front to back; past its end every value is 0.
struct reader {
    const std::uint8_t *p;
    std::size_t left;
    template <class T>
    T take()
    {
        T v{};
        std::size_t n = left < sizeof v ? left : sizeof v;
        std::memcpy(&v, p, n);
        p += n, left -= n;
        return v;
    }
};

constexpr std::uint32_t slack_pattern = 0x5a5a5a5a;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (!screen) {
        alloc_screen();
        make_palette();
        create_logo();
        anz = 1;
        // One thread: the coverage counters every thread bumps would be
        // fought over, and the frames are the same on any number of them
        // (the differential test shows it, under the sanitizers too).
        render_threads = 1;
    }
    reader in{data, size};
    const std::uint8_t flags = in.take<std::uint8_t>();
    setsize((in.take<std::uint16_t>() % 10241) / 10.0);
    xmit = in.take<double>(), ymit = in.take<double>(), xstep = in.take<double>(), ystep = in.take<double>();
    jxmit = in.take<double>(), jymit = in.take<double>(), jxstep = in.take<double>(), jystep = in.take<double>();
    ZX = in.take<double>(), ZY = in.take<double>();
    maxit = in.take<std::uint16_t>() % 311 - 10.5;
    jmaxit = maxit;
    do_julia = flags % 3;
    highq = flags >> 2 & 1;
    buttons = (flags >> 3 & 1) ? 1 << (flags >> 4 & 1) : 0;
    no_firstpass = flags >> 5 & 1;
    kernel_path = (flags >> 6 & 1) && kernel_path_available(PATH_AVX2) ? PATH_AVX2 : PATH_ONE_SAMPLE;
    if (flags >> 7 && kernel_path_available(PATH_AVX512))
        kernel_path = PATH_AVX512;

    // The rest of the input is the previous picture, repeated over it.
    for (int i = 0; i < SCREEN_W * SCREEN_H; i++)
        screen[i] = in.left ? std::uint32_t(in.p[i % in.left]) % 4 : 0;
    for (int i = SCREEN_W * SCREEN_H; i < SCREEN_PIXELS; i++)
        screen[i] = slack_pattern;

    render_frame(describe_frame());
    for (int i = SCREEN_W * SCREEN_H; i < SCREEN_PIXELS; i++)
        if (screen[i] != slack_pattern)
            std::abort();  // a pass wrote beyond row 767
    return 0;
}
