// dives.cpp -- the aimed-dive measurement's helper: seeded starting views whose samples end in two ways or more, and a frame's colours
//
//   dives views SEED COUNT   COUNT views, one a line: MODE CX CY XMAX XMIN YMAX YMIN LIMIT
//   dives colours FILE       the colours of a frame above its logo: COLOURS SHARE (of the commonest)
//
// The views are drawn by splitmix64 from SEED, so the same seed gives the
// same views on any machine: the mode (0 or 2, alternating), the plane's
// centre in the default view's bounds, for mode 2 the parameter c there too,
// a half-width from 1e-5 to 1e-1 (even in its logarithm) and a limit from
// 100 to 1000. A view is kept when a grid of its samples, iterated in
// quadruple precision with the view's limit, ends in two ways or more:
// escaping, reaching the limit, or settling on points 0.1 apart, held
// against their neighbours. That check shares only the Newton step
// (engine/newton.h) with rootzoom, not the aim.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/newton.h"

namespace {

using quad = __float128;

std::uint64_t state;

std::uint64_t next()
{
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double uniform(double lo, double hi)  // 53 random bits
{
    return lo + (hi - lo) * double(next() >> 11) / 9007199254740992.0;
}

quad size_of(quad v) { return v < 0 ? -v : v; }

struct end {
    int kind;  // 0 settled, 1 escaped, 2 the limit
    double x, y;
};

// One sample in quadruple precision: the kernels' loop, the step and the
// stop tests as they are, a settled orbit then stepped on a while further
// so that its point is close to where it settles.
template <class Step>
end iterate(quad a, quad b, int limit, Step step)
{
    for (int n = 0;; n++) {
        quad da, db;
        step(a, b, a * a, b * b, da, db);
        const quad na = a - da, nb = b - db;
        if (!(na * na + nb * nb < escape_bound))
            return {1, 0, 0};
        if (n + 1 >= limit)
            return {2, 0, 0};
        a = na, b = nb;
        if (size_of(da) <= tolerance && size_of(db) <= tolerance) {
            for (int more = 0; more < 2000 && size_of(da) + size_of(db) > 1e-12; more++) {
                step(a, b, a * a, b * b, da, db);
                a -= da, b -= db;
            }
            return {0, double(a), double(b)};
        }
    }
}

bool apart(const end &a, const end &b)
{
    return a.kind != b.kind || (a.kind == 0 && std::hypot(a.x - b.x, a.y - b.y) >= 0.1);
}

// Whether a 24 x 18 grid over the view has neighbours that end apart. In
// the parameter plane the point a basin settles on moves with c, by more
// than 0.1 across some views without a boundary in them, so points are
// held against their neighbours' only.
bool ends_apart(int mode, double cx, double cy, double mx, double my, double half, int limit)
{
    std::vector<end> grid;
    for (int j = 0; j < 18; j++)
        for (int i = 0; i < 24; i++) {
            const quad x = quad(mx) + quad(half) * (2 * i - 23) / 23, y = quad(my) + quad(half) * 0.75 * (2 * j - 17) / 17;
            if (mode == 0) {
                const mandel_terms<quad> t = mandel_terms_of(x, y);
                grid.push_back(iterate(0, 0, limit, [&](quad a, quad b, quad a2, quad b2, quad &da, quad &db) {
                    mandel_correction(t, a, b, a2, b2, da, db);
                }));
            } else {
                const julia_terms<quad> t = julia_terms_of(quad(cx), quad(cy));
                grid.push_back(iterate(x, y, limit, [&](quad a, quad b, quad a2, quad b2, quad &da, quad &db) {
                    julia_correction(t, a, b, a2, b2, da, db);
                }));
            }
        }
    for (int j = 0; j < 18; j++)
        for (int i = 0; i < 24; i++)
            if ((i + 1 < 24 && apart(grid[j * 24 + i], grid[j * 24 + i + 1])) ||
                (j + 1 < 18 && apart(grid[j * 24 + i], grid[(j + 1) * 24 + i])))
                return true;
    return false;
}

int views(std::uint64_t seed, int count)
{
    state = seed;
    for (int found = 0; found < count;) {
        const int mode = found % 2 == 0 ? 0 : 2;
        const double cx = uniform(-3, 3), cy = uniform(-2.25, 2.25);
        const double mx = mode == 0 ? cx : uniform(-3, 3), my = mode == 0 ? cy : uniform(-2.25, 2.25);
        const double half = std::pow(10.0, uniform(-5, -1));
        const int limit = 100 + int(next() % 901);
        if (!ends_apart(mode, cx, cy, mx, my, half, limit))
            continue;
        std::printf("%d %.17g %.17g %.17g %.17g %.17g %.17g %d\n", mode, cx, cy, mx + half, mx - half,
                    my + 0.75 * half, my - 0.75 * half, limit);
        found++;
    }
    return 0;
}

// Every pixel but those of the logo's corner, the lower-left 124 x 21.
int colours(const char *path)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return std::fprintf(stderr, "dives: cannot read %s\n", path), 1;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr))
        return std::fprintf(stderr, "dives: cannot read %s\n", path), 1;
    std::vector<std::uint32_t> seen;
    const int w = int(image.width), h = int(image.height);
    for (int row = 0; row < h; row++)
        for (int col = 0; col < w; col++)
            if (!(row >= h - 21 && col < 124)) {
                const png_byte *p = &rgb[(std::size_t(row) * w + col) * 3];
                seen.push_back(p[0] << 16 | p[1] << 8 | p[2]);
            }
    std::sort(seen.begin(), seen.end());
    int distinct = 0;
    std::size_t most = 0;
    for (std::size_t i = 0, j; i < seen.size(); i = j) {
        for (j = i; j < seen.size() && seen[j] == seen[i]; j++) {
        }
        distinct++;
        most = std::max(most, j - i);
    }
    std::printf("%d %.4f\n", distinct, double(most) / double(seen.size()));
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::string(argv[1]) == "views")
        return views(std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]));
    if (argc == 3 && std::string(argv[1]) == "colours")
        return colours(argv[2]);
    std::fprintf(stderr, "usage: dives views SEED COUNT | dives colours FILE\n");
    return 2;
}
