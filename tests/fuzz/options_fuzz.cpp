// options_fuzz.cpp -- libFuzzer target: rootzoom-render's command line
//
// The input is split at NUL bytes into an argument vector. Reading it must
// not crash, and what it accepts must be a picture the tool can make.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> words(1, "rootzoom-render");
    words.emplace_back();
    for (std::size_t i = 0; i < size && words.size() < 16; i++) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += char(data[i]);
    }
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    options o;
    std::string why;
    if (!parse_options(int(words.size()), argv.data(), o, why)) {
        if (why.empty())
            std::abort();  // every refusal says why
        return 0;
    }
    if (o.help)
        return 0;
    const bool ok = o.mode >= 0 && o.mode <= 2 && o.tiles >= 1 && o.tiles <= 16 && !o.output.empty() &&
                    (o.numbers.empty() || o.numbers.size() == 5) && o.width >= 0 && o.width <= 1024 &&
                    !(o.has_width && o.tiles > 1);
    if (!ok)
        std::abort();
    return 0;
}
