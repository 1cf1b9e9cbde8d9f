// options.cpp -- reads rootzoom-render's command line into its options
#include "tools/options.h"

#include <strings.h>

#include <cstring>

#include "app/cmdline.h"
#include "app/screen.h"
#include "tools/tiles.h"

extern const char usage_text[] =
    "Usage: rootzoom-render [options] [xmax xmin ymax ymin maxiter]\n"
    "  -o FILE      output file, a name ending in .png (default rootzoom.png)\n"
    "  --mode M     0 parameter plane (default), 1 or 2 dynamic plane; 1 and 2 give the\n"
    "               same picture, as both views are set from the same numbers\n"
    "  --c RE,IM    centre of the parameter-plane view, that is the dynamic plane's c\n"
    "  --z0 RE,IM   start value of the parameter plane (default 0,0)\n"
    "  --coarse     the picture shown while a button is held: coarse pass only\n"
    "  --width W    viewport width, 0 to 1024 (default 1024), for a one-frame picture\n"
    "  --size WxH   a picture of k x k frames, k from 1 to 16: 2048x1536, 3072x2304, ... 16384x12288\n"
    "  --scale K    the same as --size (K * 1024)x(K * 768)\n"
    "  --no-logo    leave the logo out\n"
    "  --threads N  threads to render with, 1 to 256 (default: every CPU this process may use)\n"
    "  --stats      print samples computed, iteration steps and times to standard error\n";


namespace {

// "RE,IM": two whole numbers around one comma.
bool read_pair(const char *text, double pair[2])
{
    const char *comma = std::strchr(text, ',');
    if (!comma || std::strchr(comma + 1, ','))
        return false;
    std::string re(text, comma);
    return read_number(re.c_str(), &pair[0]) && read_number(comma + 1, &pair[1]);
}


// The picture is written as PNG, so the name must say so: ".png" in any
// case, so that no other program takes the file for something else.
bool names_png(const std::string &path)
{
    const std::size_t n = path.size();
    return n >= 4 && strcasecmp(path.c_str() + n - 4, ".png") == 0;
}

}  // namespace

// An argument that reads as a number is positional, also when it starts
// with '-'; anything else starting with '-' must be a known option.
bool parse_options(int argc, char **argv, options &o, std::string &error)
{
    auto fail = [&](const std::string &why) {
        error = why;
        return false;
    };
    o = options{};
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        const bool takes_value = arg == "-o" || arg == "--mode" || arg == "--c" || arg == "--z0" ||
                                 arg == "--width" || arg == "--size" || arg == "--scale" || arg == "--threads";
        if (takes_value && i + 1 >= argc)
            return fail("option " + arg + " needs a value");
        auto value = [&]() { return argv[++i]; };
        double number;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return true;
        } else if (arg == "-o") {
            o.output = value();
            if (o.output.empty())
                return fail("empty output file name");
        } else if (arg == "--mode") {
            const char *m = value();
            if (!read_number(m, &number) || !(number == 0 || number == 1 || number == 2))
                return fail(std::string("mode must be 0, 1 or 2, not '") + m + "'");
            o.mode = int(number);
        } else if (arg == "--c" || arg == "--z0") {
            const char *v = value();
            if (!read_pair(v, arg == "--c" ? o.centre : o.z0))
                return fail(arg + " needs RE,IM, not '" + v + "'");
            o.has_centre |= arg == "--c";
        } else if (arg == "--width") {
            const char *w = value();
            if (!read_number(w, &o.width) || !(o.width >= 0 && o.width <= SCREEN_W))
                return fail(std::string("width must be a number from 0 to 1024, not '") + w + "'");
            o.has_width = true;
        } else if (arg == "--size" || arg == "--scale") {
            const char *v = value();
            std::string why;
            if (o.has_tiles)
                return fail("give --size or --scale once");
            o.tiles = arg == "--size" ? size_factor(v, &why) : scale_factor(v, &why);
            if (o.tiles == 0)
                return fail(why);
            o.has_tiles = true;
        } else if (arg == "--threads") {
            const char *t = value();
            if (!read_count(t, &o.threads) || o.threads < 1 || o.threads > MAX_THREADS)
                return fail(std::string("threads must be a whole number from 1 to 256, not '") + t + "'");
        } else if (arg == "--coarse") {
            o.coarse = true;
        } else if (arg == "--no-logo") {
            o.logo = false;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (read_number(argv[i], &number)) {
            o.numbers.push_back(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return fail("unknown option '" + arg + "'");
        } else {
            return fail("not a number: '" + arg + "'");
        }
    }
    if (!names_png(o.output))
        return fail("output file '" + o.output + "' must end in .png: the picture is written as PNG");
    if (!o.numbers.empty() && o.numbers.size() != 5)
        return fail("give all five numbers xmax xmin ymax ymin maxiter, or none");
    if (o.has_width && o.tiles > 1)
        return fail("--width sets the viewport of one frame; it cannot be combined with a picture of several frames");
    return true;
}
