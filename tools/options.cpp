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
    "  --stats      print samples computed, iteration steps and times to standard error\n"
    "  --from FILE  the view and options of FILE, a picture this tool made, so that it is\n"
    "               made again; options given with it override what FILE says\n"
    "  --args-of FILE\n"
    "               print the five numbers that open rootzoom on FILE's view, nothing else\n"
    "  --zoom-in K  a zoom sequence: one picture per zoom step of rootzoom, K steps in\n"
    "  --zoom-out K (or out) about the view's centre, written as DIR/frame-00000.png, ...\n"
    "  --every N    a picture every N steps, K a multiple of N: frame n shows step n * N\n"
    "  --frames DIR the folder of the sequence, made if missing; frames already there with\n"
    "               this sequence's view are kept, frames of another sequence are refused\n"
    "  --overwrite  replace another sequence's frames in the folder, remove those past the end\n"
    "  --part I/N   render part I of N: the frames n with n mod N = I - 1 (1 <= I <= N)\n"
    "  --aim        move the centre first onto the nearest boundary between basins, so that\n"
    "               the deepest frame still shows detail (modes 0 and 2)\n"
    "Double precision runs out at a half-width of about 3e-13, 1e-13 of the default view's:\n"
    "a zoom in from half-width W reaches it at step 21.85 * log10(W / 3e-13), 285 from the\n"
    "default view, 265 from 1.4 0.6 0.6 0 60 (with --scale K, 21.85 * log10(K) steps sooner).\n";


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

// The options of a zoom sequence, once the whole command line is read.
// In mode 1 the zoom acts on the parameter-plane view while the dynamic
// plane is shown, so no aim can keep the frames on a boundary.
bool check_sequence(const options &o, std::string &error)
{
    const std::string zoom = o.zoom_button == 1 ? "--zoom-in" : "--zoom-out";
    const char *needs_zoom = o.has_every ? "--every" : o.aim ? "--aim" : o.overwrite ? "--overwrite" : "--part";
    if (!o.zoom_button) {
        if (!o.frames.empty())
            error = "--frames needs --zoom-in K or --zoom-out K";
        else if (o.has_every || o.aim || o.overwrite || o.has_part)
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
                                 arg == "--width" || arg == "--size" || arg == "--scale" || arg == "--from" ||
                                 arg == "--args-of" || arg == "--zoom-in" || arg == "--zoom-out" ||
                                 arg == "--every" || arg == "--frames" || arg == "--threads" || arg == "--part";
        if (takes_value && i + 1 >= argc)
            return fail("option " + arg + " needs a value");
        auto value = [&]() { return argv[++i]; };
        double number;
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            return true;
        } else if (arg == "-o") {
            o.output = value();
            o.has_output = true;
            if (o.output.empty())
                return fail("empty output file name");
        } else if (arg == "--mode") {
            const char *m = value();
            if (!read_number(m, &number) || !(number == 0 || number == 1 || number == 2))
                return fail(std::string("mode must be 0, 1 or 2, not '") + m + "'");
            o.mode = int(number);
            o.has_mode = true;
        } else if (arg == "--c" || arg == "--z0") {
            const char *v = value();
            if (!read_pair(v, arg == "--c" ? o.centre : o.z0))
                return fail(arg + " needs RE,IM, not '" + v + "'");
            o.has_centre |= arg == "--c";
            o.has_z0 |= arg == "--z0";
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
        } else if (arg == "--from" || arg == "--args-of" || arg == "--frames") {
            std::string &file = arg == "--from" ? o.from : arg == "--args-of" ? o.args_of : o.frames;
            file = value();
            if (file.empty())
                return fail("empty file name after " + arg);
        } else if (arg == "--zoom-in" || arg == "--zoom-out") {
            const char *k = value();
            if (o.zoom_button)
                return fail("give --zoom-in or --zoom-out once");
            if (!read_steps(k, &o.zoom_steps))
                return fail(arg + " needs a whole number of steps from 1 to 99999, not '" + k + "'");
            o.zoom_button = arg == "--zoom-in" ? 1 : 4;
        } else if (arg == "--every") {
            const char *n = value();
            if (!read_steps(n, &o.every))
                return fail(std::string("--every needs a whole number of steps from 1 to 99999, not '") + n + "'");
            o.has_every = true;
        } else if (arg == "--part") {
            const char *p = value();
            if (o.has_part)
                return fail("give --part once");
            if (!read_part(p, &o.part, &o.parts))
                return fail(std::string("--part needs I/N, whole numbers with 1 <= I <= N <= 99999, not '") + p + "'");
            o.has_part = true;
        } else if (arg == "--aim") {
            o.aim = true;
        } else if (arg == "--overwrite") {
            o.overwrite = true;
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
    if (!o.args_of.empty() && argc != 3)
        return fail("--args-of FILE takes no other arguments");
    if (!check_sequence(o, error))
        return false;
    if (!names_png(o.output))
        return fail("output file '" + o.output + "' must end in .png: the picture is written as PNG");
    if (!o.numbers.empty() && o.numbers.size() != 5)
        return fail("give all five numbers xmax xmin ymax ymin maxiter, or none");
    if (o.has_width && o.tiles > 1)
        return fail("--width sets the viewport of one frame; it cannot be combined with a picture of several frames");
    return true;
}
