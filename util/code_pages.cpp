#include "util/code_pages.h"

#include <cerrno>
#include <cstddef>
#include <iconv.h>
#include <utility>

namespace util {
namespace {

constexpr std::string_view kReplacementUtf16 = "\xFD\xFF";
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

class Converter {
public:
    Converter(const std::string& to, const std::string& from) : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid())
            iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    [[nodiscard]] bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts the whole input; `skip` answers, for an input position iconv refused, how many bytes to step over
    // and what to write in their place.
    // Converts the whole input; `skip` answers, for an input position iconv refused, how many bytes to step over
    // and what to write in their place.
    template <typename Skip> [[nodiscard]] std::string run(std::string_view input, Skip skip) {
        std::string output;
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buffer[4096];
        auto drain = [&](char* out) { output.append(buffer, static_cast<std::size_t>(out - buffer)); };
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t done = iconv(handle_, &in, &inLeft, &out, &outLeft);
            drain(out);
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            if (errno != EILSEQ && errno != EINVAL)
                break;
            const auto [width, replacement] = skip(std::string_view(in, inLeft));
            output.append(replacement);
            in += width;
            inLeft -= width;
        }
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(handle_, nullptr, nullptr, &out, &outLeft);
        drain(out);
        return output;
    }

private:
    iconv_t handle_;
};

std::string_view untilZeroByte(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// The UTF-16 units before the first zero unit; an odd last byte is completed by the zero byte appended to it.
std::string untilZeroUnit(std::string_view bytes) {
    std::string units(bytes);
    if (units.size() % 2 != 0)
        units.push_back('\0');
    for (std::size_t at = 0; at < units.size(); at += 2) {
        if (units[at] == '\0' && units[at + 1] == '\0') {
            units.resize(at);
            break;
        }
    }
    return units;
}

unsigned unitAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        if (lead < 0x80) {
            ++at;
            continue;
        }
        std::size_t length = 0;
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (at + length > bytes.size())
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(bytes[at + i]);
            const unsigned min = i == 1 ? low : 0x80;
            const unsigned max = i == 1 ? high : 0xBF;
            if (next < min || next > max)
                return false;
        }
        at += length;
    }
    return true;
}

std::string codePageName(int codePage) {
    switch (codePage) {
    case 0:
    case 65001:
        return "UTF-8";
    case 936:
        return "GBK";
    case 54936:
        return "GB18030";
    case 20127:
        return "ASCII";
    case 1200:
        return "UTF-16LE";
    case 1201:
        return "UTF-16BE";
    default:
        break;
    }
    if (codePage >= 28591 && codePage <= 28599)
        return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

std::string bytesToWide(std::string_view bytes, int codePage) {
    const std::string_view text = untilZeroByte(bytes);
    if (text.empty())
        return {};
    Converter converter("UTF-16LE", codePageName(codePage));
    if (!converter.valid())
        return {};
    std::string wide = converter.run(text, [](std::string_view) {
        return std::pair{std::size_t{1}, kReplacementUtf16};
    });
    wide.append(2, '\0');
    return wide;
}

std::string wideToCodePage(std::string_view utf16Bytes, int codePage) {
    const std::string units = untilZeroUnit(utf16Bytes);
    if (units.empty())
        return {};
    const std::string name = codePageName(codePage);
    Converter converter(name, "UTF-16LE");
    if (!converter.valid())
        return {};
    const bool toUtf8 = name == "UTF-8";
    std::string text = converter.run(units, [toUtf8](std::string_view rest) {
        const unsigned unit = rest.size() >= 2 ? unitAt(rest, 0) : 0;
        const bool pair = unit >= 0xD800 && unit < 0xDC00 && rest.size() >= 4 && unitAt(rest, 2) >= 0xDC00 &&
                          unitAt(rest, 2) < 0xE000;
        const bool lone = !pair && unit >= 0xD800 && unit < 0xE000;
        const std::size_t width = pair ? 4 : (rest.size() >= 2 ? 2 : rest.size());
        return std::pair{width, (lone && toUtf8) ? kReplacementUtf8 : std::string_view("?")};
    });
    return std::string(untilZeroByte(text));
}

std::string wideToText(std::string_view utf16Bytes) {
    return wideToCodePage(utf16Bytes, kSystemCodePage);
}

std::string utf8ToText(std::string_view bytes) {
    return wideToText(bytesToWide(bytes, 65001));
}

} // namespace util
