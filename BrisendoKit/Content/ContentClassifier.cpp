#include "BrisendoKit/Content/ContentClassifier.h"

#include "BrisendoKit/Support/IcuRegex.h"
#include "BrisendoKit/Support/Text.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

namespace pivorel {

namespace {

enum Pattern : std::size_t {
    schemeURL,
    bareDomain,
    todoCheckbox,
    todoStart,
    todoAnywhere,
    firstDatePattern,
    patternCount = firstDatePattern + 7,
};

constexpr IcuRegex::Source sources[patternCount] = {
    {R"re(^[a-zA-Z][a-zA-Z0-9+.-]*://\S+$)re", false},
    {R"re(^(?:www\.)?[a-zA-Z0-9-]+(?:\.[a-zA-Z0-9-]+)*\.([a-zA-Z]{2,})(?::\d+)?(?:[/?#]\S*)?$)re",
     false},
    {R"re(^\s*(?:[-*•]\s*)?(?:\[\s?\]|□|☐))re", false},
    {R"re(^\s*(?:[-*•□☐]\s*(?:\[\s?\]\s*)?|\[\s?\]\s*)?(记得|别忘了|不要忘|提醒我|需要|得|要|待办|记一下|跟进|确认一下|todo\b|to-?do\b|remember to\b|need to\b|don't forget\b|remind me\b|follow up\b))re",
     true},
    {R"re((记得|别忘了|不要忘记?|提醒我|务必|截止|deadline|due (on|by)|ASAP))re", true},
    // Dates: relative words, weekday, month and day, clock time, Chinese hour,
    // year-month(-day), English relative words.
    {R"re((今天|明天|后天|大后天|昨天|前天|本周|这周|下周|下下周|下个月|月底|周末))re", true},
    {R"re((周|星期|礼拜)[一二三四五六日天1-7])re", true},
    {R"re(\d{1,2}\s*月\s*\d{1,2}\s*[日号]?)re", true},
    {R"re(\d{1,2}\s*[:：]\s*\d{2})re", true},
    {R"re((上午|下午|晚上|早上|中午|凌晨)?\s*\d{1,2}\s*点(\s*\d{1,2}\s*分?|半)?)re", true},
    {R"re(\d{4}\s*[-/.年]\s*\d{1,2}(\s*[-/.月]\s*\d{1,2})?)re", true},
    {R"re(\b(tomorrow|tonight|next (week|month|monday|tuesday|wednesday|thursday|friday|saturday|sunday))\b)re",
     true},
};

constexpr std::array<std::string_view, 27> topLevelLabels = {
    "com", "net", "org", "io", "cn", "ai", "dev", "app", "co",   "me",  "fyi", "edu", "gov", "top",
    "xyz", "cc",  "tv",  "us", "uk", "jp", "hk",  "tw",  "info", "biz", "so",  "ly",  "sh",
};

constinit const IcuRegex patterns{sources};

// The text in UTF-16, converted once for all the patterns that look at it. Matchers are
// made on first use per text; reusing them across texts measured no faster worth keeping.
class Scan {
  public:
    explicit Scan(std::string_view utf8)
        : text_(icu::UnicodeString::fromUTF8(
              icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))) {}

    // A first match anywhere in the text. An engine failure (such as the backtracking
    // limit on huge input) counts as no match.
    bool finds(Pattern p) {
        icu::RegexMatcher* m = matcher(p);
        UErrorCode status = U_ZERO_ERROR;
        return m && m->find(status) && U_SUCCESS(status);
    }

    // Capture group `n` of the last successful finds(p).
    icu::UnicodeString group(Pattern p, int32_t n) {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeString g = matchers_[p]->group(n, status);
        return U_SUCCESS(status) ? g : icu::UnicodeString();
    }

  private:
    icu::RegexMatcher* matcher(Pattern p) {
        auto& m = matchers_[p];
        if (m) {
            m->reset();
        } else {
            m = patterns.matcher(p, text_);
        }
        return m.get();
    }

    icu::UnicodeString text_;  // declared first: the matchers refer to it
    std::array<std::unique_ptr<icu::RegexMatcher>, patternCount> matchers_;
};

bool hasWhiteSpace(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        if (text::isWhiteSpace(text::decodeNext(s, i))) return true;
    }
    return false;
}

// The link test for a text without white space, already loaded in `scan`.
bool isLinkText(Scan& scan) {
    if (scan.finds(schemeURL)) return true;
    if (!scan.finds(bareDomain)) return false;
    std::string label;
    scan.group(bareDomain, 1).toUTF8String(label);
    if (label.empty()) return false;
    // The label is ASCII letters only.
    std::transform(label.begin(), label.end(), label.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return std::find(topLevelLabels.begin(), topLevelLabels.end(), label) != topLevelLabels.end();
}

struct Measures {
    std::size_t cjk = 0;
    std::size_t latin = 0;
    std::size_t lines = 0;
    std::size_t words = 0;
};

bool isCJK(char32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0x3400 && c <= 0x4DBF);
}

// Whether `c` continues the grapheme cluster of a space before it, which makes the pair
// one white-space character rather than a separator followed by a word.
bool extendsSpace(char32_t c) {
    const auto type = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return type == U_GCB_EXTEND || type == U_GCB_ZWJ || type == U_GCB_SPACING_MARK;
}

Measures measure(std::string_view s) {
    Measures m;
    bool inWord = false;
    bool afterSpace = false;  // the last code point was a space that marks can attach to
    char32_t previous = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = text::decodeNext(s, i);
        if (isCJK(c)) {
            ++m.cjk;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            ++m.latin;
        }
        // A CR LF pair is one character, which is not a lone line feed.
        if (c == '\n' && previous != '\r') ++m.lines;
        const bool space = text::isWhiteSpace(c);
        const bool separator = space || (afterSpace && extendsSpace(c));
        // Marks attach to a space, but not to a tab or a line break (control characters).
        afterSpace = space ? u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR : separator;
        if (!separator && !inWord) ++m.words;
        inWord = !separator;
        previous = c;
    }
    return m;
}

}  // namespace

const std::array<std::string_view, 27>& ContentClassifier::tlds() {
    return topLevelLabels;
}

bool ContentClassifier::isURL(std::string_view text) {
    if (hasWhiteSpace(text)) return false;
    Scan scan(text);
    return isLinkText(scan);
}

ContentProfile ContentClassifier::classify(std::string_view input) {
    const std::string text = text::trim(text::repairUtf8(input));
    if (text.empty()) return {{ContentKind::sentence}};

    // Long texts with spaces never meet a pattern, so they skip the UTF-16 copy.
    std::optional<Scan> scan;
    const auto loaded = [&]() -> Scan& {
        if (!scan) scan.emplace(text);
        return *scan;
    };
    if (!hasWhiteSpace(text) && isLinkText(loaded())) return {{ContentKind::url}};

    ContentProfile profile;
    const Measures m = measure(text);
    if (const std::size_t total = m.cjk + m.latin; total > 0) {
        if (double(m.latin) / double(total) >= 0.7) profile.kinds.insert(ContentKind::english);
        if (double(m.cjk) / double(total) >= 0.3) profile.kinds.insert(ContentKind::chinese);
    }

    const std::size_t length = text::graphemeCount(text);
    if (length >= 120 || (m.lines >= 2 && length >= 60)) {
        profile.kinds.insert(ContentKind::longParagraph);
    } else if (length > 24 || m.lines > 0 || m.words > 6) {
        profile.kinds.insert(ContentKind::sentence);
    } else {
        profile.kinds.insert(ContentKind::shortPhrase);
    }

    // Only the patterns read dates here: Linux has no natural-language date detector.
    if (length <= 80) {
        for (std::size_t p = firstDatePattern; p < patternCount; ++p) {
            if (loaded().finds(static_cast<Pattern>(p))) {
                profile.kinds.insert(ContentKind::dateTime);
                break;
            }
        }
    }

    if (length <= 160 && (loaded().finds(todoCheckbox) || loaded().finds(todoStart) ||
                          loaded().finds(todoAnywhere))) {
        profile.kinds.insert(ContentKind::todoLike);
    }
    return profile;
}

}  // namespace pivorel
