// render_tool_test.cpp -- the built rootzoom-render, its PNG and its error exits
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/frame.h"
#include "tests/saver.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace fs = std::filesystem;

namespace {

struct run_result {
    int status;
    std::string out, err;
};

std::string slurp(const fs::path &p)
{
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

class RenderTool : public testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("rz-tool-" + std::to_string(getpid()) + "-" +
                                                testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    run_result run(const std::string &args)
    {
        std::string cmd = std::string(RENDER_TOOL) + " " + args + " >" + (dir / "out").string() + " 2>" +
                          (dir / "err").string();
        int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir / "out"), slurp(dir / "err")};
    }
};

struct picture {
    unsigned width = 0, height = 0;
    std::vector<png_byte> rgb;
    const png_byte *at(int column, int buffer_row) const  // buffer row 0 is the image's last row
    {
        return &rgb[((height - 1 - buffer_row) * width + column) * 3];
    }
};

picture read_png(const fs::path &p)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    picture pic;
    if (!png_image_begin_read_from_file(&image, p.c_str()))
        return pic;
    image.format = PNG_FORMAT_RGB;
    pic.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) {
        pic.width = image.width;
        pic.height = image.height;
    }
    return pic;
}

// The explorer's first picture of the current view, rendered in process.
void first_display_in_process()
{
    anz = 1;
    setsize(1024);
    highq = 1;
    create_logo();
    render_frame(describe_frame());
    render_frame(describe_frame());
}

// Every pixel as the window shows it: the frame, pure blue where the logo
// is opaque, the frame again where it is transparent.
void expect_window_picture(const picture &pic)
{
    ASSERT_EQ(pic.width, 1024u);
    ASSERT_EQ(pic.height, 768u);
    int blue = 0;
    for (int row = 0; row < 768; row++)
        for (int col = 0; col < 1024; col++) {
            std::uint32_t want = pixel(col, row);
            if (col < 124 && row < 21 && snap_long[row * 124 + col] != 0)  // the logo's 124 x 21
                want = 0x00FF0000, blue++;
            const png_byte *got = pic.at(col, row);
            ASSERT_EQ(got[0] | got[1] << 8 | got[2] << 16, want & 0xFFFFFF) << col << "," << row;
        }
    EXPECT_GT(blue, 1000);
}

// The tool run with a new terminal as its standard input, output and error,
// as from an interactive shell.
class on_terminal {
public:
    explicit on_terminal(std::vector<std::string> args)
    {
        args.insert(args.begin(), RENDER_TOOL);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        child = forkpty(&terminal, nullptr, nullptr, nullptr);
        if (child == 0) {
            execv(RENDER_TOOL, argv.data());
            _exit(127);
        }
    }

    // Keeps reading what the tool shows, so that it never waits on a full
    // terminal, until done() is true or the tool has closed the terminal.
    template <class Done>
    void read_until(Done done)
    {
        char chunk[4096];
        while (!done()) {
            pollfd p = {terminal, POLLIN, 0};
            if (poll(&p, 1, 10) == 1) {
                const ssize_t n = read(terminal, chunk, sizeof chunk);
                if (n <= 0)
                    return;  // EIO: the tool has ended
                shown.append(chunk, n);
            }
        }
    }

    // Everything the tool shows until it ends, and its exit status.
    int finish()
    {
        read_until([] { return false; });
        close(terminal);
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    pid_t child = -1;
    int terminal = -1;
    std::string shown;
};

}  // namespace

TEST_F(RenderTool, DefaultPictureIsTheExplorersFirstPicture)
{
    run_result r = run("-o " + (dir / "a.png").string());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out + r.err, "");
    state_saver saver;
    resetkoords(1);
    first_display_in_process();
    expect_window_picture(read_png(dir / "a.png"));
}

TEST_F(RenderTool, FiveNumbersModeAndStartValueSetTheView)
{
    run_result r = run("--mode 2 --c 0.25,-0.5 --z0 0.1,0.2 --stats -o " + (dir / "b.png").string() +
                       " -1 -2 0.5 -0.25 60.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("second render: "), std::string::npos) << r.err;
    state_saver saver;
    setkoords(-2, -1, -0.25, 0.5, 60.5, 1);
    xmit = 0.25, ymit = -0.5;
    ZX = 0.1, ZY = 0.2;
    do_julia = 2;
    first_display_in_process();
    expect_window_picture(read_png(dir / "b.png"));
}

TEST_F(RenderTool, CoarseAndNoLogo)
{
    ASSERT_EQ(run("--coarse --no-logo --width 800 -o " + (dir / "c.png").string()).status, 0);
    picture pic = read_png(dir / "c.png");
    ASSERT_EQ(pic.width, 1024u);
    const png_byte *corner = pic.at(0, 0), *inside = pic.at(112, 84);
    EXPECT_EQ(corner[0] + corner[1] + corner[2], 0);  // border, no logo over it
    for (int k = 1; k < 16; k++) {                     // one colour per 4x4 block
        const png_byte *p = pic.at(112 + k % 4, 84 + k / 4);
        EXPECT_TRUE(p[0] == inside[0] && p[1] == inside[1] && p[2] == inside[2]) << k;
    }
}

TEST_F(RenderTool, BadArgumentsExitTwoWithTheUsage)
{
    for (const char *args : {"--bogus", "--mode 3", "--mode", "--c 1", "--c 1,x", "--width 2000", "1 2 3",
                             "1 2 3 4 5 6", "1 2 3 4 x", "-o ''", "-o out.jpg", "-o png", "-o x.png.gz", "--threads 0",
                             "--threads 257", "--threads -1", "--threads 2.5", "--threads"}) {
        run_result r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("Usage: rootzoom-render"), std::string::npos) << args << ": " << r.err;
    }
    run_result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--no-logo"), std::string::npos);
}

TEST_F(RenderTool, UnwritableOutputExitsOneAndLeavesNoFile)
{
    run_result r = run("-o " + (dir / "missing" / "x.png").string());
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    r = run("-o " + (dir / "ro" / "x.png").string());
    if (getuid() != 0) {  // root writes anywhere
        EXPECT_EQ(r.status, 1);
    }
    // A folder in the output's place: the write fails at the rename.
    fs::create_directories(dir / "taken.png");
    r = run("-o " + (dir / "taken.png").string());
    EXPECT_EQ(r.status, 1);
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    fs::permissions(dir / "ro", fs::perms::owner_all);
}

// On a terminal a single frame shows a progress line, rewritten in place and
// ended by its last state: the second render's last pass with all its block
// rows done (768 rows: 384 rows of 2 x 2 blocks; 600 rows: 150 rows of
// 4 x 4 blocks). The picture is the same as without a terminal, where
// nothing is printed. Ctrl-C while the line is drawn still removes the file.
TEST_F(RenderTool, ProgressLineOnATerminalOnly)
{
    const std::string plain = (dir / "plain.png").string(), shown = (dir / "shown.png").string();
    ASSERT_EQ(run("-o " + plain).err, "");
    on_terminal refined({"-o", shown});
    ASSERT_EQ(refined.finish(), 0) << refined.shown;
    EXPECT_NE(refined.shown.find("\rrootzoom-render: second render, 1x1 pass, 384 of 384 block rows, "),
              std::string::npos)
        << refined.shown;
    EXPECT_TRUE(refined.shown.ends_with(" elapsed\033[K\r\n")) << refined.shown;
    EXPECT_EQ(slurp(shown), slurp(plain));

    on_terminal coarse({"--coarse", "--width", "800", "-o", shown});
    ASSERT_EQ(coarse.finish(), 0);
    EXPECT_NE(coarse.shown.find("second render, coarse pass, 150 of 150 block rows"), std::string::npos)
        << coarse.shown;
    on_terminal tiles({"--coarse", "--scale", "2", "-o", shown});
    ASSERT_EQ(tiles.finish(), 0);
    EXPECT_NE(tiles.shown.find("tile 4 of 4, second render, coarse pass, 192 of 192 block rows"), std::string::npos)
        << tiles.shown;

    fs::remove(shown);
    on_terminal interrupted({"--scale", "16", "-o", shown});
    interrupted.read_until([&] { return interrupted.shown.find(" elapsed") != std::string::npos; });
    kill(interrupted.child, SIGINT);
    EXPECT_EQ(interrupted.finish(), 130) << interrupted.shown;
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind("shown.png", 0), std::string::npos) << entry.path();
}
