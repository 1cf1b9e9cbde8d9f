// render_tool_test.cpp -- the built rootzoom-render, its PNG and its error exits
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/frame.h"
#include "tests/saver.h"
#include "tools/progress.h"
#include "tools/viewtag.h"
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

std::vector<std::string> names_in(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// Every file of a folder and its bytes.
std::vector<std::pair<std::string, std::string>> folder_bytes(const fs::path &folder)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const std::string &name : names_in(folder))
        files.push_back({name, slurp(folder / name)});
    return files;
}

std::string frame_name(int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", n);
    return name;
}

class RenderTool : public testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("rz-tool-" + std::to_string(getpid()) + "-" +
                                                testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // before goes in front of the tool on its command line: a bound on a
    // run that might wait forever, say.
    run_result run(const std::string &args, const std::string &before = "")
    {
        std::string cmd = before + RENDER_TOOL + " " + args + " >" + (dir / "out").string() + " 2>" +
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
void first_display_in_process(double width = 1024)
{
    anz = 1;
    setsize(width);
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
// as from an interactive shell; with threads_fail, under limits that let no
// thread start (each thread's stack would be larger than all the memory the
// process may map). Where no pseudo-terminal can be made, started() is
// false and nothing runs.
class on_terminal {
public:
    explicit on_terminal(std::vector<std::string> args, bool threads_fail = false, unsigned short columns = 0)
    {
        args.insert(args.begin(), RENDER_TOOL);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        winsize size = {};
        size.ws_col = columns, size.ws_row = 24;
        child = forkpty(&terminal, nullptr, nullptr, columns ? &size : nullptr);
        if (child == 0) {
            if (threads_fail) {
                const rlimit stack = {1ul << 30, 1ul << 30}, memory = {1ul << 29, 1ul << 29};
                setrlimit(RLIMIT_STACK, &stack);
                setrlimit(RLIMIT_AS, &memory);
            }
            execv(RENDER_TOOL, argv.data());
            _exit(127);
        }
        if (child < 0)
            why = std::strerror(errno);
    }

    bool started() const { return child > 0; }

    void interrupt(int sig = SIGINT)
    {
        if (started())
            kill(child, sig);
    }

    // Keeps reading what the tool shows, so that it never waits on a full
    // terminal, until done() is true or the tool has closed the terminal.
    template <class Done>
    void read_until(Done done)
    {
        char chunk[4096];
        while (started() && !done()) {
            pollfd p = {terminal, POLLIN, 0};
            if (poll(&p, 1, 10) == 1) {
                const ssize_t n = read(terminal, chunk, sizeof chunk);
                if (n <= 0)
                    return;  // EIO: the tool has ended
                shown.append(chunk, n);
            }
        }
    }

    // Everything the tool shows until it ends, and its exit status, or minus
    // the signal it died by.
    int finish()
    {
        if (!started())
            return -1;
        read_until([] { return false; });
        close(terminal);
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? -WTERMSIG(status) : -1000;
    }

    pid_t child = -1;
    int terminal = -1;
    std::string shown, why;
};

// Skips a test whose terminal could not be made (a chroot without /dev/pts).
#define NEED_TERMINAL(t) \
    if (!(t).started())  \
    GTEST_SKIP() << "no pseudo-terminal can be made here: " << (t).why

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

// The explorer's palette as a .map file, by its name and as a file, also
// with Windows line ends, tabs and no title, makes the very file the
// default does. A palette of three colours cycles: each pixel is colour
// (limit - count) mod 3, the count read off a picture of every pixel in a
// palette that writes it into red. Files that are no palette are refused, naming the
// line, and nothing is waited on or read without bound.
TEST_F(RenderTool, PalettesFromFilesAndByName)
{
    const std::string wave = " 1.4 0.6 0.6 0 60";
    ASSERT_EQ(run("-o " + (dir / "default.png").string() + wave).status, 0);
    std::string lines = slurp(ROOTZOOM_SOURCE_DIR "/palettes/explorer.map"), bare;
    for (std::size_t at = 0, end; (end = lines.find('\n', at)) != std::string::npos; at = end + 1) {
        std::istringstream line(lines.substr(at, end - at));
        int r, g, b;
        line >> r >> g >> b;
        bare += std::to_string(r) + "\t" + std::to_string(g) + " " + std::to_string(b) + "\r\n";
    }
    std::ofstream(dir / "bare.map") << bare << "\n  \n";
    for (const std::string &palette :
         {std::string("explorer"), std::string(ROOTZOOM_SOURCE_DIR "/palettes/explorer.map"), (dir / "bare.map").string()}) {
        const run_result r = run("--palette " + palette + " -o " + (dir / "same.png").string() + wave);
        ASSERT_EQ(r.status, 0) << palette << ": " << r.err;
        EXPECT_EQ(slurp(dir / "same.png"), slurp(dir / "default.png")) << palette;
    }

    std::ofstream index(dir / "index.map");
    for (int i = 0; i < 256; i++)
        index << i << " " << 255 - i << " 77\n";
    index.close();
    std::ofstream(dir / "three.map") << "255 0 0 red\n0 255 0\n  0   0 255 blue\n";
    // Every pixel computed: in the explorer's frames, the refinement would
    // follow the colours, which the palettes give differently.
    const std::string each = " --no-logo --size 640x480 --palette ";
    ASSERT_EQ(run(each + (dir / "index.map").string() + " -o " + (dir / "index.png").string() + wave).status, 0);
    ASSERT_EQ(run(each + (dir / "three.map").string() + " -o " + (dir / "three.png").string() + wave).status, 0);
    const picture counts = read_png(dir / "index.png"), three = read_png(dir / "three.png");
    ASSERT_EQ(three.rgb.size(), counts.rgb.size());
    int wrong = 0, black = 0;
    for (std::size_t p = 0; p < counts.rgb.size(); p += 3) {
        const bool limit = counts.rgb[p] == 0 && counts.rgb[p + 1] == 0;
        black += limit;
        const int entry = counts.rgb[p] % 3;
        for (int c = 0; c < 3; c++)
            wrong += three.rgb[p + c] != (limit ? 0 : c == entry ? 255 : 0);
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(black, 1000);

    const std::string long_line(2000, '7');
    std::string many;
    for (int i = 0; i < 257; i++)
        many += "1 2 3\n";
    const std::pair<std::string, std::string> bad[] = {
        {"1 2 3\n12 34\n", "line 2, is not three whole numbers"},
        {"256 0 0\n", "line 1, is not three"},
        {"1 2 -3\n", "line 1, is not three"},
        {"1,2,3\n", "line 1, is not three"},
        {"1 2 3\n\n4 5 6\n", "line 2, is blank"},
        {many, "line 257: a palette has at most 256 colours"},
        {"1 2 3 " + long_line + "\n", "line 1, is longer than 1023 bytes"},
        {"", "holds no colour"},
        {"1 2 \x1b[31m\n", "'1 2 \\x1B[31m'"},
        {std::string(300000, ' '), "larger than"},
    };
    mkfifo((dir / "fifo.map").c_str(), 0600);
    fs::create_directory(dir / "folder.map");
    std::vector<std::pair<std::string, std::string>> refused = {
        {"fifo.map", "not a regular file"}, {"folder.map", "not a regular file"}, {"missing.map", "cannot read"},
        {"nosuch", "there is no palette 'nosuch': the palettes are explorer, ocean, rainbow, sunset"}};
    for (std::size_t i = 0; i < std::size(bad); i++) {
        std::ofstream(dir / ("bad" + std::to_string(i) + ".map")) << bad[i].first;
        refused.push_back({"bad" + std::to_string(i) + ".map", bad[i].second});
    }
    for (const auto &[file, said] : refused) {
        const run_result r = run("--palette " + (file == "nosuch" ? file : (dir / file).string()) + " -o " +
                                 (dir / "out.png").string());
        EXPECT_EQ(r.status, 2) << file;
        EXPECT_NE(r.err.find(said), std::string::npos) << file << ": " << r.err;
        EXPECT_EQ(r.err.find('\033'), std::string::npos) << file;
        EXPECT_FALSE(fs::exists(dir / "out.png")) << file;
    }
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

// A refusal is two lines: the reason, and where the options are told; the
// usage itself only on --help. An iteration limit is refused unless it is
// finite and its whole part fits an int.
TEST_F(RenderTool, BadArgumentsExitTwoWithTheReasonAndAPointerToHelp)
{
    for (const char *args : {"--bogus", "--mode 3", "--mode", "--c 1", "--c 1,x", "--c 1e999,0", "--z0 0,nan", "--width 2000", "1 2 3",
                             "1 2 3 4 5 6", "1 2 3 4 x", "-o ''", "-o out.jpg", "-o png", "-o x.png.gz", "--threads 0",
                             "--threads 257", "--threads -1", "--threads 2.5", "--threads", "--scale=17",
                             "--coarse=yes", "--bogus=1", "--help=1", "--supersample 9", "--supersample=0",
                             "--supersample 2 --width 800", "-- --coarse", "--mode 7 --mode 1", "--scale 2 --width 8",
                             "1 -1 1 -1 inf", "1 -1 1 -1 -inf", "1 -1 1 -1 nan", "1 -1 1 -1 1e12", "1 -1 1 -1 2147483648",
                             "1 -1 1 -1 -2147483649", "--zoom-in 2 --frames z -- 1 -1 1 -1 1e300"}) {
        run_result r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("rootzoom-render: ", 0), 0u) << args << ": " << r.err;
        EXPECT_TRUE(r.err.ends_with("\nTry 'rootzoom-render --help' for the options.\n")) << args << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "z"));
    EXPECT_NE(run("1 -1 1 -1 inf").err.find("iteration limit"), std::string::npos);
    run_result help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--no-logo"), std::string::npos);
    EXPECT_NE(help.out.find("Usage: rootzoom-render"), std::string::npos);
    EXPECT_EQ(run("--version").out, "rootzoom-render 0.1\n");
    // "--name=value" is "--name value", and after "--" every argument is a number.
    ASSERT_EQ(run("--mode=1 --c=0.25,-0.5 --width=64 --output=" + (dir / "a.png").string() + " -- -1 -2 0.5 -0.25 60")
                  .status,
              0);
    ASSERT_EQ(run("--mode 1 --c 0.25,-0.5 --width 64 -o " + (dir / "b.png").string() + " -1 -2 0.5 -0.25 60").status,
              0);
    EXPECT_EQ(slurp(dir / "a.png"), slurp(dir / "b.png"));
    // Limits at the ends of the range: a sample stops after its first step.
    const std::string c = (dir / "c.png").string();
    EXPECT_EQ(run("--width 8 -o " + c + " 1 -1 1 -1 -2147483648.9").status, 0);
    EXPECT_EQ(run("--width 8 -o " + c + " 1 -1 1 -1 0.5").status, 0);
}

// An option given twice takes its last value, whichever it is: every one of
// them makes what the last value alone makes (--size and --scale set one
// thing, as do --zoom-in and --zoom-out), and a flag given twice is given.
TEST_F(RenderTool, RepeatedOptionsTakeTheirLastValue)
{
    const fs::path a = dir / "a.png", b = dir / "b.png", z = dir / "z", y = dir / "y";
    const std::string view = " 1.4 0.6 0.6 0 60";
    const struct {
        std::string twice, once;
    } cases[] = {
        {"--mode 2 --mode 1 --width 8", "--mode 1 --width 8"},
        {"--c 1,1 --c 0.9,0.25 --width 8", "--c 0.9,0.25 --width 8"},
        {"--z0 1,1 --z0=0.1,0 --width 8", "--z0 0.1,0 --width 8"},
        {"--half-width 2 --half-width 0.5 --width 8", "--half-width 0.5 --width 8"},
        {"--precision double-double --precision auto --width 8", "--width 8"},
        {"--width 100 --width 8", "--width 8"},
        {"--scale 2 --size 1024x768 --coarse", "--coarse"},
        {"--size 1024x768 --scale 2 --coarse --coarse", "--size 2048x1536 --coarse"},
        {"--supersample 3 --supersample 2 --coarse", "--supersample 2 --coarse"},
        {"--threads 1 --threads 3 --width 8", "--width 8"},
        {"--no-logo --no-logo --width 8", "--no-logo --width 8"},
        {"--size hd --size 64x48 --colouring basin --colouring smooth --palette nosuch --palette ocean",
         "--size 64x48 --colouring smooth --palette ocean"},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(run(c.twice + " -o " + a.string() + view).status, 0) << c.twice;
        ASSERT_EQ(run(c.once + " -o " + b.string() + view).status, 0) << c.once;
        EXPECT_TRUE(slurp(a) == slurp(b)) << c.twice << " is not " << c.once;
    }
    ASSERT_EQ(run("--width 8 -o " + a.string() + " --output " + b.string() + view).status, 0);
    fs::remove(a);
    ASSERT_EQ(run("--width 8 -o " + b.string() + " --output=" + a.string() + view).status, 0);
    EXPECT_TRUE(fs::exists(a) && slurp(a) == slurp(b));
    EXPECT_EQ(run("--width 8 --from " + (dir / "missing.png").string() + " --from " + a.string() + " -o " + b.string())
                  .status,
              0);

    const std::string film = " --width 8 --frames ";
    for (const auto &[twice, once] : {std::pair<std::string, std::string>{"--zoom-in 3 --zoom-out 2", "--zoom-out 2"},
                                      {"--zoom-out 4 --zoom-in 4 --every 4 --every 2", "--zoom-in 4 --every 2"},
                                      {"--zoom-in 4 --part 1/2 --part 2/3 --aim --aim", "--zoom-in 4 --part 2/3 --aim"},
                                      {"--zoom-in 1 --frames " + (dir / "x").string(), "--zoom-in 1"}}) {
        fs::remove_all(z), fs::remove_all(y);
        ASSERT_EQ(run(twice + film + z.string() + view).status, 0) << twice;
        ASSERT_EQ(run(once + film + y.string() + view).status, 0) << once;
        EXPECT_EQ(folder_bytes(z), folder_bytes(y)) << twice << " is not " << once;
    }
    EXPECT_FALSE(fs::exists(dir / "x"));
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
    // A full standard output is an error, not a success.
    ASSERT_EQ(run("--no-logo -o " + (dir / "x.png").string()).status, 0);
    for (const std::string &args : {std::string("--help"), "--args-of " + (dir / "x.png").string()}) {
        const int raw = std::system((RENDER_TOOL " " + args + " >/dev/full 2>" + (dir / "err").string()).c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << args;
        EXPECT_EQ(slurp(dir / "err"), "rootzoom-render: cannot write standard output: No space left on device\n");
    }
    // A full disk is said in one line, the tool's, whoever found it; a link
    // to the device is written through, and the device stays.
    const std::string full = (dir / "full.png").string();
    fs::create_symlink("/dev/full", full);
    r = run("--width 8 -o " + full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "rootzoom-render: cannot write " + full + ": No space left on device\n");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    // A socket can be neither written into nor replaced.
    const std::string socket_path = (dir / "socket.png").string();
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, socket_path.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0) << std::strerror(errno);
    r = run("--width 8 -o " + socket_path);
    close(sock);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write " + socket_path + ": it is a socket"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_socket(socket_path));
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    fs::permissions(dir / "ro", fs::perms::owner_all);
    // A folder in the output's place is refused before anything is
    // rendered: no progress line on a terminal.
    fs::create_directories(dir / "taken.png");
    on_terminal taken({"--scale", "16", "-o", (dir / "taken.png").string()});
    NEED_TERMINAL(taken);
    EXPECT_EQ(taken.finish(), 1);
    EXPECT_NE(taken.shown.find("cannot write " + (dir / "taken.png").string() + ": Is a directory"), std::string::npos)
        << taken.shown;
    EXPECT_EQ(taken.shown.find("block rows"), std::string::npos) << taken.shown;
}

namespace {

// The threads of the process, besides its main thread, whose signal mask
// lets through a signal that can be blocked; and how many threads it has.
std::vector<std::string> threads_taking_signals(pid_t pid, int *count)
{
    std::vector<std::string> open;
    *count = 0;
    std::error_code error;
    for (const auto &task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        ++*count;
        const std::string status = slurp(task.path() / "status"), id = task.path().filename();
        const std::size_t at = status.find("SigBlk:");
        const unsigned long long blocked = at == std::string::npos ? 0 : std::stoull(status.substr(at + 7), nullptr, 16);
        for (int sig = 1; sig < 32; sig++)
            if (id != std::to_string(pid) && sig != SIGKILL && sig != SIGSTOP && !(blocked >> (sig - 1) & 1)) {
                open.push_back(id + " lets signal " + std::to_string(sig) + " through");
                break;
            }
    }
    return open;
}

}  // namespace

// A name as long as the folder allows is written under that name; an
// output that is a symbolic link, relative or absolute, to a picture or to
// a file not yet there, replaces the file the link points to and stays a
// link; a loop of links is refused. A FIFO, directly or through a link, is
// written into and stays a FIFO, its reader getting the picture; "-" is
// standard output.
TEST_F(RenderTool, LongNamesLinksAndStreamsAreWrittenWhereTheyPoint)
{
    const std::string longest = std::string(251, 'n') + ".png";
    ASSERT_EQ(run("--width 8 -o " + (dir / longest).string()).status, 0);
    const std::string picture = slurp(dir / longest);
    EXPECT_EQ(picture.rfind("\x89PNG", 0), 0u);

    fs::create_directories(dir / "pictures");
    std::ofstream(dir / "pictures" / "old.png") << "the old picture";
    fs::create_symlink("pictures/old.png", dir / "relative.png");
    fs::create_symlink(dir / "pictures" / "new.png", dir / "dangling.png");
    fs::create_symlink("loop.png", dir / "loop.png");
    for (const char *link : {"relative.png", "dangling.png"}) {
        const run_result r = run("--width 8 -o " + (dir / link).string());
        ASSERT_EQ(r.status, 0) << link << ": " << r.err;
        EXPECT_TRUE(fs::is_symlink(dir / link)) << link;
    }
    EXPECT_EQ(slurp(dir / "pictures" / "old.png"), picture);
    EXPECT_EQ(slurp(dir / "pictures" / "new.png"), picture);
    const run_result loop = run("--width 8 -o " + (dir / "loop.png").string());
    EXPECT_EQ(loop.status, 1);
    EXPECT_NE(loop.err.find("Too many levels of symbolic links"), std::string::npos) << loop.err;
    EXPECT_EQ(names_in(dir / "pictures"), (std::vector<std::string>{"new.png", "old.png"}));

    const fs::path fifo = dir / "fifo.png";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("fifo.png", dir / "to-fifo.png");
    for (const char *name : {"fifo.png", "to-fifo.png"}) {
        // The test holds both ends, so that the tool's open goes through at
        // once and the picture waits in the pipe for the test to read it.
        const int held = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
        ASSERT_GE(held, 0);
        fcntl(held, F_SETPIPE_SZ, 1 << 20);
        const run_result r = run("--width 8 -o " + (dir / name).string());
        EXPECT_EQ(r.status, 0) << name << ": " << r.err;
        std::string got;
        char chunk[65536];
        for (ssize_t n; (n = read(held, chunk, sizeof chunk)) > 0;)
            got.append(chunk, std::size_t(n));
        close(held);
        EXPECT_TRUE(got == picture) << name << ": " << got.size() << " bytes";
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo))) << name;
    }
    const run_result out = run("--width 8 -o -");
    EXPECT_EQ(out.status, 0) << out.err;
    EXPECT_TRUE(out.out == picture);
}

// On a terminal a single frame shows a progress line, rewritten in place and
// ended by its last state: the second render's last pass with all its block
// rows done (768 rows: 384 rows of 2 x 2 blocks; 600 rows: 150 rows of
// 4 x 4 blocks). The picture is the same as without a terminal, where
// nothing is printed. Every thread but the main one holds every signal
// back, so that Ctrl-C always reaches the handler that removes the file;
// and where no thread can start at all, the picture is still made, on the
// main thread, without the line.
TEST_F(RenderTool, ProgressLineOnATerminalOnly)
{
    const std::string plain = (dir / "plain.png").string(), shown = (dir / "shown.png").string();
    ASSERT_EQ(run("-o " + plain).err, "");
    on_terminal refined({"-o", shown});
    NEED_TERMINAL(refined);
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
    // A picture computed pixel by pixel tells its bands of rows.
    on_terminal rows({"--size", "1000x300", "--colouring", "smooth", "-o", shown});
    ASSERT_EQ(rows.finish(), 0);
    EXPECT_NE(rows.shown.find("rootzoom-render: rows 261 to 300 of 300, "), std::string::npos) << rows.shown;

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // they map far more than the limit
    const std::string tiled = (dir / "tiled.png").string();
    ASSERT_EQ(run("--coarse --scale 2 -o " + tiled).status, 0);
    on_terminal starved({"--threads", "8", "--coarse", "--scale", "2", "-o", shown}, true);
    ASSERT_EQ(starved.finish(), 0) << starved.shown;
    EXPECT_EQ(starved.shown, "");
    EXPECT_EQ(slurp(shown), slurp(tiled));
#endif

    fs::remove(shown);
    on_terminal interrupted({"--threads", "4", "--scale", "16", "-o", shown});
    int threads = 0;
    interrupted.read_until([&] {
        return interrupted.shown.find(" elapsed") != std::string::npos &&
               (threads_taking_signals(interrupted.child, &threads), threads >= 5);
    });
    EXPECT_EQ(threads_taking_signals(interrupted.child, &threads), std::vector<std::string>{});
    interrupted.interrupt();
    EXPECT_EQ(interrupted.finish(), -SIGINT) << interrupted.shown;
    EXPECT_EQ(interrupted.shown.find("warning"), std::string::npos) << interrupted.shown;

    // A picture far beyond the usual says what it costs before it starts:
    // 16 x 8 frames of 1024 x 768 a side, and a band of 768 of those rows
    // in memory, 3 bytes a pixel.
    on_terminal costly({"--scale", "16", "--supersample", "8", "-o", shown});
    costly.read_until([&] { return costly.shown.find(" elapsed") != std::string::npos; });
    costly.interrupt();
    EXPECT_EQ(costly.finish(), -SIGINT) << costly.shown;
    const std::string said = "rootzoom-render: warning: the picture is rendered at " + std::to_string(16 * 8 * 1024) +
                             " x " + std::to_string(16 * 8 * 768) + " = " +
                             std::to_string(16ll * 8 * 1024 * 16 * 8 * 768) + " pixels and holds ";
    const std::size_t at = costly.shown.find(said);
    ASSERT_NE(at, std::string::npos) << costly.shown;
    EXPECT_LT(at, costly.shown.find(" elapsed"));
    EXPECT_GE(std::stod(costly.shown.substr(at + said.size())), 16 * 8 * 1024 * 768 * 3 / 1e6) << costly.shown;
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().rfind("shown.png", 0), std::string::npos) << entry.path();
}

namespace {

// The text of a PNG's "rootzoom view" chunk, read with libpng; empty when
// there is none.
std::string view_chunk(const fs::path &p)
{
    std::string text;
    std::FILE *f = std::fopen(p.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (f && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, f);
        png_read_info(png, info);
        png_textp chunks;
        const int n = png_get_text(png, info, &chunks, nullptr);
        for (int i = 0; i < n; i++)
            if (std::string(chunks[i].key) == "rootzoom view")
                text.assign(chunks[i].text, chunks[i].text_length);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (f)
        std::fclose(f);
    return text;
}

// The numbers of one line of the chunk ("parameter-plane 1 0.3 ..."), read with strtod.
std::vector<double> chunk_numbers(const std::string &chunk, const std::string &name)
{
    std::vector<double> numbers;
    const std::size_t at = chunk.find("\n" + name + " ");
    if (at == std::string::npos)
        return numbers;
    std::istringstream line(chunk.substr(at + name.size() + 2, chunk.find('\n', at + 1) - at - name.size() - 2));
    for (std::string word; line >> word;)
        numbers.push_back(std::strtod(word.c_str(), nullptr));
    return numbers;
}

// A small PNG of 4 x 3 black pixels with the given text chunks, as another
// program would write it.
void write_png_with_texts(const fs::path &p, const std::vector<std::pair<std::string, std::string>> &texts,
                          int view_compression = PNG_TEXT_COMPRESSION_NONE)
{
    std::FILE *f = std::fopen(p.c_str(), "wb");
    ASSERT_TRUE(f);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, 4, 3, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_text> chunks(texts.size());
    for (std::size_t i = 0; i < texts.size(); i++) {
        chunks[i] = {};
        chunks[i].compression = texts[i].first == "rootzoom view" ? view_compression : PNG_TEXT_COMPRESSION_NONE;
        chunks[i].key = const_cast<char *>(texts[i].first.c_str());
        chunks[i].text = const_cast<char *>(texts[i].second.c_str());
    }
    png_set_text(png, info, chunks.data(), int(chunks.size()));
    png_write_info(png, info);
    png_byte row[12] = {};
    for (int y = 0; y < 3; y++)
        png_write_row(png, row);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

bool same_bits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b));
}

}  // namespace

// A picture made again from its own view is the same file, in every mode,
// with a viewport width, the coarse pass, no logo, in tiles, and for views
// of infinities, a not-a-number, a subnormal, a negative zero and the
// largest double. Options given with --from override the file's, and the
// result is the file the same options make directly; a size given drops the
// file's viewport width, and a width given drops the file's size.
TEST_F(RenderTool, FromMakesThePictureAgainByteForByte)
{
    struct kase {
        std::string options, numbers;
    };
    const kase cases[] = {
        {"", "1.4 0.6 0.6 0 60"},
        {"--mode 1 --c -1.38,1.35 --z0 0.1,0.2", "0.22 -0.28 0.1875 -0.1875 40"},
        {"--mode 2 --width 800 --coarse --no-logo", ""},
        {"--size 2048x1536", "1.5 1.34 0.68 0.56 200"},
        {"--width 400", "inf -inf 5e-324 -0 50"},
        {"--width 400", "nan 1 1.7976931348623157e+308 -1.7976931348623157e+308 50"},
        {"--size 1920x1080 --colouring basin --palette rainbow --threads 1", "1.4 0.6 0.6 0 60"},
        {"--size 90x160 --mode 2 --colouring smooth --supersample 2 --palette ocean", "0.22 -0.28 0.1875 -0.1875 40"},
        {"--size 200x100 --palette " ROOTZOOM_SOURCE_DIR "/palettes/sunset.map", ""},
    };
    for (std::size_t i = 0; i < std::size(cases); i++) {
        const kase &c = cases[i];
        const std::string a = (dir / ("a" + std::to_string(i) + ".png")).string();
        const std::string b = (dir / ("b" + std::to_string(i) + ".png")).string();
        ASSERT_EQ(run(c.options + " -o " + a + " " + c.numbers).status, 0) << c.options;
        const run_result again = run("--from " + a + " -o " + b);
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.err, "");
        EXPECT_EQ(slurp(a), slurp(b)) << c.options << " " << c.numbers;
        // --c moves the centre off the five numbers, which then no longer
        // describe the view and are not written.
        const bool moved = c.options.find("--c ") != std::string::npos;
        const std::string chunk = view_chunk(a);
        EXPECT_NE(chunk.find("\nnumbers " + (c.numbers.empty() || moved ? "none" : c.numbers) + "\n"),
                  std::string::npos)
            << chunk;
    }
    const fs::path centred = dir / "centred.png";
    ASSERT_EQ(run("--from " + (dir / "a0.png").string() + " --c 1,1 -o " + centred.string()).status, 0);
    EXPECT_NE(view_chunk(centred).find("\nnumbers none\nparameter-plane 1 1 "), std::string::npos)
        << view_chunk(centred);

    const std::string wave = (dir / "a0.png").string(), dynamic = (dir / "a1.png").string(),
                      narrow = (dir / "a2.png").string(), tiled = (dir / "a3.png").string();
    auto same_file = [&](const std::string &from, const std::string &direct) {
        const fs::path x = dir / "x.png", y = dir / "y.png";
        ASSERT_EQ(run("--from " + from + " -o " + x.string()).status, 0) << from;
        ASSERT_EQ(run(direct + " -o " + y.string()).status, 0) << direct;
        EXPECT_EQ(slurp(x), slurp(y)) << from << " against " << direct;
    };
    same_file(wave + " --scale 2", "--scale 2 1.4 0.6 0.6 0 60");
    same_file(dynamic + " --mode 0 --z0 0,0", "--c -1.38,1.35 0.22 -0.28 0.1875 -0.1875 40");
    same_file(narrow + " --scale 2", "--mode 2 --coarse --no-logo --scale 2");
    same_file(tiled + " --width 600", "--width 600 1.5 1.34 0.68 0.56 200");
    same_file(narrow + " --supersample 2", "--mode 2 --coarse --no-logo --supersample 2");
    same_file(wave + " 1 -1 0.75 -0.75 50", "1 -1 0.75 -0.75 50");
    // The size, colouring and palette carried, and taken over by what is
    // given; version 4 only where they are used.
    const std::string basin = (dir / "a6.png").string();
    EXPECT_TRUE(view_chunk(basin).starts_with("version 4\n")) << view_chunk(basin);
    EXPECT_NE(view_chunk(basin).find("\nsize 1920x1080\n"), std::string::npos);
    EXPECT_NE(view_chunk(basin).find("\ncolouring basin\npalette 256 ff0000 ff0600 "), std::string::npos);
    same_file(basin + " --threads 3", "--size hd --colouring basin --palette rainbow 1.4 0.6 0.6 0 60");
    same_file(basin + " --colouring count --palette explorer --size 1024x768", "1.4 0.6 0.6 0 60");
    same_file(wave + " --palette sunset", "--palette sunset 1.4 0.6 0.6 0 60");
    same_file(narrow + " --colouring smooth", "--mode 2 --no-logo --colouring smooth");
}

// Every double comes back from the chunk's text to the bit, and reads as
// its shortest decimal.
TEST(ViewChunk, RoundTripsEveryDouble)
{
    const double special[] = {5e-324,
                              -0.0,
                              2.2250738585072009e-308,
                              1.7976931348623157e308,
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN(),
                              -std::numeric_limits<double>::quiet_NaN(),
                              0.1 + 0.2,
                              1.0 / 3,
                              1e23,
                              -2.2500000000000004,
                              std::nextafter(1.0, 2.0)};
    picture_record r;
    r.mode = 2;
    r.has_numbers = true;
    r.width = 1023.5;
    r.coarse = true;
    r.tiles = 1;
    r.logo = false;
    // Every double but the iteration limits, which take only numbers whose
    // whole part fits an int, and the low parts, which hold at most half of
    // their centre's last place: those are round-tripped apart, the low
    // parts at that bound, or 0 beside a centre that has no such part.
    auto doubles_of = [](picture_record &p) {
        std::vector<double *> all = {p.z0, p.z0 + 1, p.low, p.low + 1, p.low + 2, p.low + 3};
        for (int i = 0; i < 4; i++)
            all.insert(all.end(), {p.parameter + i, p.dynamic + i, p.numbers + i});
        return all;
    };
    const double limits[] = {60, -0.0, 5e-324, 0.5, -5, 2147483647.9, -2147483648.9, 64249.99999999999};
    const std::vector<double *> fields = doubles_of(r);
    const std::size_t n = std::size(special);
    for (std::size_t shift = 0; shift < n; shift++) {  // every value in every field
        for (std::size_t f = 0; f < fields.size(); f++)
            *fields[f] = special[(f + shift) % n];
        const double centres[4] = {r.parameter[0], r.parameter[1], r.dynamic[0], r.dynamic[1]};
        for (int i = 0; i < 4; i++) {
            const double c = std::fabs(centres[i]), half_place = (std::nextafter(c, INFINITY) - c) / 2;
            r.low[i] = std::isfinite(half_place) && half_place > 0 ? (i % 2 ? -half_place : half_place) : 0.0;
        }
        for (int plane = 0; plane < 3; plane++)
            (plane == 0 ? r.parameter : plane == 1 ? r.dynamic : r.numbers)[4] = limits[(shift + plane) % std::size(limits)];
        r.precision = int(shift % 3);
        const std::string text = view_text(r);
        picture_record back;
        std::string why;
        ASSERT_TRUE(parse_view_text(text, back, why)) << why << "\n" << text;
        const std::vector<double *> got = doubles_of(back);
        for (std::size_t f = 0; f < fields.size(); f++)
            EXPECT_TRUE(same_bits(*got[f], *fields[f])) << f << ": " << *got[f] << " for " << *fields[f];
        EXPECT_TRUE(same_bits(back.parameter[4], r.parameter[4]) && same_bits(back.dynamic[4], r.dynamic[4]) &&
                    same_bits(back.numbers[4], r.numbers[4]));
        EXPECT_EQ(back.mode, 2);
        EXPECT_EQ(back.width, 1023.5);
        EXPECT_EQ(back.precision, r.precision);
        EXPECT_TRUE(back.coarse && !back.logo && back.has_numbers);
    }
    r.z0[0] = -0.0, r.z0[1] = 5e-324;
    r.numbers[0] = 1.4, r.numbers[1] = 0.6, r.numbers[2] = -std::numeric_limits<double>::infinity();
    r.numbers[3] = 1e23, r.numbers[4] = 1.7976931348623157e308;
    const std::string text = view_text(r);
    EXPECT_NE(text.find("\nz0 -0 5e-324\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nnumbers 1.4 0.6 -inf 1e+23 1.7976931348623157e+308\n"), std::string::npos) << text;
}

namespace {

// The explorer's zoom, typed from its description: a step in scales both
// half-extents by 0.9 and the limit by 1.02 while it is below 64250; a step
// out divides them by the same factors, with no bound.
void zoom_by_hand(double &xhalf, double &yhalf, double &limit, bool in, int steps)
{
    for (int i = 0; i < steps; i++) {
        if (in) {
            xhalf = xhalf * 0.9, yhalf = yhalf * 0.9;
            if (limit < 64250)
                limit = limit * 1.02;
        } else {
            xhalf = xhalf / 0.9, yhalf = yhalf / 0.9, limit = limit / 1.02;
        }
    }
}

}  // namespace

// Frame n of a sequence shows the view the explorer has after n * --every
// steps of its zoom about the view's centre: in modes 0 and 1 the
// parameter-plane view's (whose limit stops growing at 64250), in mode 2
// the dynamic plane's. Each frame is the plain picture of that view and
// carries it, so --from makes it again. --limit and --limit-end set the
// limits in the explorer's place, and frames that turn black from the
// limit are said to.
TEST_F(RenderTool, ZoomSequenceFramesAreTheExplorersSteps)
{
    struct kase {
        std::string options;
        int mode;
        bool in;
        int steps, every;
        double width, numbers[5], c[2];
    };
    const kase cases[] = {
        {"--zoom-in 40 --every 10", 0, true, 40, 10, 1024, {1.4, 0.6, 0.6, 0, 60}, {1, 0.3}},
        {"--zoom-in 2 --width 96", 0, true, 2, 1, 96, {-0.5, -1.5, 0.375, -0.375, 64249}, {-1, 0}},
        {"--mode 1 --zoom-in 3 --width 64", 1, true, 3, 1, 64, {0.4, -0.4, 0.3, -0.3, 80}, {0, 0}},
        {"--mode 2 --c 0.25,-0.5 --zoom-out 3 --every 3 --width 200", 2, false, 3, 3, 200, {-1, -2, 0.5, -0.25, 60.5},
         {0.25, -0.5}},
    };
    for (const kase &k : cases) {
        const fs::path folder = dir / "frames";
        fs::remove_all(folder);
        std::ostringstream numbers;
        for (double v : k.numbers)
            numbers << " " << v;
        const run_result r = run(k.options + " --frames " + folder.string() + numbers.str());
        ASSERT_EQ(r.status, 0) << k.options << ": " << r.err;
        EXPECT_EQ(r.out + r.err, "");
        std::vector<std::string> want;
        for (int n = 0; n * k.every <= k.steps; n++)
            want.push_back("frame-0000" + std::to_string(n) + ".png");
        ASSERT_EQ(names_in(folder), want) << k.options;
        const fs::path last = folder / want.back();

        state_saver saver;
        setkoords(k.numbers[1], k.numbers[0], k.numbers[3], k.numbers[2], k.numbers[4], 1);
        xmit = k.c[0], ymit = k.c[1];
        do_julia = k.mode;
        if (k.mode == 2)
            zoom_by_hand(jxstep, jystep, jmaxit, k.in, k.steps);
        else
            zoom_by_hand(xstep, ystep, maxit, k.in, k.steps);
        const std::string chunk = view_chunk(last);
        const std::vector<double> parameter = chunk_numbers(chunk, "parameter-plane"),
                                  dynamic = chunk_numbers(chunk, "dynamic-plane");
        EXPECT_EQ(parameter, (std::vector<double>{xmit, ymit, xstep, ystep, maxit})) << chunk;
        EXPECT_EQ(dynamic, (std::vector<double>{jxmit, jymit, jxstep, jystep, jmaxit})) << chunk;
        EXPECT_NE(chunk.find("\nnumbers none\n"), std::string::npos) << chunk;
        first_display_in_process(k.width);
        expect_window_picture(read_png(last));
    }

    // The sequence: step 0 is the plain picture, and the last frame,
    // 40 steps deep, is made again to the byte from its view.
    const std::string plain = (dir / "plain.png").string(), again = (dir / "again.png").string();
    ASSERT_EQ(run("-o " + plain + " 1.4 0.6 0.6 0 60").status, 0);
    ASSERT_EQ(run("--zoom-in 40 --every 10 --frames " + (dir / "z").string() + " 1.4 0.6 0.6 0 60").status, 0);
    EXPECT_EQ(slurp(dir / "z" / "frame-00000.png"), slurp(plain));
    ASSERT_EQ(run("--from " + (dir / "z" / "frame-00004.png").string() + " -o " + again).status, 0);
    EXPECT_EQ(slurp(again), slurp(dir / "z" / "frame-00004.png"));

    // A film of 16:9 frames in the smooth colouring, in two parts: each
    // frame the picture of its step's view at that size, made again by
    // --from to the byte.
    const std::string film = " --size 192x108 --colouring smooth --zoom-in 30 --every 10 --frames " +
                             (dir / "wide").string() + " 1.4 0.6 0.6 0 60";
    ASSERT_EQ(run("--part 2/2" + film).status, 0);
    ASSERT_EQ(run("--part 1/2" + film).status, 0);
    ASSERT_EQ(run("--from " + (dir / "z" / "frame-00003.png").string() +
                  " --size 192x108 --colouring smooth -o " + again).status, 0);
    EXPECT_EQ(slurp(again), slurp(dir / "wide" / "frame-00003.png"));
    ASSERT_EQ(run("--from " + (dir / "wide" / "frame-00001.png").string() + " -o " + again).status, 0);
    EXPECT_EQ(slurp(again), slurp(dir / "wide" / "frame-00001.png"));
    EXPECT_EQ(read_png(again).width, 192u);

    // The limit in the maker's hands: --limit N is the picture of N as the
    // fifth number, to the byte. --limit-end N takes the limit from the
    // first frame's to N geometrically, also in mode 2, whose zoom alone
    // leaves it where it is: 80, 160, 320, 640 over three frames; each frame
    // carries its limit, so --from makes it again.
    ASSERT_EQ(run("--limit 100 -o " + again + " 1.4 0.6 0.6 0 60").status, 0);
    ASSERT_EQ(run("-o " + plain + " 1.4 0.6 0.6 0 100").status, 0);
    EXPECT_EQ(slurp(again), slurp(plain));
    const fs::path grown = dir / "grown";
    ASSERT_EQ(run("--mode 2 --c 0.25,-0.5 --zoom-in 30 --every 10 --limit-end 640 --width 64 --frames " +
                  grown.string() + " -1 -2 0.5 -0.25 80")
                  .status,
              0);
    for (int n = 0; n <= 3; n++)
        EXPECT_EQ(chunk_numbers(view_chunk(grown / ("frame-0000" + std::to_string(n) + ".png")), "parameter-plane")[4],
                  80 << n);
    ASSERT_EQ(run("--from " + (grown / "frame-00002.png").string() + " -o " + again).status, 0);
    EXPECT_EQ(slurp(again), slurp(grown / "frame-00002.png"));

    // A zoom out lowers the limit by 2 % a step: at step 100, 30 / 1.02^100,
    // about 4, colours go black, and at step 60 of the default view, whose
    // limit is then 50 / 1.02^60, about 15, black fills the frame. The
    // warnings blame the limit and name the option that keeps it up, not
    // the centre.
    run_result r = run("--zoom-out 100 --every 20 --width 64 --frames " + (dir / "lowered").string() +
                       " --c 0.9921144469450488,0.33181758850594534 --half-width 0.01 3 -3 2.25 -2.25 30");
    EXPECT_NE(r.err.find("the first frame 5 (step 100): its samples reach the iteration limit, 4 there"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--limit-end N"), std::string::npos) << r.err;
    // The same zoom with a last limit of 4 given: a larger one is what it
    // needs. A first frame black from its limit of 1 has its limit from the
    // view, which --limit-end does not change.
    r = run("--zoom-out 100 --every 20 --limit-end 4 --width 64 --frames " + (dir / "lowered-to").string() +
            " --c 0.9921144469450488,0.33181758850594534 --half-width 0.01 3 -3 2.25 -2.25 30");
    EXPECT_NE(r.err.find("the first frame 5 (step 100): its samples reach the iteration limit, 4 there, and with "
                         "more steps they end; a larger --limit-end"),
              std::string::npos)
        << r.err;
    r = run("--zoom-in 20 --every 10 --width 64 --frames " + (dir / "first").string() + " 3 -3 2.25 -2.25 1");
    EXPECT_NE(r.err.find("the first frame 0 (step 0): its samples reach the iteration limit, 1 there, and with more "
                         "steps they end; --limit N"),
              std::string::npos)
        << r.err;
    r = run("--zoom-out 60 --every 20 --width 64 --frames " + (dir / "widening").string() + " 3 -3 2.25 -2.25 50");
    EXPECT_NE(r.err.find("warning: black, where samples reach the iteration limit, grows from "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("of frame 3 (step 60), whose limit is 15"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--limit-end N"), std::string::npos) << r.err;
}

// A file that is no picture of this tool's, or whose view is damaged, is
// refused by --from and --args-of alike, with the reason and status 2, and
// nothing is written.
TEST_F(RenderTool, DamagedAndForeignPicturesAreRefused)
{
    const fs::path good = dir / "good.png";
    ASSERT_EQ(run("-o " + good.string() + " 1.4 0.6 0.6 0 60").status, 0);
    const std::string text = view_chunk(good);
    ASSERT_EQ(text.rfind("version 1\nmode 0\nnumbers 1.4 0.6 0.6 0 60\n", 0), 0u) << text;
    auto edit = [](std::string t, const std::string &from, const std::string &to) {
        const std::size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    auto edited = [&](const std::string &from, const std::string &to) { return edit(text, from, to); };
    // Records whose every line reads but that ask for what no picture is: a
    // limit that is not finite or does not fit an int (with no viewport, so
    // that a tool that took it would still end), a viewport width with
    // supersampled pixels.
    const std::string narrow = edited("width 1024", "width 0");
    const std::string supersampled = edit(edit(text, "version 1", "version 2"), "width 1024", "width 64") + "\nsupersample 2";
    // The same view as version 4, with a line edited, a colouring and a palette.
    auto version_4 = [&](const std::string &from, const std::string &to, const std::string &colouring,
                         const std::string &palette) {
        std::string t = edited("version 1", "version 4");
        if (!from.empty())
            t.replace(t.find(from), from.size(), to);
        return t + "\nsupersample 1\nlow-parts 0 0 0 0\nprecision auto\ncolouring " + colouring + "\npalette " + palette;
    };
    auto low_parts = [&](const std::string &low) {
        return edit(version_4("", "", "count", "explorer"), "low-parts 0 0 0 0", "low-parts " + low);
    };
    struct kase {
        std::string name;
        std::vector<std::pair<std::string, std::string>> texts;
        std::string said;
    };
    const kase cases[] = {
        {"none.png", {{"Software", "another program"}}, "holds no view"},
        {"version.png", {{"rootzoom view", edited("version 1", "version 5")}}, "version '5', which this "
         "rootzoom-render does not know (it knows versions 1 to 4)"},
        {"letter.png", {{"rootzoom view", edited("numbers 1.4", "numbers 1.4x")}}, "'numbers' line is damaged"},
        {"digits.png", {{"rootzoom view", edited("numbers 1.4", "numbers 1.40")}}, "'numbers' line is damaged"},
        {"short.png", {{"rootzoom view", edited("z0 0 0\n", "")}}, "lines"},
        {"few.png", {{"rootzoom view", edited("mode 0", "mode 0 1")}}, "'mode' line is damaged"},
        {"mode.png", {{"rootzoom view", edited("mode 0", "mode 3")}}, "'mode' line is damaged"},
        {"size.png", {{"rootzoom view", edited("size 1024x768", "size 1024x769")}}, "size other than k x (1024x768)"},
        // Version 4: a size, a colouring and a palette of their own, each in range.
        {"small.png", {{"rootzoom view", version_4("size 1024x768", "size 15x768", "smooth", "explorer")}},
         "'size' line is damaged"},
        {"colouring.png", {{"rootzoom view", version_4("", "", "fancy", "explorer")}}, "'colouring' line is damaged"},
        {"hex.png", {{"rootzoom view", version_4("", "", "basin", "2 ff0000 00ff0g")}}, "'palette' line is damaged"},
        {"count.png", {{"rootzoom view", version_4("", "", "basin", "3 ff0000 00ff00")}}, "'palette' line is damaged"},
        {"coarse.png", {{"rootzoom view", version_4("coarse no", "coarse yes", "smooth", "explorer")}},
         "the coarse pass with a picture"},
        // Low parts that no centre has: not finite, or beyond half the last
        // place of the centre they belong to (1 and 0.3 here).
        {"nan-low.png", {{"rootzoom view", low_parts("nan 0 0 0")}},
         "'low-parts' line gives the low part nan"},
        {"inf-low.png", {{"rootzoom view", low_parts("0 0 0 -inf")}},
         "'low-parts' line gives the low part -inf"},
        {"big-low.png", {{"rootzoom view", low_parts("0 3e-17 0 0")}},
         "'low-parts' line gives the low part 3e-17"},
        {"two.png", {{"rootzoom view", text}, {"rootzoom view", text}}, "holds 2 views"},
        {"limit.png", {{"rootzoom view", edit(narrow, "-0.3 60\ndynamic", "-0.3 inf\ndynamic")}},
         "'parameter-plane' line gives the iteration limit inf"},
        {"far.png", {{"rootzoom view", edit(narrow, "-0.3 60\nz0", "-0.3 1e+300\nz0")}},
         "'dynamic-plane' line gives the iteration limit 1e+300"},
        {"numbers.png", {{"rootzoom view", edit(narrow, "0 60\n", "0 2147483648\n")}},
         "'numbers' line gives the iteration limit 2147483648"},
        {"supersampled.png", {{"rootzoom view", supersampled}}, "viewport width with a picture of supersampled pixels"},
        // Bytes a terminal acts on, and a line of a megabyte: quoted escaped and cut.
        {"title.png", {{"rootzoom view", edited("numbers 1.4", "numbers \033]0;owned\007\rrootzoom-render: wrote x.png")}},
         "'numbers' line is damaged: 'numbers \\x1B]0;owned\\x07\\rrootzoom-render: wrote x.png 0.6"},
        {"huge.png", {{"rootzoom view", edited("numbers 1.4", "numbers " + std::string(1 << 20, '9'))}},
         "more bytes)"},
    };
    for (const kase &c : cases)
        write_png_with_texts(dir / c.name, c.texts);

    // The view's chunk with one byte changed and its checksum left alone.
    std::string bytes = slurp(good);
    const std::size_t at = bytes.find("parameter-plane 1 ");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 16] = '2';
    std::ofstream(dir / "checksum.png", std::ios::binary) << bytes;
    std::ofstream(dir / "text.png") << "not a picture\n";

    std::vector<std::pair<std::string, std::string>> refused;
    for (const kase &c : cases)
        refused.push_back({c.name, c.said});
    refused.push_back({"checksum.png", "damaged PNG file"});
    refused.push_back({"text.png", "is not a PNG file"});
    refused.push_back({"missing.png", "cannot read"});
    for (const auto &[name, said] : refused)
        for (const std::string how : {"--from", "--args-of"}) {
            const std::string file = (dir / name).string();
            const run_result r = run(how + " " + file + (how == "--from" ? " -o " + (dir / "out.png").string() : ""));
            EXPECT_EQ(r.status, 2) << how << " " << name;
            EXPECT_EQ(r.out, "") << how << " " << name;
            EXPECT_NE(r.err.find("rootzoom-render: "), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(said), std::string::npos) << how << " " << name << ": " << r.err;
            EXPECT_LT(r.err.size(), 2000u) << how << " " << name;
            EXPECT_EQ(std::count_if(r.err.begin(), r.err.end(), [](char c) { return c != '\n' && (unsigned char)c < 32; }), 0)
                << how << " " << name << ": " << r.err;
            EXPECT_FALSE(fs::exists(dir / "out.png"));
        }
    // The edits themselves were all that was wrong. The view is found as
    // any kind of text chunk another program may rewrite it to, behind more
    // text chunks than libpng keeps.
    std::vector<std::pair<std::string, std::string>> texts(1001, {"Comment", "another program's"});
    texts.push_back({"rootzoom view", text});
    for (const int kind : {PNG_TEXT_COMPRESSION_NONE, PNG_TEXT_COMPRESSION_zTXt, PNG_ITXT_COMPRESSION_NONE,
                           PNG_ITXT_COMPRESSION_zTXt}) {
        fs::remove(dir / "out.png");
        write_png_with_texts(dir / "copy.png", texts, kind);
        const run_result r = run("--from " + (dir / "copy.png").string() + " -o " + (dir / "out.png").string());
        EXPECT_EQ(r.status, 0) << kind << ": " << r.err;
        EXPECT_EQ(slurp(dir / "out.png"), slurp(good)) << kind;
    }
}

// The five numbers for the explorer: the given ones when they still make the
// view, otherwise bounds that setkoords' arithmetic turns into it, or the
// closest ones, said so; none for a view too small for any bounds. What the
// explorer cannot take from its command line is said on standard error.
TEST_F(RenderTool, ArgsOfGivesTheExplorersNumbers)
{
    const std::string wave = (dir / "wave.png").string();
    ASSERT_EQ(run("-o " + wave + " 1.4 0.6 0.6 0 60").status, 0);
    run_result r = run("--args-of " + wave);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1.4 0.6 0.6 0 60\n");
    EXPECT_EQ(r.err, "");

    const std::string other = (dir / "other.png").string();
    ASSERT_EQ(run("--mode 2 --c -1.38,1.35 --coarse --width 800 -o " + other + " 0.22 -0.28 0.1875 -0.1875 40").status,
              0);
    r = run("--args-of " + other);
    EXPECT_EQ(r.out, "0.22 -0.28 0.1875 -0.1875 40\n");
    for (const char *said : {"mode 2", "press space twice", "c = -1.38,1.35", "coarse", "800 pixels wide"})
        EXPECT_NE(r.err.find(said), std::string::npos) << said << ": " << r.err;
    ASSERT_EQ(run("--z0 0.1,0.2 --scale 2 -o " + other).status, 0);
    r = run("--args-of " + other);
    EXPECT_EQ(r.out, "3 -3 2.2500000000000004 -2.2500000000000004 50\n");
    for (const char *said : {"z0 = 0.1,0.2", "2 x 2 frames"})
        EXPECT_NE(r.err.find(said), std::string::npos) << said << ": " << r.err;
    // A 16:9 picture of the wave opens the explorer on the wave: the same
    // centre and width, in the explorer's shape, which is said to differ.
    ASSERT_EQ(run("--size hd --colouring smooth --palette ocean -o " + other + " 1.4 0.6 0.6 0 60").status, 0);
    r = run("--args-of " + other);
    EXPECT_EQ(r.out, "1.4 0.6 0.6 0 60\n");
    for (const char *said : {"1920 x 1080, another shape than rootzoom's 1024 x 768", "coloured smooth", "palette of its own"})
        EXPECT_NE(r.err.find(said), std::string::npos) << said << ": " << r.err;

    // Zoomed views: each answer is exact exactly when it says nothing.
    const std::string args = " --width 8 -0.5 -1.5 0.375 -0.375 60";
    ASSERT_EQ(run("--zoom-in 6 --frames " + (dir / "z").string() + args).status, 0);
    std::vector<fs::path> frames;
    for (int n = 1; n <= 6; n++)
        frames.push_back(dir / "z" / ("frame-0000" + std::to_string(n) + ".png"));
    int exact = 0;
    for (const fs::path &frame : frames) {
        r = run("--args-of " + frame.string());
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream printed(r.out);
        double b[5];
        for (double &v : b)
            printed >> v;
        ASSERT_TRUE(printed) << r.out;
        state_saver saver;
        setkoords(b[1], b[0], b[3], b[2], b[4], 1);
        const std::vector<double> view = chunk_numbers(view_chunk(frame), "parameter-plane");
        const bool same = view == std::vector<double>{xmit, ymit, xstep, ystep, maxit};
        const bool closest = r.err.find("these are the closest") != std::string::npos;
        EXPECT_NE(same, closest) << frame << ": " << r.out << r.err;
        EXPECT_EQ(b[4], view[4]);
        exact += same;
    }
    EXPECT_GE(exact, 3);

    // 400 steps into the dynamic plane, with half-extents far below the
    // centre's last place, the closest numbers would open rootzoom on a
    // view 1024 pixels wide at the least: no numbers, the command that
    // makes the frame again, and a status that a script sees.
    ASSERT_EQ(run("--mode 2 --zoom-in 400 --every 400 --frames " + (dir / "deep").string() + args).status, 0);
    const std::string deep = (dir / "deep" / "frame-00001.png").string();
    r = run("--args-of " + deep);
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("five numbers cannot carry the view of " + deep), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("rootzoom-render --from " + deep + " makes it again"), std::string::npos) << r.err;
}

// On a terminal a sequence shows which frame is under way; a hang-up leaves
// only whole frames behind, each a complete picture with its view.
TEST_F(RenderTool, SequenceProgressAndInterruption)
{
    const fs::path folder = dir / "z";
    on_terminal small({"--zoom-in", "2", "--width", "100", "--frames", folder.string()});
    NEED_TERMINAL(small);
    ASSERT_EQ(small.finish(), 0) << small.shown;
    EXPECT_NE(small.shown.find("rootzoom-render: 3 of 3 frames done, frame 2, second render, 1x1 pass, 37 of 37 "
                               "block rows"),
              std::string::npos)
        << small.shown;
    // Made again, every frame is there with its view: kept, none rendered.
    on_terminal again({"--zoom-in", "2", "--width", "100", "--frames", folder.string()});
    ASSERT_EQ(again.finish(), 0) << again.shown;
    EXPECT_NE(again.shown.find("rootzoom-render: 3 of 3 frames done (3 kept), "), std::string::npos) << again.shown;
    EXPECT_EQ(again.shown.find("block rows"), std::string::npos) << again.shown;

    // On a narrow terminal every redraw fits in one line, and never wraps.
    fs::remove_all(folder);
    on_terminal narrow({"--zoom-in", "2", "--width", "100", "--frames", folder.string()}, false, 40);
    ASSERT_EQ(narrow.finish(), 0) << narrow.shown;
    std::istringstream redraws(narrow.shown);
    int lines = 0;
    for (std::string line; std::getline(redraws, line, '\r'); lines++) {
        const std::size_t erase = line.find("\033[K");
        EXPECT_LE(erase == std::string::npos ? line.size() : erase, 39u) << line;
        EXPECT_EQ(line.find(", ,"), std::string::npos) << line;  // parts dropped, not their commas
        EXPECT_EQ(line.find(",\033[K"), std::string::npos) << line;
    }
    EXPECT_GT(lines, 1);
    EXPECT_NE(narrow.shown.find("3 of 3 frames done"), std::string::npos) << narrow.shown;

    fs::remove_all(folder);
    // Long enough that it is still running when the signal comes, however
    // fast this machine renders.
    on_terminal interrupted({"--zoom-in", "3000", "--scale", "3", "--frames", folder.string()});
    // A hang-up (the terminal closed) removes the unfinished file as Ctrl-C does.
    interrupted.read_until([&] { return interrupted.shown.find("3 of 3001 frames done") != std::string::npos; });
    interrupted.interrupt(SIGHUP);
    EXPECT_EQ(interrupted.finish(), -SIGHUP) << interrupted.shown;
    EXPECT_TRUE(interrupted.shown.ends_with("\n")) << interrupted.shown;  // the progress line ended
    const std::vector<std::string> names = names_in(folder);
    ASSERT_FALSE(names.empty());
    for (std::size_t n = 0; n < names.size(); n++) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "frame-%05zu.png", n);
        EXPECT_EQ(names[n], expected);
        EXPECT_EQ(read_png(folder / names[n]).width, 3072u) << names[n];
        EXPECT_NE(view_chunk(folder / names[n]), "") << names[n];
    }

    // A run killed outright leaves its unfinished file behind, named with
    // this host and the process; the film's next run removes it, as its
    // process has ended, and leaves one of a process still running and one
    // of another host, which may still be writing it.
    const fs::path killed = dir / "killed";
    on_terminal doomed({"--zoom-in", "1", "--scale", "3", "--frames", killed.string()});
    doomed.read_until([&] { return doomed.shown.find("block rows") != std::string::npos; });
    doomed.interrupt(SIGKILL);
    EXPECT_EQ(doomed.finish(), -SIGKILL) << doomed.shown;
    std::vector<std::string> left = names_in(killed);
    ASSERT_EQ(left.size(), 1u) << testing::PrintToString(left);
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    const std::string temp = left[0], label = std::string(host).substr(0, std::string(host).find('.'));
    const std::string pid = "." + std::to_string(doomed.child) + ".";
    ASSERT_NE(temp.find(pid), std::string::npos) << temp;
    ASSERT_NE(temp.find(label), std::string::npos) << temp << " does not name " << label;
    std::string running = temp, elsewhere = temp;
    running.replace(running.find(pid), pid.size(), "." + std::to_string(getpid()) + ".");
    elsewhere.replace(elsewhere.find(label), label.size(), "elsewhere");
    std::ofstream(killed / running) << "still being written";
    std::ofstream(killed / elsewhere) << "written on another host";
    ASSERT_EQ(run("--zoom-in 1 --scale 3 --frames " + killed.string()).status, 0);
    std::vector<std::string> want = {frame_name(0), frame_name(1), running, elsewhere};
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names_in(killed), want);
}

namespace {

// The sRGB transfer function as its standard gives it, on values from 0 to 1.
double srgb_to_linear(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
double linear_to_srgb(double l) { return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055; }

}  // namespace

// A supersampled picture is, pixel by pixel, the mean in linear light of
// its K x K block of the picture K times larger (rendered without the logo;
// its rows summed in turn, each left to right), with the logo blended at
// the output size: the same bytes on any number of threads, made again
// from its own view, and with K = 1 the plain picture.
TEST_F(RenderTool, SupersampledPictureIsTheLinearMeanOfTheLargerOne)
{
    const std::string view = " 1.4 0.6 0.6 0 60";  // the wave: fine boundaries, streaks and bubbles
    state_saver saver;
    create_logo();
    double linear[256];
    for (int v = 0; v < 256; v++)
        linear[v] = srgb_to_linear(v / 255.0);
    for (const int k : {2, 3}) {
        const std::string big = (dir / "big.png").string(), small = (dir / "small.png").string();
        ASSERT_EQ(run("--scale " + std::to_string(k) + " --no-logo -o " + big + view).status, 0);
        ASSERT_EQ(run("--supersample=" + std::to_string(k) + " --threads 1 -o " + small + view).status, 0);
        const picture large = read_png(big), got = read_png(small);
        ASSERT_EQ(got.width, 1024u);
        ASSERT_EQ(got.height, 768u);
        int differing = 0, blended = 0;
        for (int row = 0; row < 768; row++)  // buffer rows, 0 at the bottom
            for (int col = 0; col < 1024; col++) {
                unsigned char want[3];
                for (int c = 0; c < 3; c++) {
                    double sum = 0;
                    for (int dy = k - 1; dy >= 0; dy--)  // the block's top row first
                        for (int dx = 0; dx < k; dx++)
                            sum += linear[large.at(col * k + dx, row * k + dy)[c]];
                    want[c] = static_cast<unsigned char>(std::lround(linear_to_srgb(sum / (k * k)) * 255));
                }
                if (col < 124 && row < 21 && snap_long[row * 124 + col] >> 24 == 255) {  // the logo, opaque blue
                    want[0] = want[1] = 0, want[2] = 255;
                    blended++;
                }
                differing += std::memcmp(got.at(col, row), want, 3) != 0;
            }
        EXPECT_EQ(differing, 0) << "K = " << k;
        EXPECT_GT(blended, 1000);

        const std::string again = (dir / "again.png").string();
        ASSERT_EQ(run("--threads 3 --from " + small + " -o " + again).status, 0);
        EXPECT_EQ(slurp(again), slurp(small)) << "K = " << k;
        EXPECT_NE(view_chunk(again).find("version 2\n"), std::string::npos);
        EXPECT_TRUE(view_chunk(again).ends_with("\nsupersample " + std::to_string(k))) << view_chunk(again);
    }
    const std::string one = (dir / "one.png").string(), plain = (dir / "plain.png").string();
    ASSERT_EQ(run("--supersample 1 -o " + one + view).status, 0);
    ASSERT_EQ(run("-o " + plain + view).status, 0);
    EXPECT_EQ(slurp(one), slurp(plain));
}

namespace {

// The colours of a picture's 64 x 48 viewport, which the frame centres (its
// lower-left pixel is at column (1024 - 64) / 2 and buffer row (768 - 48) / 2),
// sorted.
std::vector<std::uint32_t> sorted_viewport(const picture &pic)
{
    std::vector<std::uint32_t> colours;
    for (int row = 360; row < 360 + 48; row++)
        for (int col = 480; col < 480 + 64; col++) {
            const png_byte *p = pic.at(col, row);
            colours.push_back(p[0] | p[1] << 8 | p[2] << 16);
        }
    std::sort(colours.begin(), colours.end());
    return colours;
}

// How many colours that viewport shows.
std::size_t viewport_colours(const picture &pic)
{
    std::vector<std::uint32_t> colours = sorted_viewport(pic);
    return std::unique(colours.begin(), colours.end()) - colours.begin();
}

// The neighbouring columns of that viewport alike from bottom to top, as
// the columns of a view that breaks into blocks are.
int alike_columns(const picture &pic)
{
    int alike = 0;
    for (int col = 480; col + 1 < 480 + 64; col++) {
        bool same = true;
        for (int row = 360; same && row < 360 + 48; row++)
            same = std::equal(pic.at(col, row), pic.at(col, row) + 3, pic.at(col + 1, row));
        alike += same;
    }
    return alike;
}

// The share of the commonest colour in that viewport.
double commonest_share(const picture &pic)
{
    const std::vector<std::uint32_t> colours = sorted_viewport(pic);
    std::size_t most = 0;
    for (std::size_t i = 0, j; i < colours.size(); i = j) {
        for (j = i; j < colours.size() && colours[j] == colours[i]; j++) {
        }
        most = std::max(most, j - i);
    }
    return double(most) / double(colours.size());
}

ino_t inode(const fs::path &p)
{
    struct stat s = {};
    return stat(p.c_str(), &s) == 0 ? s.st_ino : 0;
}

}  // namespace

// The README's dive, seven frames of it: about the wave's centre, which
// lies inside a basin, it ends on one colour, and the tool names the first
// frame that shows one; aimed, every frame shows detail, each is the
// explorer's zoom about one centre, and the same command aims the same way.
// So does a dive of 550 steps, half of it deeper than doubles resolve,
// whose centre the aim sets with low parts: no frame is one colour or
// breaks into blocks. Dives into views where samples escape, and into the
// dynamic plane with a limit raised for it, keep detail too.
TEST_F(RenderTool, AimedDiveShowsDetailInEveryFrame)
{
    const std::string dive = " --zoom-in 240 --every 40 --width 64 1.4 0.6 0.6 0 60";
    auto flat_frames = [&](const fs::path &folder) {
        std::vector<int> flat;
        for (int n = 0; n <= 6; n++)
            if (viewport_colours(read_png(folder / frame_name(n))) == 1)
                flat.push_back(n);
        return flat;
    };
    const run_result plain = run("--frames " + (dir / "plain").string() + dive);
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::vector<int> flat = flat_frames(dir / "plain");
    ASSERT_FALSE(flat.empty());
    EXPECT_NE(plain.err.find("warning: " + std::to_string(flat.size()) + " of the 7 frames rendered show one colour "
                             "apart from the logo, the first frame " + std::to_string(flat[0]) + " (step " +
                             std::to_string(flat[0] * 40) + ")"),
              std::string::npos)
        << plain.err;

    const run_result aimed = run("--aim --frames " + (dir / "aimed").string() + dive);
    ASSERT_EQ(aimed.status, 0) << aimed.err;
    EXPECT_EQ(aimed.err, "");
    EXPECT_EQ(flat_frames(dir / "aimed"), std::vector<int>{});
    state_saver saver;
    setkoords(0.6, 1.4, 0, 0.6, 60, 1);
    const std::vector<double> first = chunk_numbers(view_chunk(dir / "aimed" / frame_name(0)), "parameter-plane");
    ASSERT_EQ(first.size(), 5u);
    EXPECT_FALSE(first[0] == xmit && first[1] == ymit);
    zoom_by_hand(xstep, ystep, maxit, true, 240);
    EXPECT_EQ(chunk_numbers(view_chunk(dir / "aimed" / frame_name(6)), "parameter-plane"),
              (std::vector<double>{first[0], first[1], xstep, ystep, maxit}));
    ASSERT_EQ(run("--aim --frames " + (dir / "again").string() + dive).status, 0);
    EXPECT_EQ(folder_bytes(dir / "again"), folder_bytes(dir / "aimed"));

    const std::string deep = " --zoom-in 550 --every 50 --width 64 1.4 0.6 0.6 0 60";
    const run_result dived = run("--aim --stats --frames " + (dir / "deep").string() + deep);
    ASSERT_EQ(dived.status, 0) << dived.err;
    EXPECT_EQ(dived.err.find("one colour"), std::string::npos) << dived.err;
    EXPECT_EQ(dived.err.find("--aim found no boundary"), std::string::npos) << dived.err;
    const std::vector<double> top = chunk_numbers(view_chunk(dir / "deep" / frame_name(0)), "parameter-plane");
    ASSERT_EQ(top.size(), 5u);
    EXPECT_NE(dived.err.find("aimed at " + exact_text(top[0]) + " " + exact_text(top[1]) + " (low parts "),
              std::string::npos)
        << dived.err;
    for (int n = 0; n <= 11; n++) {
        const picture pic = read_png(dir / "deep" / frame_name(n));
        EXPECT_GT(viewport_colours(pic), 1u) << "frame " << n;
        EXPECT_EQ(alike_columns(pic), 0) << "frame " << n;
    }
    setkoords(0.6, 1.4, 0, 0.6, 60, 1);
    zoom_by_hand(xstep, ystep, maxit, true, 550);
    EXPECT_EQ(chunk_numbers(view_chunk(dir / "deep" / frame_name(11)), "parameter-plane"),
              (std::vector<double>{top[0], top[1], xstep, ystep, maxit}));
    ASSERT_EQ(run("--aim --stats --frames " + (dir / "deep-again").string() + deep).status, 0);
    EXPECT_EQ(folder_bytes(dir / "deep-again"), folder_bytes(dir / "deep"));

    // The eye, whose samples settle on two points (about 0.01 + 1.16i and
    // 0.99 - 0.65i) or escape, in large regions of each: where the escapes
    // crowd, a boundary lasts, and the dive's last frame, 300 steps in,
    // shows at least 16 colours, none on nine tenths of its pixels.
    const run_result eye = run("--aim --stats --zoom-in 300 --every 300 --part 2/2 --width 64 --frames " +
                               (dir / "eye").string() + " 1.4032 1.3932 0.63535 0.62785 1000");
    ASSERT_EQ(eye.status, 0) << eye.err;
    EXPECT_EQ(eye.err.find("warning"), std::string::npos) << eye.err;
    const picture last = read_png(dir / "eye" / frame_name(1));
    EXPECT_GE(viewport_colours(last), 16u);
    EXPECT_LE(commonest_share(last), 0.9);
    const std::size_t taken = eye.err.find("on a boundary between ");
    ASSERT_NE(taken, std::string::npos) << eye.err;
    const std::string sides = eye.err.substr(taken, eye.err.find('\n', taken) - taken);
    EXPECT_NE(sides.find("samples that escape"), std::string::npos) << sides;
    EXPECT_TRUE(sides.find("settling near 0.01") != std::string::npos ||
                sides.find("settling near 0.99") != std::string::npos)
        << sides;

    // In the dynamic plane the zoom leaves the limit where it is. At 40,
    // the rim of the black about c = -1.38 + 1.35i is, deep down, a smooth
    // contour of the count, whose samples settle with more steps: no
    // boundary to aim at, and the warnings name the option that raises the
    // limit. With it, the dive keeps detail.
    const std::string dynamic = " --mode 2 --c -1.38,1.35 --zoom-in 300 --every 300 --part 2/2 --width 64 --frames ";
    const std::string view = " 0.22 -0.28 0.1875 -0.1875 40";
    const run_result low = run("--aim" + dynamic + (dir / "low").string() + view);
    EXPECT_NE(low.err.find("--limit-end N"), std::string::npos) << low.err;
    ASSERT_EQ(run("--aim --limit-end 1000" + dynamic + (dir / "raised").string() + view).status, 0);
    const picture raised = read_png(dir / "raised" / frame_name(1));
    EXPECT_GE(viewport_colours(raised), 16u);
    EXPECT_LE(commonest_share(raised), 0.9);
}

// Double precision runs out at a half-width of 3e-13, double-double 53
// bits further in: --help says at which step a dive from the default view
// and one from the wave get to each, and a sequence that goes past the
// precision it is computed in names the first frame that does; a single
// picture says so too.
TEST_F(RenderTool, SequencePastDoublePrecisionIsWarnedOf)
{
    auto first_step_past = [](double half, double end) {
        double yhalf = 1, limit = 50;
        int step = 0;
        for (; std::fabs(half) >= end; step++)
            zoom_by_hand(half, yhalf, limit, true, 1);
        return step;
    };
    const double double_end = 3e-13, double_double_end = std::ldexp(3e-13, -53);
    state_saver saver;
    setkoords(0.6, 1.4, 0, 0.6, 60, 1);
    const double wave = xstep;
    const run_result help = run("--help");
    EXPECT_NE(help.out.find(std::to_string(first_step_past(3, double_double_end)) + " from\nthe default view, " +
                            std::to_string(first_step_past(wave, double_double_end)) + " from 1.4 0.6 0.6 0 60"),
              std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("step " + std::to_string(first_step_past(3, double_end)) + " from the default view, " +
                            std::to_string(first_step_past(wave, double_end)) + " from the other"),
              std::string::npos)
        << help.out;

    const struct {
        const char *precision, *reaches;
        int steps, every;
        double end;
    } dives[] = {{"double", "double", 300, 5, double_end}, {"auto", "double-double", 650, 50, double_double_end}};
    for (const auto &d : dives) {
        const std::string args = " --width 8 --precision " + std::string(d.precision) + " --frames ";
        const run_result deep = run("--zoom-in " + std::to_string(d.steps) + " --every " + std::to_string(d.every) +
                                    args + (dir / d.precision).string());
        ASSERT_EQ(deep.status, 0) << deep.err;
        const int frame = (first_step_past(3, d.end) + d.every - 1) / d.every;
        EXPECT_NE(deep.err.find("warning: from frame " + std::to_string(frame) + " (step " +
                                std::to_string(frame * d.every) + ") on, the frames are deeper than " + d.reaches +
                                " precision reaches"),
                  std::string::npos)
            << deep.err;
    }
    const run_result shallow = run("--zoom-in 630 --every 630 --width 8 --frames " + (dir / "shallow").string());
    EXPECT_EQ(shallow.err.find("precision"), std::string::npos) << shallow.err;
    // A single picture past the end says so as a sequence does.
    const run_result one = run("--half-width 1e-31 --width 8 -o " + (dir / "one.png").string());
    EXPECT_NE(one.err.find("warning: the picture is deeper than double-double precision reaches"), std::string::npos)
        << one.err;
    EXPECT_EQ(run("--half-width 1e-27 --width 8 -o " + (dir / "one.png").string()).err, "");

    // Past double precision an aimed dive is one block in doubles, and the
    // warning blames the precision, not the centre; in double-double it shows detail.
    const std::string aimed = " --zoom-in 400 --every 400 --width 8 --c 1.00232511376894264184880683542231667,"
                              "0.312641896563815993395878893379726922 3 -3 2.25 -2.25 3000 --frames ";
    const run_result blocks = run("--precision double" + aimed + (dir / "blocks").string());
    EXPECT_NE(blocks.err.find("the first frame 1 (step 400): it lies deeper than double precision reaches; "
                              "--precision auto computes it by perturbation"),
              std::string::npos)
        << blocks.err;
    EXPECT_EQ(run(aimed + (dir / "detail").string()).err, "");
    // A view too small for the aim's grid, or without a finite extent, is
    // not searched, and the warning says so rather than that the probes,
    // which were never made, all ended alike.
    for (const std::string view : {" --half-width 1e-28 --c 1.00232511376894264184880683542231667,"
                                   "0.312641896563815993395878893379726922 3 -3 2.25 -2.25 3000",
                                   " inf -inf 1 -1 50"}) {
        const run_result unsearched =
            run("--aim --zoom-in 10 --width 8 --frames " + (dir / "unsearched").string() + " --overwrite" + view);
        EXPECT_EQ(unsearched.status, 0) << unsearched.err;
        EXPECT_NE(unsearched.err.find("warning: --aim cannot search the view"), std::string::npos) << unsearched.err;
        EXPECT_EQ(unsearched.err.find("probes end alike"), std::string::npos) << unsearched.err;
        EXPECT_EQ(unsearched.err.find("the boundary aimed at"), std::string::npos) << unsearched.err;
    }
}

// A view 1e-20 wide, named by the decimals of its centre: computed by
// perturbation it shows detail where doubles show blocks; its record
// keeps the centre's low parts (typed: those of the aimed centre these
// decimals were printed from) and names perturbation, so --from makes it
// again to the byte, while the record of such a picture made before
// perturbation, whose auto computed it in double-double, still makes that
// picture and that record; and --args-of prints no numbers, says that five
// numbers cannot carry it and names it by --c and --half-width and its
// numbers, a command that makes the same picture (its record then holds
// another dynamic-plane view, which mode 0 does not show).
TEST_F(RenderTool, DeepViewsNamedByDecimalsAreMadeAgain)
{
    const std::string centre = "1.00232511376894264184880683542231667,0.312641896563815993395878893379726922";
    const std::string view = " --width 64 --c " + centre + " --half-width 1e-20 3 -3 2.25 -2.25 3000";
    const fs::path deep = dir / "deep.png", again = dir / "again.png", blocks = dir / "blocks.png";
    const run_result first = run("--stats -o " + deep.string() + view);
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.err.find("\nin double-double, where perturbation lost them: 0 samples\n"), std::string::npos)
        << first.err;
    EXPECT_GE(viewport_colours(read_png(deep)), 20u);
    EXPECT_EQ(alike_columns(read_png(deep)), 0);
    const std::string chunk = view_chunk(deep);
    EXPECT_EQ(chunk.rfind("version 3\n", 0), 0u) << chunk;
    EXPECT_EQ(chunk_numbers(chunk, "low-parts"), (std::vector<double>{2.0287242825087184e-17, 2.4794304879860742e-17, 0, 0}));
    EXPECT_NE(chunk.find("\nprecision perturbation"), std::string::npos) << chunk;
    // Seventeen digits or fewer name a double, and the record is the one such a view always had.
    ASSERT_EQ(run("-o " + again.string() + " --width 8 --c -1.38,0.30000000000000004 --half-width 0.1").status, 0);
    EXPECT_EQ(view_chunk(again).rfind("version 1\n", 0), 0u) << view_chunk(again);
    fs::remove(again);

    ASSERT_EQ(run("--from " + deep.string() + " -o " + again.string()).status, 0);
    EXPECT_TRUE(slurp(again) == slurp(deep)) << "--from made another file";
    // Forced on the whole default view, one reference cannot carry every
    // sample: --stats counts those that went on in double-double, in a
    // picture of the explorer's frames and in one of another size alike.
    for (const char *size : {"", " --size 320x200"}) {
        const run_result wide = run(std::string("--precision perturbation --stats") + size + " -o " +
                                    (dir / "wide.png").string());
        const std::string said = "\nin double-double, where perturbation lost them: ";
        const std::size_t at = wide.err.find(said);
        ASSERT_NE(at, std::string::npos) << wide.err;
        EXPECT_GT(std::atoll(wide.err.c_str() + at + said.size()), 0) << wide.err;
        fs::remove(dir / "wide.png");
    }
    ASSERT_EQ(run("--precision double -o " + blocks.string() + view).status, 0);
    EXPECT_GE(alike_columns(read_png(blocks)), 48);
    EXPECT_NE(view_chunk(blocks).find("\nprecision double"), std::string::npos);

    const fs::path dd = dir / "dd.png", old = dir / "old.png";
    ASSERT_EQ(run("--precision double-double -o " + dd.string() + view).status, 0);
    EXPECT_FALSE(read_png(dd).rgb == read_png(deep).rgb) << "perturbation made the double-double picture";
    std::string old_record = view_chunk(dd);
    old_record.replace(old_record.find("\nprecision double-double"), 25, "\nprecision auto");
    write_png_with_texts(old, {{"rootzoom view", old_record}});
    fs::remove(again);
    ASSERT_EQ(run("--from " + old.string() + " -o " + again.string()).status, 0);
    EXPECT_TRUE(read_png(again).rgb == read_png(dd).rgb) << "an older record's auto no longer means double-double";
    EXPECT_EQ(view_chunk(again), old_record);

    const run_result args = run("--args-of " + deep.string());
    EXPECT_NE(args.status, 0);
    EXPECT_EQ(args.out, "");
    EXPECT_NE(args.err.find("five numbers cannot carry the view of"), std::string::npos) << args.err;
    const std::size_t c = args.err.find("--c ");
    ASSERT_NE(c, std::string::npos) << args.err;
    const std::string named = args.err.substr(c, args.err.find(" names it") - c);
    EXPECT_NE(named.find(" --half-width 1e-20"), std::string::npos) << named;
    fs::remove(again);
    ASSERT_EQ(run("--width 64 -o " + again.string() + " " + named).status, 0);
    EXPECT_TRUE(read_png(again).rgb == read_png(deep).rgb) << "the picture of " << named << " differs";

    // With its x axis mirrored the view's half-width is negative; the
    // command names its size, and the numbers after it the orientation.
    const fs::path mirrored = dir / "mirrored.png";
    ASSERT_EQ(run("-o " + mirrored.string() + " --width 64 --c 1.30261234567890123412345678,"
                  "-1.38021234567890123487654321 --half-width 3e-24 -- -3 3 2.25 -2.25 50")
                  .status,
              0);
    const run_result flipped = run("--args-of " + mirrored.string());
    const std::size_t at = flipped.err.find("--c ");
    ASSERT_NE(at, std::string::npos) << flipped.err;
    const std::string command = flipped.err.substr(at, flipped.err.find(" names it") - at);
    EXPECT_NE(command.find(" --half-width 3e-24 -3 3 "), std::string::npos) << command;
    fs::remove(again);
    const run_result made = run("--width 64 -o " + again.string() + " " + command);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(read_png(again).rgb == read_png(mirrored).rgb) << "the picture of " << command << " differs";
    // A view of no extent has no half-width to name: only --from names it.
    const fs::path point = dir / "point.png";
    ASSERT_EQ(run("-o " + point.string() + " --width 8 --c 1.000000000000000000001,0 1 1 1 1 50").status, 0);
    const run_result none = run("--args-of " + point.string());
    EXPECT_NE(none.err.find("rootzoom-render --from " + point.string() + " makes it again"), std::string::npos)
        << none.err;
    EXPECT_EQ(none.err.find("--half-width"), std::string::npos) << none.err;
}

// A sequence's folder holds one sequence. Frames already there with the
// view this sequence gives them, and whole, are kept, so a run that
// stopped goes on where it stopped, and parts run one by one, a frame every
// third to each, give the bytes of one run. Frames of another sequence are
// refused before anything is rendered; with --overwrite they are replaced
// and those past the end removed. Files that are no frames are left alone.
// A longer film from the same start keeps a shorter one's frames.
TEST_F(RenderTool, FilmFolderKeepsItsOwnFramesAndRefusesOthers)
{
    const std::string wave = " --width 64 1.4 0.6 0.6 0 60";
    const fs::path whole = dir / "whole", film = dir / "film";
    const std::string into = " --frames " + film.string();
    ASSERT_EQ(run("--zoom-in 4 --frames " + whole.string() + wave).status, 0);
    ASSERT_EQ(run("--part 2/3 --zoom-in 4" + into + wave).status, 0);
    EXPECT_EQ(names_in(film), (std::vector<std::string>{frame_name(1), frame_name(4)}));
    ASSERT_EQ(run("--part 3/3 --zoom-in 4" + into + wave).status, 0);
    ASSERT_EQ(run("--part 1/3 --zoom-in 4" + into + wave).status, 0);
    EXPECT_EQ(folder_bytes(film), folder_bytes(whole));

    std::ofstream(film / "notes.txt") << "mine";
    std::ofstream(film / "frame-1.png") << "no frame of a sequence";
    const auto before = folder_bytes(film);
    run_result r = run("--zoom-in 4" + into + " --width 64 1.4 0.6 0.6 0 61");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("holds 5 frames of another sequence; nothing was rendered"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(frame_name(0) + " shows another view"), std::string::npos) << r.err;
    r = run("--zoom-in 2" + into + wave);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(frame_name(3) + " lies past this sequence's last frame"), std::string::npos) << r.err;
    EXPECT_EQ(folder_bytes(film), before);
    r = run("--overwrite --stats --zoom-in 2" + into + wave);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames 0 rendered, 3 kept"), std::string::npos) << r.err;
    EXPECT_EQ(names_in(film), (std::vector<std::string>{"frame-00000.png", "frame-00001.png", "frame-00002.png",
                                                        "frame-1.png", "notes.txt"}));

    // Frame 0 cut short and a byte of frame 1's image data changed, as a
    // copy or a disk may leave them: rendered again with frames 3 and 4;
    // frame 2 is kept, the same file as before.
    std::string bytes = slurp(film / frame_name(1));
    bytes[bytes.find("IDAT") + 40] ^= 1;
    std::ofstream(film / frame_name(1), std::ios::binary) << bytes;
    fs::resize_file(film / frame_name(0), fs::file_size(film / frame_name(0)) / 2);
    const ino_t kept = inode(film / frame_name(2));
    r = run("--stats --zoom-in 4" + into + wave);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames 4 rendered, 1 kept"), std::string::npos) << r.err;
    EXPECT_EQ(inode(film / frame_name(2)), kept);
    fs::remove(film / "notes.txt");
    fs::remove(film / "frame-1.png");
    EXPECT_EQ(folder_bytes(film), folder_bytes(whole));

    // The folder is the tool's: a symbolic link in a frame's place is
    // refused, named as one; with --overwrite the link itself is replaced,
    // and the file it points to, outside the folder, is left as it was.
    std::ofstream(dir / "victim.txt") << "not a frame";
    fs::remove(film / frame_name(2));
    fs::create_symlink(dir / "victim.txt", film / frame_name(2));
    r = run("--zoom-in 4" + into + wave);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(frame_name(2) + " is a symbolic link"), std::string::npos) << r.err;
    r = run("--overwrite --zoom-in 4" + into + wave);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(dir / "victim.txt"), "not a frame");
    EXPECT_EQ(folder_bytes(film), folder_bytes(whole));
    EXPECT_FALSE(fs::is_symlink(film / frame_name(2)));

    // A frame cut short before its view, or empty, is this film's
    // unfinished work, and so is a whole PNG with the frame's view but
    // another size: rendered again, without --overwrite.
    fs::resize_file(film / frame_name(3), 100);
    std::ofstream(film / frame_name(4), std::ios::trunc).flush();
    write_png_with_texts(film / frame_name(1), {{"rootzoom view", view_chunk(whole / frame_name(1))}});
    r = run("--stats --zoom-in 4" + into + wave);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames 3 rendered, 2 kept"), std::string::npos) << r.err;
    EXPECT_EQ(folder_bytes(film), folder_bytes(whole));

    // A FIFO or a folder in a frame's place is refused before anything is
    // rendered, --overwrite or not, and nothing waits on the FIFO (the bound
    // only keeps a run that would wait from holding the test up).
    fs::remove(film / frame_name(1));
    fs::remove(film / frame_name(3));
    ASSERT_EQ(mkfifo((film / frame_name(3)).c_str(), 0600), 0);
    for (const char *kind : {"a FIFO", "a folder"}) {
        for (const std::string how : {"", "--overwrite "}) {
            r = run(how + "--zoom-in 4" + into + wave, "timeout 60 ");
            EXPECT_EQ(r.status, 2) << how << kind << ": " << r.err;
            EXPECT_NE(r.err.find(frame_name(3) + " is " + kind), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(film / frame_name(1))) << how << kind;
        }
        fs::remove(film / frame_name(3));
        fs::create_directory(film / frame_name(3));
    }

    // An aimed film made longer keeps the frames it has: the aim's centre
    // does not depend on how far the film goes.
    const fs::path grown = dir / "grown";
    const std::string aimed = " --aim --every 50 --width 8 --frames " + grown.string() + " 1.4 0.6 0.6 0 60";
    ASSERT_EQ(run("--zoom-in 100" + aimed).status, 0);
    const auto shorter = folder_bytes(grown);
    r = run("--stats --zoom-in 200" + aimed);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("frames 2 rendered, 3 kept"), std::string::npos) << r.err;
    const auto longer = folder_bytes(grown);
    ASSERT_EQ(longer.size(), 5u);
    EXPECT_EQ(std::vector(longer.begin(), longer.begin() + 3), shorter);
    // Limits set from the last frame's change with the film's length, and
    // the refusal says so: from 60 to 100 over 4 steps frame 1 has
    // 60 * (100 / 60)^(1/4), 68; over 8, 60 * (100 / 60)^(1/8), 64.
    ASSERT_EQ(run("--zoom-in 4 --limit-end 100 --frames " + (dir / "limits").string() + wave).status, 0);
    r = run("--zoom-in 8 --limit-end 100 --frames " + (dir / "limits").string() + wave);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(frame_name(1) + " shows another iteration limit, 68 where this sequence has 64: "
                         "--limit-end sets every frame's limit"),
              std::string::npos)
        << r.err;
}

// The progress line's estimate, as the README gives it: each finished
// frame's time fitted as a + b * limit by least squares, neither part
// negative; past the highest limit seen, the line bends over, so that a
// frame costs more than the latest but never more than the line says.
TEST(FrameCosts, FitTheFramesDoneAgainstTheirLimits)
{
    frame_costs rising;
    EXPECT_EQ(rising.expected(100), 0);
    for (double limit : {100.0, 200.0, 300.0})
        rising.add(limit, 1 + limit / 100);  // a = 1, b = 0.01
    EXPECT_NEAR(rising.expected(150), 2.5, 1e-12);
    EXPECT_NEAR(rising.expected(300), 4, 1e-12);
    double before = 4;
    for (double limit : {400.0, 1000.0, 1e4, 1e6}) {
        const double cost = rising.expected(limit);
        EXPECT_GT(cost, before) << limit;
        EXPECT_LT(cost, 1 + limit / 100) << limit;
        before = cost;
    }
    frame_costs falling;  // a negative slope: the mean
    for (double limit : {100.0, 200.0, 300.0})
        falling.add(limit, 4 - limit / 100);
    EXPECT_NEAR(falling.expected(1000), 2, 1e-12);
    frame_costs origin;  // a line that would start below zero: through the origin
    origin.add(100, 0.5);
    origin.add(200, 3);
    EXPECT_NEAR(origin.expected(150), 150 * (100 * 0.5 + 200 * 3) / (100.0 * 100 + 200 * 200), 1e-12);
}
