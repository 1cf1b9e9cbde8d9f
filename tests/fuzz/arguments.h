// arguments.h -- turns a fuzz input into an argument vector, split at NUL bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The words own the text; argv points into them and ends with a null
// pointer, as main's does.
struct arguments {
    std::vector<std::string> words;
    std::vector<char *> argv;
    int argc() const { return int(words.size()); }
};

// The words after the given first ones come from the input, at most
// max_words in all.
inline arguments split_arguments(const std::uint8_t *data, std::size_t size, std::vector<std::string> first,
                                 std::size_t max_words)
{
    arguments a{std::move(first), {}};
    for (std::size_t i = 0; i < size && a.words.size() < max_words; i++) {
        if (data[i] == 0)
            a.words.emplace_back();
        else
            a.words.back() += char(data[i]);
    }
    for (std::string &w : a.words)
        a.argv.push_back(w.data());
    a.argv.push_back(nullptr);
    return a;
}
