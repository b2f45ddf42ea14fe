// The texts a user reads (help, console and log messages, the status window's
// lines) as the tests expect them, from tests/support/texts.txt, which the
// Wine tests read too.
#pragma once

#include <string>
#include <string_view>

namespace texts {

// The text called `name`. A name the file does not hold stops the tests: a
// misspelt name must not pass as an empty text.
const std::u16string& text(std::string_view name);

// `name`'s text with each %s and %d in it replaced by `value`.
std::u16string text(std::string_view name, std::u16string_view value);

}  // namespace texts
