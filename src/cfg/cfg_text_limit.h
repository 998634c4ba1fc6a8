// The longest text a version-1 document carries back to its reader. Every
// text the configuration model stores passes this test first, so that
// whatever the writer makes of the model reads back whole.
#pragma once

#include <cstddef>

// The XML library reads no text node longer than this; the reader does not
// lift the limit, lest a document hold texts of any size.
inline constexpr std::size_t kCfgTextMax = 10000000;

// Whether `text` as the writer writes it reads back: at most kCfgTextMax
// bytes once every byte the writer replaces has become the three of
// U+FFFD.
bool cfg_text_fits_document(const char *text);
