// viewtag.cpp -- writes a picture's view into its PNG as text, and reads it back strictly
//
// The chunk's text is the view record that view/viewrecord.cpp writes, for
// the explorer's window as well.
#include "tools/viewtag.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "app/screen.h"
#include "engine/colouring.h"
#include "tools/options.h"
#include "tools/palettes.h"
#include "tools/printable.h"
#include "tools/tiles.h"
#include "view/viewstate.h"

extern const char view_keyword[] = "rootzoom view";

namespace {

const char software[] = "rootzoom-render " ROOTZOOM_VERSION;
// See view/viewrecord.cpp for what each version adds.
constexpr int newest_view_version = 4;

// A number as exact_text writes it, and nothing else: no "1.40", no "+1",
// no "1e400"; so a damaged digit that still reads as a number is caught
// as often as it can be.
bool read_exact(const std::string &word, double *value)
{
    double v = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), v);
    if (error != std::errc() || end != word.data() + word.size() || exact_text(v) != word)
        return false;
    *value = v;
    return true;
}

bool read_yes_no(const std::string &word, bool *value)
{
    if (word != "yes" && word != "no")
        return false;
    *value = word == "yes";
    return true;
}

std::vector<std::string> split(const std::string &text, char at)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(at, start)) != std::string::npos; start = end + 1)
        parts.push_back(text.substr(start, end - start));
    parts.push_back(text.substr(start));
    return parts;
}

// The readers of the lines after the version, each given the line's values.
using values = std::vector<std::string>;

bool read_numbers(const values &v, double *into, std::size_t n)
{
    if (v.size() != n)
        return false;
    for (std::size_t i = 0; i < n; i++)
        if (!read_exact(v[i], &into[i]))
            return false;
    return true;
}

bool read_mode(const values &v, picture_record &r)
{
    if (v.size() != 1 || (v[0] != "0" && v[0] != "1" && v[0] != "2"))
        return false;
    r.mode = v[0][0] - '0';
    return true;
}

bool read_given_numbers(const values &v, picture_record &r)
{
    r.has_numbers = !(v.size() == 1 && v[0] == "none");
    return !r.has_numbers || read_numbers(v, r.numbers, 5);
}

bool read_parameter(const values &v, picture_record &r) { return read_numbers(v, r.parameter, 5); }
bool read_dynamic(const values &v, picture_record &r) { return read_numbers(v, r.dynamic, 5); }
bool read_z0(const values &v, picture_record &r) { return read_numbers(v, r.z0, 2); }
bool read_width(const values &v, picture_record &r)
{
    return read_numbers(v, &r.width, 1) && r.width >= 0 && r.width <= SCREEN_W;
}
bool read_coarse(const values &v, picture_record &r) { return v.size() == 1 && read_yes_no(v[0], &r.coarse); }
bool read_logo(const values &v, picture_record &r) { return v.size() == 1 && read_yes_no(v[0], &r.logo); }
bool read_supersample(const values &v, picture_record &r)
{
    return v.size() == 1 && read_count(v[0].c_str(), &r.supersample) && r.supersample >= 1 &&
           r.supersample <= MAX_SUPERSAMPLE && v[0] == std::to_string(r.supersample);
}

bool read_low(const values &v, picture_record &r) { return read_numbers(v, r.low, 4); }
bool read_precision(const values &v, picture_record &r)
{
    for (int p = PRECISION_AUTO; p <= PRECISION_PERTURBATION; p++)
        if (v.size() == 1 && v[0] == precision_name(p)) {
            r.precision = p;
            return true;
        }
    return false;
}

// "WxH" as the writer writes it. Before version 4 every picture was k x k
// frames of the explorer's size; the version is checked once all is read.
bool read_size(const values &v, picture_record &r)
{
    std::string why;
    if (v.size() != 1 || v[0] == "hd" || v[0] == "4k" || !read_picture_size(v[0].c_str(), r.size, &why))
        return false;
    r.tiles = tile_factor(r.size[0], r.size[1]);
    return v[0] == std::to_string(r.size[0]) + "x" + std::to_string(r.size[1]);
}

bool read_colouring(const values &v, picture_record &r)
{
    for (int c = COLOURING_COUNT; c <= COLOURING_BASIN; c++)
        if (v.size() == 1 && v[0] == colouring_name(c)) {
            r.colouring = c;
            return true;
        }
    return false;
}

// "explorer", or the count of colours and each one's six hexadecimal
// digits, as palette_text writes them; the explorer's own colours are
// never written out.
bool read_palette(const values &v, picture_record &r)
{
    int count = 0;
    if (v.size() == 1 && v[0] == "explorer")
        return true;
    if (v.empty() || !read_count(v[0].c_str(), &count) || count < 1 || count > MAX_PALETTE_ENTRIES ||
        v.size() != std::size_t(count) + 1)
        return false;
    for (int i = 1; i <= count; i++) {
        if (v[i].size() != 6 || v[i].find_first_not_of("0123456789abcdef") != std::string::npos)
            return false;
        const unsigned long rgb = std::stoul(v[i], nullptr, 16);
        r.palette.push_back(std::uint32_t(rgb >> 16 | (rgb & 0xff00) | (rgb & 0xff) << 16));
    }
    return palette_text(r.palette) == [&] {
        std::string text;
        for (const std::string &word : v)
            text += (text.empty() ? "" : " ") + word;
        return text;
    }() && !is_explorers_palette(r.palette);
}

struct field {
    const char *name;
    bool (*read)(const values &v, picture_record &r);
};

const field fields[] = {
    {"mode", read_mode}, {"numbers", read_given_numbers}, {"parameter-plane", read_parameter},
    {"dynamic-plane", read_dynamic}, {"z0", read_z0}, {"width", read_width},
    {"coarse", read_coarse}, {"size", read_size}, {"logo", read_logo}, {"supersample", read_supersample},
    {"low-parts", read_low}, {"precision", read_precision}, {"colouring", read_colouring}, {"palette", read_palette},
};
const std::size_t fields_of_version[] = {0, 9, 10, 12, 14};  // the lines after the version line

// libpng reports trouble through these; the message is kept for the error
// and warnings are not printed.
struct read_trouble {
    char message[200] = "";
};

extern "C" void on_png_error(png_structp png, png_const_charp message)
{
    read_trouble *t = static_cast<read_trouble *>(png_get_error_ptr(png));
    std::snprintf(t->message, sizeof t->message, "%s", message);
    png_longjmp(png, 1);
}

extern "C" void on_png_warning(png_structp, png_const_charp) {}

// What the text chunks in front of the image data say of the view: how many
// views there are, the last one's text, and whether one could not be read.
struct view_search {
    int found = 0;
    std::string text;
    bool unreadable = false;
};

// The text of a compressed chunk; false for a damaged stream or a text
// longer than any view (a hostile file may inflate to gigabytes).
bool inflate_text(const png_byte *data, std::size_t size, std::string *text)
{
    z_stream z = {};
    if (inflateInit(&z) != Z_OK)
        return false;
    std::string out(65536, '\0');
    z.next_in = const_cast<png_byte *>(data);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    inflateEnd(&z);
    *text = out;
    return ended;
}

// The view's text from a tEXt, zTXt or iTXt chunk whose keyword is the
// view's; false when the chunk's fields are damaged.
bool chunk_text(const png_unknown_chunk &c, std::size_t after_key, std::string *text)
{
    const char *data = reinterpret_cast<const char *>(c.data);
    const std::string_view body(data + after_key, c.size - after_key);
    const std::string name(reinterpret_cast<const char *>(c.name), 4);
    if (name == "tEXt") {
        *text = body;
        return true;
    }
    if (name == "zTXt")
        return body.size() >= 1 && body[0] == 0 && inflate_text(c.data + after_key + 1, body.size() - 1, text);
    // iTXt: compression flag and method, language tag, translated keyword, text.
    if (body.size() < 2 || (body[0] != 0 && body[0] != 1) || body[1] != 0)
        return false;
    const std::size_t language_end = body.find('\0', 2);
    const std::size_t translated_end =
        language_end == std::string::npos ? std::string::npos : body.find('\0', language_end + 1);
    if (translated_end == std::string::npos)
        return false;
    const std::size_t at = after_key + translated_end + 1;
    if (body[0] == 1)
        return inflate_text(c.data + at, c.size - at, text);
    text->assign(data + at, c.size - at);
    return true;
}

// Every text chunk comes here, read by libpng as a chunk it does not know,
// so that none is kept: libpng keeps at most 1000 text chunks, and keeping
// more costs time that grows with the square of their number. Those of
// other keywords are dropped.
extern "C" int on_text_chunk(png_structp png, png_unknown_chunkp c)
{
    view_search *s = static_cast<view_search *>(png_get_user_chunk_ptr(png));
    const std::size_t key_length = sizeof view_keyword - 1;
    if (c->size <= key_length || std::memcmp(c->data, view_keyword, key_length) != 0 || c->data[key_length] != 0)
        return 1;
    ++s->found;
    if (!chunk_text(*c, key_length + 1, &s->text))
        s->unreadable = true;
    return 1;
}

// Reads the chunks in front of the image data and finds the view's among
// them. A frame of its own for the setjmp, with nothing in it to destroy.
bool read_view_chunks(png_structp png, png_infop info, view_search *s)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    static const png_byte text_chunks[] = {'t', 'E', 'X', 't', 0, 'z', 'T', 'X', 't', 0, 'i', 'T', 'X', 't', 0};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, text_chunks, 3);
    png_set_read_user_chunk_fn(png, s, on_text_chunk);
    png_read_info(png, info);
    return true;
}

}  // namespace

bool same_double(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

// setkoords leaves no low parts, so a view with any is not made by numbers.
bool numbers_make_views(const picture_record &r)
{
    for (double low : r.low)
        if (low != 0)
            return false;
    picture_record now, made;
    capture_views(now);
    const int was_calc = calc;
    setkoords(r.numbers[1], r.numbers[0], r.numbers[3], r.numbers[2], r.numbers[4], 0);
    capture_views(made);
    restore_views(now);
    calc = was_calc;
    for (int i = 0; i < 5; i++)
        if (!same_double(made.parameter[i], r.parameter[i]) || !same_double(made.dynamic[i], r.dynamic[i]))
            return false;
    return true;
}

// The five numbers are kept only where they still make the views: --c
// moves the parameter plane's centre off them; --limit is their fifth.
picture_record describe_picture(const options &o, const picture_record *from)
{
    picture_record r;
    r.mode = do_julia;
    capture_views(r);
    r.z0[0] = ZX, r.z0[1] = ZY;
    if (o.numbers.size() == 5) {
        r.has_numbers = true;
        std::copy(o.numbers.begin(), o.numbers.end(), r.numbers);
    } else if (from && from->has_numbers) {
        r.has_numbers = true;
        std::copy(from->numbers, from->numbers + 5, r.numbers);
    }
    if (o.has_limit)  // the fifth number, given apart
        r.numbers[4] = o.limit;
    r.has_numbers = r.has_numbers && numbers_make_views(r);
    r.width = o.width;
    r.coarse = o.coarse;
    r.tiles = o.tiles;
    r.size[0] = o.size[0], r.size[1] = o.size[1];
    r.colouring = o.colouring;
    if (!is_explorers_palette(o.palette))
        r.palette = o.palette;
    r.logo = o.logo;
    r.supersample = o.supersample;
    r.precision = precision;
    return r;
}

// The version comes first and alone decides how the rest is read.
bool parse_view_text(const std::string &text, picture_record &r, std::string &why)
{
    const std::vector<std::string> lines = split(text, '\n');
    const std::vector<std::string> first = split(lines[0], ' ');
    if (first.size() != 2 || first[0] != "version") {
        why = "its first line is not 'version N'";
        return false;
    }
    int version = 0;
    for (int known = 1; known <= newest_view_version; known++)
        version = first[1] == std::to_string(known) ? known : version;
    if (version == 0) {
        why = "it has version '" + printable(first[1]) +
              "', which this rootzoom-render does not know (it knows versions 1 to " +
              std::to_string(newest_view_version) + ")";
        return false;
    }
    const std::size_t count = fields_of_version[version];
    if (lines.size() != count + 1) {
        why = "it has " + std::to_string(lines.size()) + " lines, not " + std::to_string(count + 1);
        return false;
    }
    picture_record read;
    for (std::size_t i = 0; i < count; i++) {
        values v = split(lines[i + 1], ' ');
        const std::string name = v[0];
        v.erase(v.begin());
        if (name != fields[i].name) {
            why = "line " + std::to_string(i + 2) + " is not the '" + fields[i].name + "' line";
            return false;
        }
        if (!fields[i].read(v, read)) {
            why = "its '" + name + "' line is damaged: '" + printable(lines[i + 1], 120) + "'";
            return false;
        }
    }
    if (!record_in_range(read, why))
        return false;
    if (version < 4 && read.tiles == 0) {
        why = "it gives a size other than k x (1024x768) in a record before version 4";
        return false;
    }
    // Before perturbation, auto computed a deep picture in double-double.
    if (read.precision == PRECISION_AUTO && record_is_deep(read))
        read.precision = PRECISION_AUTO_DOUBLE_DOUBLE;
    r = read;
    return true;
}

namespace {

// A centre's low part holds what its double cannot: at most half of the
// double's last place, as every centre this tool and the explorer write has.
// A centre that is not finite has none.
bool low_part_fits(double centre, double low)
{
    const double place = std::nextafter(std::fabs(centre), INFINITY) - std::fabs(centre);
    return low == 0 || (std::isfinite(centre) && std::isfinite(low) && std::fabs(low) <= place / 2);
}

}  // namespace

// Every line reads, but together they may still ask for what no picture of
// this tool is: a viewport width with a picture of several frames or
// supersampled (such a picture is made at full width), a viewport width or
// the coarse pass with a picture that is not the explorer's frames, an
// iteration limit beyond what the renderer iterates to, or a low part that
// no centre has.
bool record_in_range(const picture_record &r, std::string &why)
{
    const struct {
        const char *line;
        bool given;
        double limit;
    } limits[] = {{"numbers", r.has_numbers, r.numbers[4]},
                  {"parameter-plane", true, r.parameter[4]},
                  {"dynamic-plane", true, r.dynamic[4]}};
    for (const auto &l : limits)
        if (l.given && !limit_in_range(l.limit)) {
            why = std::string("its '") + l.line + "' line gives the iteration limit " + exact_text(l.limit) +
                  ", not " + limit_range_text;
            return false;
        }
    const double centres[4] = {r.parameter[0], r.parameter[1], r.dynamic[0], r.dynamic[1]};
    for (int i = 0; i < 4; i++)
        if (!low_part_fits(centres[i], r.low[i])) {
            why = "its 'low-parts' line gives the low part " + exact_text(r.low[i]) + " for the centre " +
                  exact_text(centres[i]) + ", not a finite number within half of that centre's last place";
            return false;
        }
    if (r.width != SCREEN_W && (r.tiles > 1 || r.supersample > 1))
        why = std::string("it gives a viewport width with a picture of ") +
              (r.tiles > 1 ? "several frames" : "supersampled pixels");
    else if ((r.width != SCREEN_W || r.coarse) && !(r.tiles > 0 && r.colouring == COLOURING_COUNT))
        why = "it gives a viewport width or the coarse pass with a picture that is not the explorer's frames";
    return why.empty();
}

bool read_view_file(const std::string &file, picture_record &r, std::string &why)
{
    std::FILE *f = std::fopen(file.c_str(), "rb");
    if (!f) {
        why = "cannot read " + printable(file) + ": " + std::strerror(errno);
        return false;
    }
    const bool read = read_view_stream(f, file, r, why);
    std::fclose(f);
    return read;
}

bool read_view_stream(std::FILE *f, const std::string &file, picture_record &r, std::string &why, picture_size *size)
{
    const std::string path = printable(file);
    png_byte signature[8];
    const bool png_file = std::fread(signature, 1, 8, f) == 8 && png_sig_cmp(signature, 0, 8) == 0;
    read_trouble trouble;
    png_structp png = png_file ? png_create_read_struct(PNG_LIBPNG_VER_STRING, &trouble, on_png_error, on_png_warning)
                               : nullptr;
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    view_search search;
    bool read = false;
    if (info) {
        png_init_io(png, f);
        png_set_sig_bytes(png, 8);
        // A damaged text chunk is an error, not a chunk to drop quietly.
        png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
        read = read_view_chunks(png, info, &search);
        if (read && size)
            *size = {int(png_get_image_width(png, info)), int(png_get_image_height(png, info))};
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!png_file)
        why = path + " is not a PNG file";
    else if (!read)
        why = path + " is a damaged PNG file (" + printable(trouble.message) + ")";
    else if (search.found == 0)
        why = path + " holds no view: it was not made by rootzoom-render, or a program that rewrote it dropped "
                     "its '" + view_keyword + "' text";
    else if (search.found > 1)
        why = path + " holds " + std::to_string(search.found) + " views, not one";
    else if (search.unreadable)
        why = path + ": its view is damaged: its text chunk cannot be read";
    else if (parse_view_text(search.text, r, why))
        return true;
    else
        why = path + ": its view is damaged: " + why;
    return false;
}

void add_view_chunks(png_structp png, png_infop info, const std::string &text)
{
    png_text chunks[2] = {};
    chunks[0].compression = chunks[1].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[0].key = const_cast<char *>("Software");
    chunks[0].text = const_cast<char *>(software);
    chunks[1].key = const_cast<char *>(view_keyword);
    chunks[1].text = const_cast<char *>(text.c_str());
    png_set_text(png, info, chunks, 2);
}

void take_from(options &o, const picture_record &file)
{
    if (!o.has_mode)
        o.mode = file.mode;
    if (!o.has_precision)
        o.precision = file.precision;
    if (!o.has_z0)
        o.z0[0] = file.z0[0], o.z0[1] = file.z0[1];
    o.coarse |= file.coarse;
    o.logo &= file.logo;
    if (!o.has_tiles) {
        o.tiles = o.has_width ? 1 : file.tiles;
        o.size[0] = o.has_width ? SCREEN_W : file.size[0], o.size[1] = o.has_width ? SCREEN_H : file.size[1];
    }
    if (!o.has_colouring)
        o.colouring = o.has_width ? COLOURING_COUNT : file.colouring;
    if (!o.has_palette)
        o.palette = file.palette;
    if (!explorer_frames(o))  // a viewport and the coarse pass belong to the explorer's frames
        o.coarse = false;
    if (!o.has_supersample)
        o.supersample = o.has_width ? 1 : file.supersample;
    if (!o.has_width)
        o.width = o.tiles > 1 || o.supersample > 1 || !explorer_frames(o) ? SCREEN_W : file.width;
}
