#include "BrisendoKit/Support/Text.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>

#include <memory>

namespace pivorel::text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of a well-formed sequence starting at `i`, or 0 with `badLength` set to the
// length of the maximal ill-formed subpart to replace.
std::size_t wellFormedLength(std::string_view s, std::size_t i, std::size_t& badLength) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b0 = byte(i);
    badLength = 1;
    if (b0 < 0x80) return 1;
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return 0;
        const unsigned char b = byte(i + k);
        const unsigned char l = k == 1 ? lo : 0x80;
        const unsigned char h = k == 1 ? hi : 0xBF;
        if (b < l || b > h) return 0;
        badLength = k + 1;
    }
    return need + 1;
}

std::unique_ptr<icu::BreakIterator> characterIterator(std::string_view s, UText** ut) {
    UErrorCode status = U_ZERO_ERROR;
    *ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) return nullptr;
    it->setText(*ut, status);
    if (U_FAILURE(status)) return nullptr;
    return it;
}

}  // namespace

bool isWhiteSpace(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c));
}

char32_t decodeNext(std::string_view s, std::size_t& i) {
    std::size_t bad = 1;
    const std::size_t len = wellFormedLength(s, i, bad);
    if (len == 0) {
        i += bad;
        return kReplacement;
    }
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    char32_t c = 0;
    switch (len) {
        case 1:
            c = byte(0);
            break;
        case 2:
            c = (char32_t(byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
            break;
        case 3:
            c = (char32_t(byte(0) & 0x0F) << 12) | (char32_t(byte(1) & 0x3F) << 6) |
                (byte(2) & 0x3F);
            break;
        default:
            c = (char32_t(byte(0) & 0x07) << 18) | (char32_t(byte(1) & 0x3F) << 12) |
                (char32_t(byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    }
    i += len;
    return c;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = kReplacement;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        std::size_t bad = 1;
        const std::size_t len = wellFormedLength(s, i, bad);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string repairUtf8(std::string_view s) {
    if (isValidUtf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size();) {
        std::size_t bad = 1;
        const std::size_t len = wellFormedLength(s, i, bad);
        if (len == 0) {
            appendUtf8(out, kReplacement);
            i += bad;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string trim(std::string_view s) {
    // Only the ends are looked at, so trimming a huge selection costs next to nothing.
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t next = begin;
        if (!isWhiteSpace(decodeNext(s, next))) break;
        begin = next;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && end - start < 4 &&
               (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) {
            --start;
        }
        std::size_t probe = start;
        const char32_t c = decodeNext(s, probe);
        // An ill-formed tail is not white space: stop there.
        if (probe != end || !isWhiteSpace(c)) break;
        end = start;
    }
    return std::string(s.substr(begin, end - begin));
}

std::size_t graphemeCount(std::string_view s) {
    if (s.empty()) return 0;
    // Plain ASCII needs no break iterator: every byte is a cluster except LF after CR.
    bool ascii = true;
    std::size_t crlf = 0;
    for (std::size_t i = 0; i < s.size() && ascii; ++i) {
        ascii = static_cast<unsigned char>(s[i]) < 0x80;
        if (i > 0 && s[i] == '\n' && s[i - 1] == '\r') ++crlf;
    }
    if (ascii) return s.size() - crlf;
    UText* ut = nullptr;
    auto it = characterIterator(s, &ut);
    std::size_t count = 0;
    if (it) {
        it->first();
        while (it->next() != icu::BreakIterator::DONE) ++count;
    }
    utext_close(ut);
    return count;
}

std::string_view utf8Prefix(std::string_view s, std::size_t bytes) {
    if (bytes >= s.size()) return s;
    while (bytes > 0 && (static_cast<unsigned char>(s[bytes]) & 0xC0) == 0x80) --bytes;
    return s.substr(0, bytes);
}

std::string graphemePrefix(std::string_view s, std::size_t n) {
    if (n == 0 || s.empty()) return {};
    UText* ut = nullptr;
    auto it = characterIterator(s, &ut);
    std::size_t end = s.size();
    if (it) {
        it->first();
        std::size_t taken = 0;
        int32_t pos = 0;
        while (taken < n && (pos = it->next()) != icu::BreakIterator::DONE) ++taken;
        if (taken == n && pos != icu::BreakIterator::DONE) end = static_cast<std::size_t>(pos);
    }
    utext_close(ut);
    return std::string(s.substr(0, end));
}

std::size_t utf16Length(std::string_view s) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < s.size();) units += decodeNext(s, i) > 0xFFFF ? 2 : 1;
    return units;
}

}  // namespace pivorel::text
