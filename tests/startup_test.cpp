// startup_test.cpp -- the command line, the usage line and the start-up sequence
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/cmdline.h"
#include "app/glnull.h"
#include "app/logo.h"
#include "app/screen.h"
#include "app/startup.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/input.h"
#include "view/viewstate.h"

TEST(CommandLine, UsageNameFollowsTheBackslashAndDotRules)
{
    EXPECT_EQ(usage_name("D:\\tools\\viewer.exe"), "viewer");
    EXPECT_EQ(usage_name("viewer.bin"), "viewer");
    EXPECT_EQ(usage_name("/usr/local/bin/viewer"), "/usr/local/bin/viewer");
    EXPECT_EQ(usage_name("D:\\a.b\\viewer"), "viewer");
    EXPECT_EQ(usage_name("./viewer"), "");
    EXPECT_EQ(usage_name("rootzoom"), "rootzoom");
    EXPECT_EQ(usage_name(""), "");
}

TEST(CommandLine, UsageLineText)
{
    char buf[256] = {};
    std::FILE *f = fmemopen(buf, sizeof buf - 1, "w");
    print_usage(f, "./rootzoom");
    std::fclose(f);
    EXPECT_STREQ(buf, "Usage:  [xmax xmin ymax ymin maxiter]\n");
}

TEST(CommandLine, ReadsWholeNumbersOnly)
{
    double v = 0;
    EXPECT_TRUE(read_number("-2.5e3", &v));
    EXPECT_EQ(v, -2500.0);
    EXPECT_TRUE(read_number("inf", &v));
    EXPECT_TRUE(std::isinf(v));
    EXPECT_TRUE(read_number("nan", &v));
    EXPECT_TRUE(read_number("0x10", &v));
    EXPECT_EQ(v, 16.0);
    for (const char *bad : {"abc", "1,5", "2x", "", "5 ", "--"})
        EXPECT_FALSE(read_number(bad, &v)) << "'" << bad << "'";
}

static void start(std::vector<const char *> args)
{
    args.push_back(nullptr);
    startup(int(args.size()) - 1, const_cast<char **>(args.data()));
}

TEST(StartupDeathTest, WrongArgumentCountsPrintTheUsageAndExitZero)
{
    for (int count : {2, 3, 4, 5, 7}) {
        std::vector<const char *> args(count, "1");
        args[0] = "rootzoom";
        EXPECT_EXIT(start(args), testing::ExitedWithCode(0), "") << count - 1 << " arguments";
    }
    EXPECT_EXIT(startup(0, nullptr), testing::ExitedWithCode(0), "");
}

TEST(StartupDeathTest, NotANumberIsRefusedBeforeAnyWindow)
{
    EXPECT_EXIT(start({"rootzoom", "1", "2", "3", "x", "5"}), testing::ExitedWithCode(2),
                "rootzoom: not a number: 'x'\nUsage: rootzoom \\[xmax xmin ymax ymin maxiter\\]");
    EXPECT_EXIT(start({"rootzoom", "1", "2", "", "4", "5"}), testing::ExitedWithCode(2), "not a number: ''");
    EXPECT_EXIT(start({"rootzoom", "-display", ":0", "1", "2", "3"}), testing::ExitedWithCode(2),
                "not a number: '-display'");
}

TEST(Startup, OpensTheWindowInItsFixedOrder)
{
    state_saver saver;
    start({"rootzoom"});
    const std::vector<std::string> want = {
        "glutInitWindowSize", "glutInitWindowPosition", "glutInit",     "glutInitDisplayMode",
        "glutCreateWindow",   "glutDisplayFunc",        "glutKeyboardFunc", "glutMouseFunc",
        "glutMotionFunc",     "glutIdleFunc",           "glutMainLoop",
    };
    ASSERT_EQ(gl_call_names(), want);
    EXPECT_EQ(gl_calls[0].args, (std::vector<long>{1024, 768}));
    EXPECT_EQ(gl_calls[1].args, (std::vector<long>{0, 0}));
    EXPECT_EQ(gl_calls[2].args, (std::vector<long>{1}));
    EXPECT_EQ(gl_calls[3].args, (std::vector<long>{2}));  // GLUT_DOUBLE | GLUT_RGB
    EXPECT_EQ(gl_calls[4].text, "rootzoom");
    EXPECT_EQ(gl_calls[5].ptr, reinterpret_cast<const void *>(&paint_mandel));
    EXPECT_EQ(gl_calls[6].ptr, reinterpret_cast<const void *>(&key));
    EXPECT_EQ(gl_calls[7].ptr, reinterpret_cast<const void *>(&mouse));
    EXPECT_EQ(gl_calls[8].ptr, reinterpret_cast<const void *>(&mouseMotion));
    EXPECT_EQ(gl_calls[9].ptr, reinterpret_cast<const void *>(&idle));
}

TEST(Startup, DefaultViewViewportAndFlags)
{
    state_saver saver;
    ZX = 3, ZY = 4;
    start({"rootzoom"});
    EXPECT_EQ(anz, 1);
    EXPECT_EQ(xmit + ymit + jxmit + jymit, 0.0);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(xstep), 0xC008000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(jxstep), 0xC008000000000000u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(ystep), 0xC002000000000001u);  // -2.2500000000000004
    EXPECT_EQ(std::bit_cast<std::uint64_t>(jystep), 0xC002000000000001u);
    EXPECT_EQ(maxit, 50.0);
    EXPECT_EQ(jmaxit, 50.0);
    EXPECT_EQ(ZX, 0.0);
    EXPECT_EQ(ZY, 0.0);
    EXPECT_EQ(XPTS, 1024);
    EXPECT_EQ(YPTS, 768);
    EXPECT_EQ(LOX, 0);
    EXPECT_EQ(LOY, 0);
    EXPECT_EQ(highq, 1);
    EXPECT_EQ(calc, 1);
    EXPECT_EQ(firsttime, 1);
    EXPECT_EQ(do_julia + buttons + moved + post_calc + no_firstpass + blub, 0);
    for (int i = 0; i < 793616; i++)  // 3174464 bytes
        ASSERT_EQ(screen[i], 0u) << "pixel " << i << " of a new frame buffer";
}

TEST(Startup, FiveNumbersSetBothViews)
{
    state_saver saver;
    start({"rootzoom", "3", "-3", "2.25", "-2.25", "80.7"});
    EXPECT_EQ(xmit, 0.0);
    EXPECT_EQ(ymit, 0.0);
    EXPECT_EQ(xstep, -3.0);
    EXPECT_EQ(ystep, -2.25);
    EXPECT_EQ(maxit, 80.7);
    EXPECT_EQ(jxstep, -3.0);
    EXPECT_EQ(jystep, -2.25);
    EXPECT_EQ(jmaxit, 80.7);

    std::free(screen);  // each start-up allocates its own
    std::free(snap_long);
    start({"rootzoom", "1", "0", "4", "2", "9"});
    EXPECT_EQ(xmit, 0.5);
    EXPECT_EQ(ymit, 3.0);
    EXPECT_EQ(xstep, -0.5);
    EXPECT_EQ(ystep, -1.0);
    EXPECT_EQ(jxmit, 0.5);
}
