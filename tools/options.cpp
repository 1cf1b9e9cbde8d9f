// options.cpp -- reads rootzoom-render's command line into its options
#include "tools/options.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "app/cmdline.h"
#include "app/screen.h"
#include "engine/colouring.h"
#include "tools/palettes.h"
#include "tools/tiles.h"
#include "view/viewrecord.h"

extern const char usage_text[] =
    "Usage: rootzoom-render [options] [--] [xmax xmin ymax ymin maxiter]\n"
    "Options that take a value take it as the next argument or after '=' (--scale=2).\n"
    "An option given twice takes its last value.\n"
    "  -o FILE, --output FILE\n"
    "               output file, a name ending in .png (default rootzoom.png), or - for\n"
    "               standard output; a FIFO or a character device is written into\n"
    "  --mode M     0 parameter plane (default), 1 or 2 dynamic plane; 1 and 2 give the\n"
    "               same picture, as both views are set from the same numbers\n"
    "  --c RE,IM    centre of the parameter-plane view, that is the dynamic plane's c; its\n"
    "               decimals past 17 digits count, up to quadruple precision, for deep views\n"
    "  --half-width W\n"
    "               half-width of the parameter-plane view, its half-height 3/4 of it\n"
    "  --limit N    the view's iteration limit: the picture of N as the fifth number\n"
    "  --precision P\n"
    "               auto (default): perturbation from a reference orbit where a pixel spans\n"
    "               fewer than 64 units in the last place of the view's coordinates, else\n"
    "               double; double, double-double or perturbation: always that\n"
    "  --z0 RE,IM   start value of the parameter plane (default 0,0)\n"
    "  --coarse     the picture shown while a button is held: coarse pass only\n"
    "  --width W    viewport width, 0 to 1024 (default 1024), for a one-frame picture\n"
    "  --size WxH   the picture's width and height, each from 16 to 65536 pixels, or hd\n"
    "               (1920x1080) or 4k (3840x2160); other shapes than 4:3 show the view's\n"
    "               centre and width in square pixels\n"
    "  --scale K    the same as --size (K * 1024)x(K * 768), K from 1 to 16\n"
    "  --palette P  the colours: a .map file, named with a '/' or ending in .map, or a\n"
    "               palette installed with rootzoom: explorer (default), ocean, rainbow, sunset\n"
    "  --colouring C\n"
    "               count (default): the palette entry of the iteration count; smooth: a\n"
    "               continuous count, neighbouring entries mixed; basin: a colour for each\n"
    "               root the iteration settles on, its lightness from the continuous count\n"
    "  --supersample K\n"
    "               each pixel the mean, in linear light, of K x K pixels of the picture\n"
    "               rendered K times larger; K from 1 (default) to 8\n"
    "  --no-logo    leave the logo out\n"
    "  --threads N  threads to render with, 1 to 256 (default: every CPU this process may use)\n"
    "  --stats      print samples computed, iteration steps and times to standard error\n"
    "  --from FILE  the view and options of FILE, a picture this tool made, so that it is\n"
    "               made again; options given with it override what FILE says\n"
    "  --args-of FILE\n"
    "               print the five numbers that open rootzoom on FILE's view, nothing else\n"
    "  --from-window [ID]\n"
    "               the view on the window of a running rootzoom: the one titled rootzoom,\n"
    "               or window ID (decimal, or 0x and hex); options given with it override\n"
    "               what the window shows; five numbers go before it or after ID\n"
    "  --args-of-window [ID]\n"
    "               print the five numbers that open rootzoom on that window's view\n"
    "  --zoom-in K  a zoom sequence: one picture per zoom step of rootzoom, K steps in\n"
    "  --zoom-out K (or out) about the view's centre, written as DIR/frame-00000.png, ...\n"
    "  --every N    a picture every N steps, K a multiple of N: frame n shows step n * N\n"
    "  --frames DIR the folder of the sequence, made if missing; frames already there with\n"
    "               this sequence's view are kept, frames of another sequence are refused\n"
    "  --overwrite  replace another sequence's frames in the folder, remove those past the end\n"
    "  --part I/N   render part I of N: the frames n with n mod N = I - 1 (1 <= I <= N)\n"
    "  --aim        move the centre first onto a boundary between samples that end apart\n"
    "               (settle on different points, escape, reach the limit) whose detail\n"
    "               lasts, so that the deepest frame still shows detail (modes 0 and 2)\n"
    "  --limit-end N\n"
    "               the last frame's limit, the frames' limits growing (or shrinking)\n"
    "               geometrically from the first frame's to N, in place of the explorer's\n"
    "               2 % a step (which leaves mode 2's limit where it is)\n"
    "Double-double precision runs out at a half-width of about 3.3e-29, 1.1e-29 of the default\n"
    "view's: a zoom in from half-width W reaches it at step 21.85 * log10(W / 3.3e-29), 633 from\n"
    "the default view, 614 from 1.4 0.6 0.6 0 60 (with --scale K, 21.85 * log10(K) steps sooner).\n"
    "With --precision double that is at 3e-13: step 285 from the default view, 265 from the other.\n"
    "  --version    print the version, nothing else\n"
    "  -h, --help   print this, nothing else\n";

extern const char help_hint[] = "Try 'rootzoom-render --help' for the options.";

// libquadmath's reader of decimal text (part of GCC), declared here rather
// than through its header, which only GCC's own include folder holds.
extern "C" __float128 strtoflt128(const char *text, char **end);

namespace {

// Significant decimal digits of a number's text, from its first nonzero
// digit to its last, before any exponent; none for hexadecimal text.
int significant_digits(const char *text)
{
    int digits = 0, zeros = 0;
    bool started = false;
    for (const char *p = text; *p && *p != 'e' && *p != 'E'; p++) {
        if (*p == 'x' || *p == 'X')
            return 0;
        if (*p < '0' || *p > '9')
            continue;
        started |= *p != '0';
        if (started && *p == '0')
            zeros++;
        else if (started)
            digits += zeros + 1, zeros = 0;
    }
    return digits;
}

// A finite number as strtod reads it, and in low what its decimals hold
// beyond that double: read in quadruple precision (113 bits), less the
// double. The double is strtod's own, rounded once. Decimals of 17 digits
// or fewer name that double, as the numbers this tool and the explorer
// print do, so a centre given before low parts existed makes the same file
// now. A centre or start value beyond the doubles has no picture.
bool read_number_whole(const char *text, double *value, double *low)
{
    if (!read_number(text, value) || !std::isfinite(*value))
        return false;
    *low = significant_digits(text) > 17 ? double(strtoflt128(text, nullptr) - __float128(*value)) : 0.0;
    return true;
}

// "RE,IM": two whole finite numbers around one comma, with their low parts.
bool read_pair(const char *text, double pair[2], double low[2])
{
    const char *comma = std::strchr(text, ',');
    if (!comma || std::strchr(comma + 1, ','))
        return false;
    std::string re(text, comma);
    return read_number_whole(re.c_str(), &pair[0], &low[0]) && read_number_whole(comma + 1, &pair[1], &low[1]);
}


// The picture is written as PNG, so the name must say so: ".png" in any
// case, so that no other program takes the file for something else; or
// "-", standard output.
bool names_png(const std::string &path)
{
    const std::size_t n = path.size();
    return path == "-" || (n >= 4 && strcasecmp(path.c_str() + n - 4, ".png") == 0);
}

// A window id as the X tools print it, decimal (xdotool) or 0x and hex
// digits (xwininfo, xprop), from 1 to 0xffffffff; anything else is not one.
bool read_window_id(const std::string &text, unsigned long *id)
{
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    const char *allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of(allowed) != std::string::npos)
        return false;
    const unsigned long long value = std::stoull(digits, nullptr, hex ? 16 : 10);
    if (value == 0 || value > 0xffffffffULL)
        return false;
    *id = static_cast<unsigned long>(value);
    return true;
}

// --from-window and --args-of-window, whose window id is optional: given
// after '=', or as the next argument when that is written as an id (so
// five numbers go before the option, or after the id).
bool read_window_option(const std::string &name, const char *value, options &o, std::string &error)
{
    (name == "--from-window" ? o.from_window : o.args_of_window) = true;
    o.window = 0;
    if (value && !read_window_id(value, &o.window)) {
        error = name + " needs a window id, decimal or 0x and hex digits, not '" + value + "'";
        return false;
    }
    return true;
}

// A count of zoom steps, from 1 to MAX_ZOOM_STEPS.
bool read_steps(const char *text, int *steps)
{
    return read_count(text, steps) && *steps >= 1 && *steps <= MAX_ZOOM_STEPS;
}

// "I/N": part I of N, 1 <= I <= N <= MAX_PARTS.
bool read_part(const char *text, int *part, int *parts)
{
    const char *slash = std::strchr(text, '/');
    return slash && read_count(std::string(text, slash).c_str(), part) && read_count(slash + 1, parts) &&
           *part >= 1 && *part <= *parts && *parts <= MAX_PARTS;
}

// The last frame's limit, which the others' grow towards geometrically: a
// whole number the int range holds, from 1 up.
bool read_limit_end(const char *text, double *limit)
{
    return read_number(text, limit) && *limit >= 1 && *limit <= 2147483647.0 && std::floor(*limit) == *limit;
}

// The options of a zoom sequence, once the whole command line is read.
// In mode 1 the zoom acts on the parameter-plane view while the dynamic
// plane is shown, so no aim can keep the frames on a boundary.
bool check_sequence(const options &o, std::string &error)
{
    const std::string zoom = o.zoom_button == 1 ? "--zoom-in" : "--zoom-out";
    const char *needs_zoom = o.has_every       ? "--every"
                             : o.aim           ? "--aim"
                             : o.overwrite     ? "--overwrite"
                             : o.has_limit_end ? "--limit-end"
                                               : "--part";
    if (!o.zoom_button) {
        if (!o.frames.empty())
            error = "--frames needs --zoom-in K or --zoom-out K";
        else if (o.has_every || o.aim || o.overwrite || o.has_part || o.has_limit_end)
            error = std::string(needs_zoom) + " needs --zoom-in K or --zoom-out K";
    } else if (o.frames.empty()) {
        error = zoom + " needs --frames DIR, the folder for its pictures";
    } else if (o.has_output) {
        error = "-o names one picture; a zoom sequence goes to the folder of --frames";
    } else if (o.zoom_steps % o.every != 0) {
        error = zoom + " " + std::to_string(o.zoom_steps) + " is no multiple of --every " +
                std::to_string(o.every) + ": the last frame must show the last step";
    } else if (o.aim && o.mode == 1) {
        error = "--aim needs mode 0 or 2: in mode 1 the zoom steps leave the dynamic plane shown where it is";
    }
    return error.empty();
}

// The options that take a value, by their long names ("-o" too).
bool takes_value(const std::string &name)
{
    static const char *const valued[] = {"-o", "--output", "--mode", "--c", "--z0", "--half-width",
                                         "--precision", "--width", "--size", "--palette", "--colouring",
                                         "--scale", "--supersample", "--from", "--args-of", "--zoom-in",
                                         "--zoom-out", "--every", "--frames", "--threads", "--part",
                                         "--limit", "--limit-end"};
    for (const char *v : valued)
        if (name == v)
            return true;
    return false;
}

// Reads the value v of option name into o; false, with error, for a bad one.
// Every value is checked as it comes and overwrites what an earlier one
// set, so an option given twice takes its last value, and options that set
// one thing (--size and --scale, --zoom-in and --zoom-out) take the last of
// them: a script's default is overridden by appending. No reader refuses a
// repeat; a reader of a new option overwrites its setting whole.
bool read_valued(const std::string &name, const char *v, options &o, std::string &error)
{
    const std::string value = v;
    double number;
    auto fail = [&](const std::string &why) {
        error = why;
        return false;
    };
    if (name == "-o" || name == "--output") {
        o.output = value;
        o.has_output = true;
        if (o.output.empty())
            return fail("empty output file name");
    } else if (name == "--mode") {
        if (!read_number(v, &number) || !(number == 0 || number == 1 || number == 2))
            return fail("mode must be 0, 1 or 2, not '" + value + "'");
        o.mode = int(number);
        o.has_mode = true;
    } else if (name == "--c" || name == "--z0") {
        double low[2];
        if (!read_pair(v, name == "--c" ? o.centre : o.z0, low))
            return fail(name + " needs RE,IM, two finite numbers, not '" + value + "'");
        if (name == "--c")
            o.centre_lo[0] = low[0], o.centre_lo[1] = low[1];
        o.has_centre |= name == "--c";
        o.has_z0 |= name == "--z0";
    } else if (name == "--half-width") {
        if (!read_number(v, &o.half_width) || !half_width_in_range(o.half_width))
            return fail("--half-width needs a number above 0 and below 1e300, not '" + value + "'");
        o.has_half_width = true;
    } else if (name == "--precision") {
        const char *const names[] = {"auto", "double", "double-double", "perturbation"};
        o.precision = -1;
        for (int p = 0; p < 4; p++)
            o.precision = value == names[p] ? p : o.precision;
        if (o.precision < 0)
            return fail("--precision must be auto, double, double-double or perturbation, not '" + value + "'");
        o.has_precision = true;
    } else if (name == "--width") {
        if (!read_number(v, &o.width) || !(o.width >= 0 && o.width <= SCREEN_W))
            return fail("width must be a number from 0 to 1024, not '" + value + "'");
        o.has_width = true;
    } else if (name == "--size" || name == "--scale") {
        o.has_tiles = true;
        if (name == "--scale") {
            o.tiles = scale_factor(v, &error);
            o.size[0] = o.tiles * SCREEN_W, o.size[1] = o.tiles * SCREEN_H;
            return o.tiles != 0;
        }
        if (!read_picture_size(v, o.size, &error))
            return false;
        o.tiles = tile_factor(o.size[0], o.size[1]);
    } else if (name == "--palette") {
        o.palette_source = value;
        o.has_palette = true;
        if (value.empty())
            return fail("empty palette name after --palette");
    } else if (name == "--colouring") {
        o.colouring = -1;
        for (int c = COLOURING_COUNT; c <= COLOURING_BASIN; c++)
            o.colouring = value == colouring_name(c) ? c : o.colouring;
        if (o.colouring < 0)
            return fail("--colouring must be count, smooth or basin, not '" + value + "'");
        o.has_colouring = true;
    } else if (name == "--supersample") {
        if (!read_count(v, &o.supersample) || o.supersample < 1 || o.supersample > MAX_SUPERSAMPLE)
            return fail("--supersample needs a whole number from 1 to 8, not '" + value + "'");
        o.has_supersample = true;
    } else if (name == "--threads") {
        if (!read_count(v, &o.threads) || o.threads < 1 || o.threads > MAX_THREADS)
            return fail("threads must be a whole number from 1 to 256, not '" + value + "'");
    } else if (name == "--from" || name == "--args-of" || name == "--frames") {
        std::string &file = name == "--from" ? o.from : name == "--args-of" ? o.args_of : o.frames;
        file = value;
        if (file.empty())
            return fail("empty file name after " + name);
    } else if (name == "--zoom-in" || name == "--zoom-out") {
        if (!read_steps(v, &o.zoom_steps))
            return fail(name + " needs a whole number of steps from 1 to 99999, not '" + value + "'");
        o.zoom_button = name == "--zoom-in" ? 1 : 4;
    } else if (name == "--part") {
        if (!read_part(v, &o.part, &o.parts))
            return fail("--part needs I/N, whole numbers with 1 <= I <= N <= 99999, not '" + value + "'");
        o.has_part = true;
    } else if (name == "--limit") {  // the fifth number, given apart, and read as it is
        if (!read_number(v, &o.limit) || !limit_in_range(o.limit))
            return fail("--limit must be " + std::string(limit_range_text) + ", not '" + value + "'");
        o.has_limit = true;
    } else if (name == "--limit-end") {
        if (!read_limit_end(v, &o.limit_end))
            return fail("--limit-end needs a whole number from 1 to 2147483647, not '" + value + "'");
        o.has_limit_end = true;
    } else if (name == "--every") {
        if (!read_steps(v, &o.every))
            return fail("--every needs a whole number of steps from 1 to 99999, not '" + value + "'");
        o.has_every = true;
    }
    return true;
}

// The options that take no value; false for a name that is none of them.
bool read_flag(const std::string &name, options &o)
{
    if (name == "--coarse")
        o.coarse = true;
    else if (name == "--aim")
        o.aim = true;
    else if (name == "--overwrite")
        o.overwrite = true;
    else if (name == "--no-logo")
        o.logo = false;
    else if (name == "--stats")
        o.stats = true;
    else
        return false;
    return true;
}

// What the whole command line asks for that no single option can check.
bool check_together(const options &o, std::string &error)
{
    if (!check_sequence(o, error))
        return false;
    if (!names_png(o.output))
        error = "output file '" + o.output + "' must end in .png: the picture is written as PNG";
    else if (!o.numbers.empty() && o.numbers.size() != 5)
        error = "give all five numbers xmax xmin ymax ymin maxiter, or none";
    else if (!o.numbers.empty() && !limit_in_range(o.numbers[4]))
        error = "the iteration limit maxiter must be " + std::string(limit_range_text) + ", not '" +
                exact_text(o.numbers[4]) + "'";
    else if (o.has_width && o.tiles > 1)
        error = "--width sets the viewport of one frame; it cannot be combined with a picture of several frames";
    else if ((o.has_width || o.coarse) && !explorer_frames(o))
        error = std::string(o.has_width ? "--width sets the viewport" : "--coarse shows the coarse pass") +
                " of the explorer's frame: it needs --colouring count and a size of k x (1024x768)";
    else if (o.has_width && o.supersample > 1)
        error = "--width sets the viewport of one frame; it cannot be combined with --supersample";
    return error.empty();
}

}  // namespace

bool read_palette(options &o, std::string &why)
{
    if (!o.has_palette)
        return true;
    return names_palette_file(o.palette_source) ? read_palette_file(o.palette_source, o.palette, why)
                                                : read_named_palette(o.palette_source, o.palette, why);
}

bool explorer_frames(const options &o)
{
    return o.tiles > 0 && o.colouring == COLOURING_COUNT;
}

bool half_width_in_range(double w) { return w > 0 && w < 1e300; }

// An argument that reads as a number is positional, also when it starts
// with '-'; anything else starting with '-' must be a known option, given
// as "--name value" or "--name=value". After "--" every argument is
// positional.
bool parse_options(int argc, char **argv, options &o, std::string &error)
{
    auto fail = [&](const std::string &why) {
        error = why;
        return false;
    };
    o = options{};
    bool positional_only = false;
    int others = 0;  // arguments besides one --args-of and its file
    std::string id_read;  // a window option and the argument after it, read as its id
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        double number;
        if (positional_only || (read_number(argv[i], &number) && arg != "--")) {
            if (!read_number(argv[i], &number))
                return fail("not a number: '" + arg + "'");
            o.numbers.push_back(number);
            others++;
            continue;
        }
        const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        if (name == "--help" || name == "-h" || name == "--version") {
            if (equals != std::string::npos)
                return fail("option " + name + " takes no value");
            (name == "--version" ? o.version : o.help) = true;
            return true;
        }
        unsigned long id;
        if (arg == "--") {
            positional_only = true;
        } else if (name == "--from-window" || name == "--args-of-window") {
            const char *value = equals != std::string::npos                        ? argv[i] + equals + 1
                                : i + 1 < argc && read_window_id(argv[i + 1], &id) ? argv[++i]
                                                                                   : nullptr;
            if (!read_window_option(name, value, o, error))
                return false;
            if (value && equals == std::string::npos)
                id_read = name + " " + value;
        } else if (takes_value(name)) {
            if (equals == std::string::npos && i + 1 >= argc)
                return fail("option " + name + " needs a value");
            const char *value = equals == std::string::npos ? argv[++i] : argv[i] + equals + 1;
            if (!read_valued(name, value, o, error))
                return false;
        } else if (equals != std::string::npos && read_flag(name, o)) {
            return fail("option " + name + " takes no value");
        } else if (!read_flag(name, o)) {
            return fail(arg.size() > 1 && arg[0] == '-' ? "unknown option '" + name + "'"
                                                        : "not a number: '" + arg + "'");
        }
        others += name != "--args-of";
    }
    if (!o.args_of.empty() && others > 0)
        return fail("--args-of FILE takes no other arguments");
    if (o.args_of_window && others > 1)
        return fail("--args-of-window [ID] takes no other arguments");
    if (o.from_window && !o.from.empty())
        return fail("give --from FILE or --from-window, not both");
    if (!check_together(o, error)) {
        if (!o.numbers.empty() && o.numbers.size() != 5 && !id_read.empty())
            error += " (in '" + id_read + "' the number was read as a window id: give the five numbers before "
                     "the option, or the id as " + id_read.substr(0, id_read.find(' ')) + "=ID)";
        return false;
    }
    return true;
}
