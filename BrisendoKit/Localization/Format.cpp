#include "BrisendoKit/Localization/Format.h"

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace pivorel {

namespace {

std::string decimalSeparator(std::string_view language) {
    static std::mutex mutex;
    static std::map<std::string, std::string, std::less<>> cache;
    std::lock_guard lock(mutex);
    if (auto it = cache.find(language); it != cache.end()) return it->second;
    UErrorCode status = U_ZERO_ERROR;
    icu::DecimalFormatSymbols symbols(icu::Locale(std::string(language).c_str()), status);
    std::string sep = ".";
    if (U_SUCCESS(status)) {
        sep.clear();
        symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol)
            .toUTF8String(sep);
        if (sep.empty()) sep = ".";
    }
    cache.emplace(std::string(language), sep);
    return sep;
}

std::string asString(const FormatArg& arg) {
    if (auto* s = std::get_if<std::string>(&arg.value)) return *s;
    if (auto* i = std::get_if<long long>(&arg.value)) return std::to_string(*i);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", std::get<double>(arg.value));
    return buf;
}

long long asInteger(const FormatArg& arg) {
    if (auto* i = std::get_if<long long>(&arg.value)) return *i;
    if (auto* d = std::get_if<double>(&arg.value)) return static_cast<long long>(*d);
    return 0;
}

double asDouble(const FormatArg& arg) {
    if (auto* d = std::get_if<double>(&arg.value)) return *d;
    if (auto* i = std::get_if<long long>(&arg.value)) return static_cast<double>(*i);
    return 0;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string formatString(std::string_view format, const std::vector<FormatArg>& args,
                         std::string_view language) {
    std::string out;
    out.reserve(format.size() + 16);
    std::size_t nextArg = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        const std::size_t start = i++;
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        // %[n$][flags][width][.precision][length]conversion
        std::size_t position = 0;
        std::size_t j = i;
        while (j < format.size() && isDigit(format[j])) ++j;
        if (j > i && j < format.size() && format[j] == '$') {
            position = std::stoul(std::string(format.substr(i, j - i)));
            i = j + 1;
        }
        std::string flags;
        while (i < format.size() &&
               (format[i] == '0' || format[i] == '-' || format[i] == '+' || format[i] == ' ')) {
            flags += format[i++];
        }
        int width = 0;
        while (i < format.size() && isDigit(format[i]) && width < 1000) {
            width = width * 10 + (format[i++] - '0');
        }
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = 0;
            while (i < format.size() && isDigit(format[i]) && precision < 100) {
                precision = precision * 10 + (format[i++] - '0');
            }
        }
        while (i < format.size() && (format[i] == 'l' || format[i] == 'h' || format[i] == 'q' ||
                                     format[i] == 'z' || format[i] == 'j' || format[i] == 't')) {
            ++i;
        }
        if (i >= format.size()) {
            out.append(format.substr(start));
            break;
        }
        const char conv = format[i++];
        const bool known =
            conv == '@' || conv == 'd' || conv == 'i' || conv == 'u' || conv == 'f' || conv == 's';
        if (!known) {
            out.append(format.substr(start, i - start));
            continue;
        }
        const std::size_t index = position > 0 ? position - 1 : nextArg++;
        if (index >= args.size()) {
            out.append(format.substr(start, i - start));
            continue;
        }
        const FormatArg& arg = args[index];
        char buf[512];
        if (conv == '@' || conv == 's') {
            out += asString(arg);
        } else if (conv == 'f') {
            const std::string spec = "%" + flags + (width ? std::to_string(width) : "") + "." +
                                     std::to_string(precision < 0 ? 6 : precision) + "f";
            std::snprintf(buf, sizeof buf, spec.c_str(), asDouble(arg));
            std::string number = buf;
            if (const auto dot = number.find('.'); dot != std::string::npos) {
                number.replace(dot, 1, decimalSeparator(language));
            }
            out += number;
        } else {
            const std::string spec = "%" + flags + (width ? std::to_string(width) : "") + "lld";
            std::snprintf(buf, sizeof buf, spec.c_str(), asInteger(arg));
            out += buf;
        }
    }
    return out;
}

}  // namespace pivorel
