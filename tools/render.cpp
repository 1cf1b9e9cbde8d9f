// render.cpp -- rootzoom-render: renders one frame without a window and writes it as PNG
//
// The frame is made by the explorer's own code (view state, frame
// description, frame renderer), linked with the null GL platform, and
// rendered twice as the explorer's first display renders it, so the PNG is
// what the window shows after start-up.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/kernels.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

const char usage_text[] =
    "Usage: rootzoom-render [options] [xmax xmin ymax ymin maxiter]\n"
    "  -o FILE      output file (default rootzoom.png)\n"
    "  --mode M     0 parameter plane (default), 1 or 2 dynamic plane\n"
    "  --c RE,IM    centre of the parameter-plane view, that is the dynamic plane's c\n"
    "  --z0 RE,IM   start value of the parameter plane (default 0,0)\n"
    "  --coarse     the picture shown while a button is held: coarse pass only\n"
    "  --width W    viewport width, 0 to 1024 (default 1024)\n"
    "  --no-logo    leave the logo out\n"
    "  --stats      print samples computed and iteration steps to standard error\n";

struct options {
    std::string output = "rootzoom.png";
    int mode = 0;
    bool has_centre = false;
    double centre[2] = {0, 0};
    double z0[2] = {0, 0};
    bool coarse = false;
    double width = SCREEN_W;
    bool logo = true;
    bool stats = false;
    std::vector<double> numbers;  // none, or xmax xmin ymax ymin maxiter
};

[[noreturn]] void refuse(const std::string &why)
{
    std::fprintf(stderr, "rootzoom-render: %s\n%s", why.c_str(), usage_text);
    std::exit(2);
}

// "RE,IM": two whole numbers around one comma.
bool read_pair(const char *text, double pair[2])
{
    const char *comma = std::strchr(text, ',');
    if (!comma || std::strchr(comma + 1, ','))
        return false;
    std::string re(text, comma);
    return read_number(re.c_str(), &pair[0]) && read_number(comma + 1, &pair[1]);
}

// An argument that reads as a number is positional, also when it starts
// with '-'; anything else starting with '-' must be a known option.
options parse(int argc, char **argv)
{
    options o;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc)
                refuse("option " + arg + " needs a value");
            return argv[++i];
        };
        double number;
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_text, stdout);
            std::exit(0);
        } else if (arg == "-o") {
            o.output = value();
            if (o.output.empty())
                refuse("empty output file name");
        } else if (arg == "--mode") {
            const char *m = value();
            if (!read_number(m, &number) || !(number == 0 || number == 1 || number == 2))
                refuse(std::string("mode must be 0, 1 or 2, not '") + m + "'");
            o.mode = int(number);
        } else if (arg == "--c" || arg == "--z0") {
            const char *v = value();
            if (!read_pair(v, arg == "--c" ? o.centre : o.z0))
                refuse(arg + " needs RE,IM, not '" + v + "'");
            o.has_centre |= arg == "--c";
        } else if (arg == "--width") {
            const char *w = value();
            if (!read_number(w, &o.width) || !(o.width >= 0 && o.width <= SCREEN_W))
                refuse(std::string("width must be a number from 0 to 1024, not '") + w + "'");
        } else if (arg == "--coarse") {
            o.coarse = true;
        } else if (arg == "--no-logo") {
            o.logo = false;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (read_number(argv[i], &number)) {
            o.numbers.push_back(number);
        } else if (arg.size() > 1 && arg[0] == '-') {
            refuse("unknown option '" + arg + "'");
        } else {
            refuse("not a number: '" + arg + "'");
        }
    }
    if (!o.numbers.empty() && o.numbers.size() != 5)
        refuse("give all five numbers xmax xmin ymax ymin maxiter, or none");
    return o;
}

// The explorer's start-up, with the options in place of the mouse: both
// views, the start value, the mode, the viewport and a held button for a
// coarse picture.
void set_up(const options &o)
{
    anz = 1;
    alloc_screen();
    make_palette();
    if (o.numbers.size() == 5)
        setkoords(o.numbers[1], o.numbers[0], o.numbers[3], o.numbers[2], o.numbers[4], 1);
    else
        resetkoords(1);
    if (o.has_centre)
        xmit = o.centre[0], ymit = o.centre[1];
    ZX = o.z0[0], ZY = o.z0[1];
    do_julia = o.mode;
    setsize(o.width);
    highq = 1;
    create_logo();
    buttons = o.coarse ? 1 : 0;
}

// The window's picture: buffer row 767 at the top, the logo blended over
// the lower-left corner with its alpha as print_logo blends it.
std::vector<png_byte> window_picture(bool logo)
{
    std::vector<png_byte> rgb(SCREEN_W * SCREEN_H * 3);
    for (int row = 0; row < SCREEN_H; row++)
        for (int col = 0; col < SCREEN_W; col++) {
            std::uint32_t p = screen[row * SCREEN_W + col];
            png_byte *out = &rgb[((SCREEN_H - 1 - row) * SCREEN_W + col) * 3];
            for (int c = 0; c < 3; c++) {
                unsigned under = p >> (8 * c) & 0xff;
                if (logo && col < LOGO_W && row < LOGO_H) {
                    std::uint32_t l = snap_long[row * LOGO_W + col];
                    unsigned a = l >> 24, over = l >> (8 * c) & 0xff;
                    under = (over * a + under * (255 - a) + 127) / 255;
                }
                out[c] = png_byte(under);
            }
        }
    return rgb;
}

bool write_png(std::FILE *f, const std::vector<png_byte> &rgb)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, SCREEN_W, SCREEN_H, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < SCREEN_H; row++)
        png_write_row(png, &rgb[row * SCREEN_W * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Written under a temporary name in the same folder and renamed into place,
// so a failure never leaves a partial file under the output's name.
void save(const std::string &path, const std::vector<png_byte> &rgb)
{
    std::string tmp = path + ".tmpXXXXXX";
    int fd = mkstemp(tmp.data());
    std::FILE *f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (!f) {
        std::fprintf(stderr, "rootzoom-render: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        if (fd >= 0) {
            close(fd);
            unlink(tmp.c_str());
        }
        std::exit(1);
    }
    bool ok = write_png(f, rgb);
    int saved_errno = errno;
    ok = (std::fclose(f) == 0) && ok;
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0)
        ok = false, saved_errno = errno;
    if (!ok) {
        unlink(tmp.c_str());
        std::fprintf(stderr, "rootzoom-render: cannot write %s: %s\n", path.c_str(), std::strerror(saved_errno));
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    const options o = parse(argc, argv);
    set_up(o);
    long long samples[2], steps[2];
    for (int render = 0; render < 2; render++) {
        kernel_samples = kernel_steps = 0;
        render_frame(describe_frame());
        samples[render] = kernel_samples, steps[render] = kernel_steps;
    }
    save(o.output, window_picture(o.logo));
    if (o.stats)
        std::fprintf(stderr,
                     "samples %lld\nsteps %lld\nfirst render: %lld samples, %lld steps\n"
                     "second render: %lld samples, %lld steps\n",
                     samples[0] + samples[1], steps[0] + steps[1], samples[0], steps[0], samples[1], steps[1]);
    return 0;
}
