// publish.cpp -- the view of the frame on screen, set on the explorer's window after each frame
//
// Another program (rootzoom-render --from-window, xprop) reads the record
// off the window to make the picture on screen again, so it describes the
// frame just shown in the terms of a PNG's view: the refinement passes ran
// only if no button was held, and the picture is one frame with the logo.
#include "view/publish.h"

#include <bit>
#include <cstdint>

#include "app/screen.h"
#include "app/winprop.h"
#include "view/viewstate.h"

namespace {

bool started_from_numbers = false;
double start_numbers[5];
picture_record start_record;  // the views the start numbers gave

bool same_bits(const double *a, const double *b, int n)
{
    for (int i = 0; i < n; i++)
        if (std::bit_cast<std::uint64_t>(a[i]) != std::bit_cast<std::uint64_t>(b[i]))
            return false;
    return true;
}

}  // namespace

void remember_start_numbers(const double *numbers)
{
    started_from_numbers = numbers != nullptr;
    for (int i = 0; numbers && i < 5; i++)
        start_numbers[i] = numbers[i];
    capture_views(start_record);
}

picture_record shown_record()
{
    picture_record r;
    r.mode = do_julia;
    capture_views(r);
    r.z0[0] = ZX, r.z0[1] = ZY;
    r.has_numbers = started_from_numbers && same_bits(r.parameter, start_record.parameter, 5) &&
                    same_bits(r.dynamic, start_record.dynamic, 5);
    if (r.has_numbers)
        for (int i = 0; i < 5; i++)
            r.numbers[i] = start_numbers[i];
    r.width = XPTS;
    r.coarse = buttons != 0 || !highq;
    return r;
}

void publish_view()
{
    set_window_text(view_property, view_text(shown_record()));
}
