// kernels_test.cpp -- one-step values, step counting and the debug line of both kernels
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/palette.h"
#include "engine/kernels.h"
#include "engine/reference.h"
#include "tests/quad_reference.h"
#include "tests/saver.h"
#include "view/viewstate.h"

// With a limit of 1 the orbit stops after its first step, so the last
// iterate is the first step's value.
TEST(Kernels, OneStepMatchesTheWorkedValues)
{
    orbit o = mandel_orbit(0, 0, 0, 0, 1);
    EXPECT_EQ(o.x, -0.25);
    EXPECT_EQ(o.y, 0.0);
    o = mandel_orbit(0.5, 0.5, 0, 0, 1);
    EXPECT_NEAR(o.x, 4.0 / 17, 1e-15);
    EXPECT_NEAR(o.y, -1.0 / 17, 1e-15);
    o = mandel_orbit(0, 1, 0, 0, 1);  // N is 0 at c = i
    EXPECT_EQ(o.x, 0.0);
    EXPECT_EQ(o.y, 0.0);
    o = julia_orbit(2, 0, 0, 0, 1);
    EXPECT_NEAR(o.x, 16.0 / 11, 1e-15);
    EXPECT_EQ(o.y, 0.0);
}

// The polynomials of the parameter plane are fixed term by term; a point
// off both axes, with z0 off the axes too, checks every term against a
// direct evaluation of the four written-out polynomials.
TEST(Kernels, ParameterPlaneStepIsTheTermByTermDefinition)
{
    const double a = 0.3, b = -0.7, x = 1.1, y = 0.4;
    double da, db;
    parameter_step_by_terms(x, y, a, b, da, db);
    orbit o = mandel_orbit(x, y, a, b, 1);
    EXPECT_NEAR(o.x, a - da, 1e-13);
    EXPECT_NEAR(o.y, b - db, 1e-13);
}

TEST(Kernels, EscapeIsNotCountedConvergenceIsAndTheLimitWins)
{
    state_saver saver;
    // c = 1, z0 = 0: f'(0) = 0, the first step divides by zero and escapes.
    EXPECT_EQ(julia_orbit(0, 0, 1, 0, 50).n, 0);
    EXPECT_EQ(julia_point(0, 0, 1, 0, 50), mycoltab[50]);
    EXPECT_EQ(julia_point(0, 0, 1, 0, 256), mycoltab[0]);
    EXPECT_EQ(julia_point(0, 0, 1, 0, 0), 0u);  // n = 0 = maxiter: black
    // z0 = 1 is a root of every f_c: converged at the first step, counted.
    for (int m = 2; m <= 256; m++)
        EXPECT_EQ(julia_point(1, 0, 0.3, -0.2, m), mycoltab[(m - 1) & 0xff]) << m;
    // With c = -2 the derivative vanishes at the root too: escaped.
    EXPECT_EQ(julia_orbit(1, 0, -2, 0, 50).n, 0);
    // c = 0, z0 = 2 reaches 1 and converges at the fifth step.
    EXPECT_EQ(julia_orbit(2, 0, 0, 0, 50).n, 5);
    EXPECT_EQ(julia_point(2, 0, 0, 0, 50), mycoltab[45]);
    // The same orbit with the limit at its converging step: the limit decides.
    EXPECT_EQ(julia_point(2, 0, 0, 0, 5), 0u);
    // c = i, z0 = 0: N = 0, converged at once.
    EXPECT_EQ(mandel_orbit(0, 1, 0, 0, 50).n, 1);
}

// The escape bound 1000000 and the tolerance 0.001, held exactly: z0 is
// narrowed down to two neighbouring doubles between which the first step
// crosses the bound (or the tolerance) by the test's own comparison, and the
// count must change exactly there. In the dynamic plane of c = 0 the first
// step from a real z0 just above 1/sqrt(3) lands near 1000, and from
// z0 = 1 + h it moves by about h.
TEST(Kernels, EscapeBoundAndToleranceDecideBetweenNeighbouringStartValues)
{
    state_saver saver;
    const auto crossing = [](double inside, double outside, auto holds) {
        while (std::nextafter(inside, outside) != outside) {
            const double mid = inside + (outside - inside) / 2;
            (holds(mid) ? inside : outside) = mid;
        }
        return std::pair{inside, outside};
    };
    const auto first_step = [](double x) { return julia_orbit(x, 0, 0, 0, 1); };

    const auto [stays, escapes] = crossing(0.578, 0.5774, [&](double x) {
        const orbit o = first_step(x);
        return o.x * o.x + o.y * o.y < 1000000.0;
    });
    EXPECT_NEAR(first_step(stays).x, 1000, 1e-6);
    EXPECT_GE(julia_orbit(stays, 0, 0, 0, 50).n, 1);
    EXPECT_EQ(julia_orbit(escapes, 0, 0, 0, 50).n, 0);

    const auto [settles, moves_on] = crossing(1.001, 1.0011, [&](double x) {
        const orbit o = first_step(x);
        return std::fabs(o.x - x) <= 0.001 && std::fabs(o.y) <= 0.001;
    });
    EXPECT_EQ(julia_orbit(settles, 0, 0, 0, 50).n, 1);
    EXPECT_EQ(julia_orbit(moves_on, 0, 0, 0, 50).n, 2);
}

TEST(Kernels, LimitsOfZeroAndOneAndNegative)
{
    state_saver saver;
    // Not escaping at the first step, a limit of 1 gives black...
    EXPECT_EQ(mandel_point(0, 0, 0, 0, 1), 0u);
    // ...and a limit of 0 stops at n = 1, the palette's last entry.
    EXPECT_EQ(mandel_point(0, 0, 0, 0, 0), mycoltab[255]);
    EXPECT_EQ(mandel_point(0, 0, 0, 0, -5), mycoltab[(-6) & 0xff]);
    // An escape at the first step with a limit of 1 gets entry 1.
    EXPECT_EQ(julia_point(0, 0, 1, 0, 1), mycoltab[1]);
    // The extreme limit forms its index without overflow.
    EXPECT_EQ(mandel_point(0, 0, 0, 0, INT32_MIN), mycoltab[(0u - 0x80000000u - 1u) & 0xff]);
}

TEST(Kernels, CountsSamplesAndComputedSteps)
{
    state_saver saver;
    kernel_samples = kernel_steps = 0;
    julia_point(0, 0, 1, 0, 50);  // one step, escaped
    julia_point(2, 0, 0, 0, 50);  // five steps, converged
    EXPECT_EQ(kernel_samples, 2);
    EXPECT_EQ(kernel_steps, 6);
}

TEST(Kernels, DebugLineOncePerParameterPlaneSampleNeverInTheDynamicPlane)
{
    state_saver saver;
    blub = 1;
    testing::internal::CaptureStdout();
    mandel_point(0, 0, 0, 0, 1);     // stopped by the limit
    mandel_point(0, 1, 0, 0, 50);    // converged
    mandel_point(2, 0, 0, 0, 50);    // D = 0: escaped at once
    julia_point(2, 0, 0, 0, 50);
    std::string out = testing::internal::GetCapturedStdout();
    orbit escaped = mandel_orbit(2, 0, 0, 0, 50);
    EXPECT_EQ(escaped.n, 0);
    char last[64];
    std::snprintf(last, sizeof last, "%g %g\n", escaped.x, escaped.y);
    EXPECT_EQ(out, std::string("-0.25 0\n0 0\n") + last);

    blub = 0;
    testing::internal::CaptureStdout();
    mandel_point(0, 0, 0, 0, 50);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

// Views 1e-16, 1e-21 and 1e-26 of the default width on a boundary between
// basins, in both planes: on a grid of 96 x 72 samples the double-double
// kernels count as the quadruple-precision reference does in at least 99 %
// of the samples (orbits on the boundary itself are chaotic, and may part
// at any last bit), and perturbation from the view's reference orbit,
// going on in double-double where it must, in at least 98 %, finishing at
// least 99 % of the samples itself. Doubles cannot even place those
// samples: at most a few distinct positions in a row of 96, so their
// picture is blocks.
TEST(Kernels, DeepViewsAgreeWithQuadruplePrecision)
{
    constexpr int columns = 96, rows = 72, limit = 200;
    const quad cr = 0.3, ci = -0.2;  // the dynamic plane's c
    for (bool dynamic : {false, true}) {
        quad bx = 0, by = 0;
        ASSERT_TRUE(quad_boundary_point(dynamic, cr, ci, dynamic ? 0.37 : 0.31, bx, by)) << "no boundary along the row";
        const dd<double> c = {double(cr), 0.0}, ci_dd = {double(ci), 0.0};
        for (double fraction : {1e-16, 1e-21, 1e-26}) {
            const double step = 6 * fraction / columns;
            const dd<double> ox = {double(bx), double(bx - quad(double(bx)))};
            const dd<double> oy = {double(by), double(by - quad(double(by)))};
            const reference_orbit &reference =
                reference_for({dynamic, ox, oy, columns / 2 * step, rows / 2 * step, dynamic ? c : dd<double>{},
                               dynamic ? ci_dd : dd<double>{}, limit});
            int agree = 0, perturbed_agree = 0, lost = 0, distinct_positions = 0;
            std::set<int> counts;
            for (int j = 0; j < rows; j++) {
                double previous = 0;
                for (int i = 0; i < columns; i++) {
                    const double offset_x = (i - columns / 2) * step, offset_y = (j - rows / 2) * step;
                    const dd<double> px = dd_add(ox, offset_x), py = dd_add(oy, offset_y);
                    const quad qx = quad(px.hi) + px.lo, qy = quad(py.hi) + py.lo;
                    const quad_end want = quad_orbit(dynamic, qx, qy, cr, ci, limit);
                    const orbit got = dynamic ? julia_orbit_dd(px, py, c, ci_dd, limit)
                                              : mandel_orbit_dd(px, py, 0, 0, limit);
                    agree += got.n == want.n;
                    const orbit perturbed = perturbed_orbit(reference, offset_x, offset_y, limit);
                    lost += perturbed.n < 0;
                    perturbed_agree += (perturbed.n < 0 ? got.n : perturbed.n) == want.n;
                    counts.insert(want.n);
                    const double as_double = double(qx);
                    distinct_positions += j == 0 && (i == 0 || as_double != previous);
                    previous = as_double;
                }
            }
            SCOPED_TRACE(std::string(dynamic ? "dynamic" : "parameter") + " plane, view " +
                         std::to_string(fraction) + " of the default width");
            EXPECT_GE(counts.size(), 8u) << "the view shows too little to compare";
            EXPECT_GE(agree, columns * rows * 99 / 100);
            EXPECT_GE(perturbed_agree, columns * rows * 98 / 100);
            EXPECT_LE(lost, columns * rows / 100);
            EXPECT_LE(distinct_positions, columns / 8);
        }
    }
}

// The reference orbit of a view is a function of the view alone: kept from
// frame to frame, as the explorer keeps it, through a zoom whose limit
// grows past the steps where the lattice's first points escape (its
// spacing changing every few steps), small pans and the zoom back out,
// it is to the bit the one a fresh start finds for that view, as
// rootzoom-render finds it.
TEST(Kernels, ReferenceKeptFromFrameToFrameIsTheOneFoundAfresh)
{
    reference_view v = {false, {1.1, 0}, {-1.53, 0}, 1e-18, 0.75e-18, {}, {}, 500};
    const reference_view elsewhere = {true, {5, 0}, {5, 0}, 1, 1, {}, {}, 1};
    const auto same = [](const std::vector<double> &a, const std::vector<double> &b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
    };
    std::set<int> candidates;
    for (int frame = 0; frame < 90; frame++) {
        if (frame < 40) {
            v.half_x *= 0.9, v.half_y *= 0.9, v.maxiter = int(v.maxiter * 1.02);
        } else if (frame < 50) {
            v.centre_x = dd_add(v.centre_x, 0.03 * v.half_x), v.centre_y = dd_add(v.centre_y, -0.02 * v.half_y);
        } else {
            v.half_x /= 0.9, v.half_y /= 0.9, v.maxiter = int(v.maxiter / 1.02);
        }
        const reference_orbit kept = reference_for(v);
        reference_for(elsewhere);
        const reference_orbit &fresh = reference_for(v);
        SCOPED_TRACE("frame " + std::to_string(frame));
        candidates.insert(fresh.candidate);
        EXPECT_EQ(kept.candidate, fresh.candidate);
        EXPECT_EQ(kept.length, fresh.length);
        EXPECT_EQ(kept.settled, fresh.settled);
        EXPECT_TRUE(same({kept.offset_x, kept.offset_y}, {fresh.offset_x, fresh.offset_y}));
        EXPECT_TRUE(same(kept.x, fresh.x) && same(kept.y, fresh.y));
    }
    EXPECT_GE(candidates.size(), 3u) << "the zoom never moved the reference to another point of the lattice";
}
