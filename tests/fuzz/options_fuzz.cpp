// options_fuzz.cpp -- libFuzzer target: rootzoom-render's command line
//
// The input is split at NUL bytes into an argument vector. Reading it must
// not crash, and what it accepts must be a picture the tool can make.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fuzz/arguments.h"
#include "tools/options.h"
#include "tools/tiles.h"
#include "view/viewrecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    arguments args = split_arguments(data, size, {"rootzoom-render", ""}, 16);

    options o;
    std::string why;
    if (!parse_options(args.argc(), args.argv.data(), o, why)) {
        if (why.empty())
            std::abort();  // every refusal says why
        return 0;
    }
    if (o.help || o.version)
        return 0;
    // --args-of takes no other arguments: only itself, given as often as
    // wanted (its last file counts).
    auto only_args_of = [&] {
        for (int i = 1; i < args.argc(); i++) {
            const std::string a = args.argv[i];
            if (a == "--args-of")
                i++;
            else if (a.rfind("--args-of=", 0) != 0)
                return false;
        }
        return true;
    };
    const bool ok = o.mode >= 0 && o.mode <= 2 && o.tiles >= 0 && o.tiles <= 16 && !o.output.empty() &&
                    o.size[0] >= 16 && o.size[0] <= MAX_PICTURE_SIDE && o.size[1] >= 16 &&
                    o.size[1] <= MAX_PICTURE_SIDE &&
                    (o.tiles == 0 || (o.size[0] == o.tiles * 1024 && o.size[1] == o.tiles * 768)) &&
                    (o.numbers.empty() || (o.numbers.size() == 5 && limit_in_range(o.numbers[4]))) && o.width >= 0 && o.width <= 1024 &&
                    !(o.has_width && o.tiles != 1) && o.supersample >= 1 && o.supersample <= MAX_SUPERSAMPLE &&
                    !(o.has_width && o.supersample > 1) &&
                    o.part >= 1 && o.part <= o.parts && o.parts <= MAX_PARTS && !(o.aim && o.mode == 1) &&
                    (!o.has_limit || limit_in_range(o.limit)) &&
                    (!o.has_limit_end ||
                     (o.limit_end >= 1 && o.limit_end <= 2147483647.0 && o.limit_end == int(o.limit_end))) &&
                    (o.zoom_button == 0 ? o.frames.empty() && !o.has_every && !o.aim && !o.overwrite && !o.has_part &&
                                              !o.has_limit_end
                                        : (o.zoom_button == 1 || o.zoom_button == 4) && o.zoom_steps >= 1 &&
                                              o.zoom_steps <= MAX_ZOOM_STEPS && o.every >= 1 &&
                                              o.zoom_steps % o.every == 0 && !o.frames.empty() && !o.has_output) &&
                    (o.args_of.empty() || only_args_of()) &&
                    (!o.args_of_window || args.argc() == 2 || (args.argc() == 3 && o.window)) &&
                    !(o.from_window && !o.from.empty());
    if (!ok)
        std::abort();
    return 0;
}
