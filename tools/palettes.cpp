// palettes.cpp -- reads .map palette files strictly, and finds the palettes installed with the program by name
//
// The .map format is what many fractal programs share: a colour a line,
// three numbers, and often the palette's title or a note after them. A
// file is read whole but bounded, so a huge file or a device given by
// mistake is refused instead of read for ever.
#include "tools/palettes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/palette.h"
#include "tools/printable.h"

namespace {

constexpr std::size_t longest_line = 1024;  // bytes of a line, its end included
constexpr std::size_t largest_file = MAX_PALETTE_ENTRIES * longest_line;

bool blank(char ch) { return ch == ' ' || ch == '\t'; }

// One line's colour: three numbers of one to three digits, each at most
// 255, after blanks; whatever follows the third is the line's own.
bool read_colour(const std::string &line, std::uint32_t &colour)
{
    std::size_t at = 0;
    colour = 0;
    for (int c = 0; c < 3; c++) {
        const std::size_t start = at;
        while (at < line.size() && blank(line[at]))
            at++;
        if (c > 0 && at == start)
            return false;  // no blank between two numbers
        int value = 0, digits = 0;
        for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; at++, digits++)
            value = digits < 3 ? value * 10 + (line[at] - '0') : 256;
        if (digits == 0 || value > 255)
            return false;
        colour |= std::uint32_t(value) << (8 * c);
    }
    return true;
}

// The file's bytes, at most largest_file of them; only a regular file,
// opened without waiting, so a FIFO or a device is refused at once.
bool read_bounded(const std::string &path, std::string &text, std::string &why)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat s;
    if (fd < 0 || fstat(fd, &s) != 0) {
        why = "cannot read the palette " + printable(path) + ": " + std::strerror(errno);
        if (fd >= 0)
            close(fd);
        return false;
    }
    text.assign(largest_file + 1, '\0');
    std::size_t got = 0;
    ssize_t n = 0;
    if (S_ISREG(s.st_mode))
        while (got < text.size() && (n = read(fd, text.data() + got, text.size() - got)) > 0)
            got += std::size_t(n);
    const int error = errno;
    close(fd);
    text.resize(got);
    if (!S_ISREG(s.st_mode))
        why = "the palette " + printable(path) + " is not a regular file";
    else if (n < 0)
        why = "cannot read the palette " + printable(path) + ": " + std::strerror(error);
    else if (got > largest_file)
        why = "the palette " + printable(path) + " is larger than a palette of 256 lines can be (" +
              std::to_string(largest_file) + " bytes)";
    return why.empty();
}

// The folders palettes are installed in, most likely first: beside the
// program as installed (bin/../share/rootzoom/palettes), under the prefix
// it was built for, and in the source tree, for a program run from its
// build folder.
std::vector<std::string> palette_folders()
{
    std::vector<std::string> folders;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        folders.push_back((self.parent_path().parent_path() / "share/rootzoom/palettes").string());
    folders.push_back(ROOTZOOM_DATADIR "/rootzoom/palettes");
    folders.push_back(ROOTZOOM_SOURCE_DIR "/palettes");
    return folders;
}

// A name is letters, digits and '-', so it never reaches out of the folder.
bool plain_name(const std::string &name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-';
    });
}

// The names of the palettes in the first folder that has any.
std::string names_there_are()
{
    for (const std::string &folder : palette_folders()) {
        std::vector<std::string> names;
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
            const std::string file = it->path().filename().string();
            if (file.size() > 4 && file.ends_with(".map") && plain_name(file.substr(0, file.size() - 4)))
                names.push_back(file.substr(0, file.size() - 4));
        }
        std::sort(names.begin(), names.end());
        std::string list;
        for (const std::string &name : names)
            list += (list.empty() ? "" : ", ") + name;
        if (!list.empty())
            return list;
    }
    return "";
}

}  // namespace

bool names_palette_file(const std::string &value)
{
    return value.find('/') != std::string::npos || value.ends_with(".map");
}

bool read_palette_file(const std::string &path, std::vector<std::uint32_t> &colours, std::string &why)
{
    std::string text;
    if (!read_bounded(path, text, why))
        return false;
    colours.clear();
    const std::string name = "the palette " + printable(path);
    std::size_t start = 0, blank_from = 0;  // blank_from: the first line of the blank lines at the end, 0 for none
    for (std::size_t line_number = 1; start < text.size(); line_number++) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::string where = name + ", line " + std::to_string(line_number);
        if (line.size() + 1 > longest_line) {
            why = where + ", is longer than " + std::to_string(longest_line - 1) + " bytes";
            return false;
        }
        if (line.ends_with('\r'))
            line.pop_back();
        if (std::all_of(line.begin(), line.end(), blank)) {
            blank_from = blank_from ? blank_from : line_number;
            continue;
        }
        std::uint32_t colour;
        if (blank_from) {
            why = name + ", line " + std::to_string(blank_from) + ", is blank: blank lines may only end the file";
            return false;
        }
        if (!read_colour(line, colour)) {
            why = where + ", is not three whole numbers from 0 to 255 (red, green, blue): '" + printable(line, 120) + "'";
            return false;
        }
        if (colours.size() == MAX_PALETTE_ENTRIES) {
            why = where + ": a palette has at most 256 colours";
            return false;
        }
        colours.push_back(colour);
    }
    if (colours.empty())
        why = name + " holds no colour";
    return !colours.empty();
}

bool read_named_palette(const std::string &name, std::vector<std::uint32_t> &colours, std::string &why)
{
    if (plain_name(name))
        for (const std::string &folder : palette_folders()) {
            const std::string path = folder + "/" + name + ".map";
            if (access(path.c_str(), F_OK) == 0)
                return read_palette_file(path, colours, why);
        }
    const std::string there = names_there_are();
    why = "there is no palette '" + printable(name) + "'" +
          (there.empty() ? "; no palettes are installed" : ": the palettes are " + there) +
          "; a file is named with a '/' or ending in .map (./" + printable(name) + ")";
    return false;
}

void use_palette(const std::vector<std::uint32_t> &colours)
{
    for (int i = 0; i < 256; i++)
        mycoltab[i] = colours[std::size_t(i) % colours.size()];
}

bool is_explorers_palette(const std::vector<std::uint32_t> &colours)
{
    const std::vector<std::uint32_t> kept(mycoltab, mycoltab + 256);
    make_palette();
    bool same = !colours.empty();
    for (int i = 0; same && i < 256; i++)
        same = mycoltab[i] == colours[std::size_t(i) % colours.size()];
    std::copy(kept.begin(), kept.end(), mycoltab);
    return same;
}
