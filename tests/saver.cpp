// saver.cpp -- the per-test saver of the program's globals
#include "tests/saver.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/glnull.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/batch.h"
#include "engine/colouring.h"
#include "engine/kernels.h"
#include "engine/strip.h"
#include "engine/workers.h"
#include "view/idle.h"
#include "view/viewstate.h"

#define DOUBLE_GLOBALS(X) \
    X(xmit) X(ymit) X(xstep) X(ystep) X(maxit) X(jxmit) X(jymit) X(jxstep) X(jystep) X(jmaxit) X(ZX) X(ZY) \
    X(xmit_lo) X(ymit_lo) X(jxmit_lo) X(jymit_lo)
#define INT_GLOBALS(X)                                                                                      \
    X(do_julia) X(calc) X(post_calc) X(moved) X(highq) X(no_firstpass) X(firsttime) X(blub) X(anz) X(buttons) \
    X(MOUSEX) X(MOUSEY) X(oldMOUSEX) X(oldMOUSEY) X(LOX) X(LOY) X(XPTS) X(YPTS) X(idle_registered)       \
    X(kernel_path) X(lane_blocks) X(render_threads) X(bands_top_down) X(precision) X(colouring)
#define DECLARE(name) decltype(::name) name;

struct state_saver::saved {
    DOUBLE_GLOBALS(DECLARE)
    INT_GLOBALS(DECLARE)
    long long kernel_samples, kernel_steps;
    std::uint32_t palette[256];
    std::uint32_t *screen;
    std::uint32_t *snap_long;
    std::uint32_t *mine;  // the buffer this saver handed to the test
    std::vector<gl_call> calls;
};

state_saver::state_saver() : s_(new saved)
{
#define SAVE(name) s_->name = ::name;
    DOUBLE_GLOBALS(SAVE)
    INT_GLOBALS(SAVE)
    SAVE(kernel_samples) SAVE(kernel_steps) SAVE(screen) SAVE(snap_long)
    std::memcpy(s_->palette, mycoltab, sizeof mycoltab);
    s_->calls.swap(gl_calls);
    screen = s_->mine = static_cast<std::uint32_t *>(std::calloc(SCREEN_PIXELS, sizeof *screen));
    make_palette();
}

state_saver::~state_saver()
{
    if (screen != s_->screen && screen != s_->mine)
        std::free(screen);  // the test's own start-up allocated it
    std::free(s_->mine);
    if (snap_long != s_->snap_long)
        std::free(snap_long);
#define RESTORE(name) ::name = s_->name;
    DOUBLE_GLOBALS(RESTORE)
    INT_GLOBALS(RESTORE)
    RESTORE(kernel_samples) RESTORE(kernel_steps) RESTORE(screen) RESTORE(snap_long)
    std::memcpy(mycoltab, s_->palette, sizeof mycoltab);
    gl_calls.swap(s_->calls);
}

std::uint32_t &pixel(int column, int row)
{
    return screen[row * SCREEN_W + column];
}
