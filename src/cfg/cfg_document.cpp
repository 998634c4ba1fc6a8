#include "cfg/cfg_document.h"

#include <cstdint>
#include <cstring>

#include "support/xml_handle.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Control bytes other than tab, newline and carriage return, malformed or
// overlong sequences, surrogates and U+FFFE, U+FFFF would make the document
// ill-formed and the whole configuration unreadable.
std::size_t cfg_document_char_length(const unsigned char *s)
{
    const unsigned char lead = s[0];
    if (lead < 0x80)
        return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;

    std::size_t len;
    uint32_t cp;
    uint32_t min;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2, cp = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3, cp = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4, cp = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    // The terminating NUL is no continuation byte, so this stops at the end.
    for (std::size_t i = 1; i < len; i++) {
        if ((s[i] & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
        return 0;
    return len;
}

// Plain runs are the bulk of long texts, so where the processor allows it
// they are skipped sixteen bytes at a time.
const unsigned char *cfg_document_skip_plain(const unsigned char *start, const unsigned char *s,
                                             const unsigned char *end)
{
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&');
    const __m128i lt = _mm_set1_epi8('<');
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i space = _mm_set1_epi8(0x20);
    for (; end - s >= 16; s += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(s));
        // A signed compare: bytes of 0x80 and above count as below the blank.
        const __m128i look =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, amp), _mm_cmpeq_epi8(x, lt)),
                         _mm_cmplt_epi8(x, space));
        const __m128i closes = _mm_cmpeq_epi8(x, gt);
        if (_mm_movemask_epi8(_mm_or_si128(look, closes)) == 0)
            continue;
        auto stop = static_cast<unsigned int>(_mm_movemask_epi8(look));
        if (const auto close_mask = static_cast<unsigned int>(_mm_movemask_epi8(closes));
            close_mask != 0) {
            const auto brackets = static_cast<unsigned int>(
                _mm_movemask_epi8(_mm_cmpeq_epi8(x, _mm_set1_epi8(']'))));
            const unsigned int bracket_before = s > start && s[-1] == ']' ? 1 : 0;
            stop |= close_mask & (brackets << 1 | bracket_before);
        }
        if (stop != 0)
            return s + __builtin_ctz(stop);
    }
#endif
    for (; s < end; s++) {
        const unsigned char c = *s;
        if (c == '&' || c == '<' || c < 0x20 || c >= 0x80 || (c == '>' && s > start && s[-1] == ']'))
            break;
    }
    return s;
}

bool cfg_text_fits_document(const char *text)
{
    const std::size_t len = strnlen(text, kXmlTextMax + 1);
    if (len > kXmlTextMax)
        return false;
    // Only a replaced byte grows, from one byte to three; most texts are
    // short enough for that not to matter.
    if (len <= kXmlTextMax / 3)
        return true;
    const auto *start = reinterpret_cast<const unsigned char *>(text);
    const unsigned char *s = start;
    const unsigned char *end = s + len;
    std::size_t written = len;
    while ((s = cfg_document_skip_plain(start, s, end)) < end) {
        if (const std::size_t n = cfg_document_char_length(s); n != 0) {
            s += n;
            continue;
        }
        written += 2;
        if (written > kXmlTextMax)
            return false;
        s++;
    }
    return true;
}
