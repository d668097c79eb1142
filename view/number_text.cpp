#include "number_text.h"

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace vocalume {
namespace {

// The C locale on this thread while it lives, so that printf and strtof use
// a point whatever locale the program runs in.
class CLocaleHere {
public:
    CLocaleHere() : m_c(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0)))
    {
        if (m_c != static_cast<locale_t>(0))
            m_previous = uselocale(m_c);
    }
    ~CLocaleHere()
    {
        if (m_c != static_cast<locale_t>(0)) {
            uselocale(m_previous);
            freelocale(m_c);
        }
    }
    CLocaleHere(const CLocaleHere&) = delete;
    CLocaleHere& operator=(const CLocaleHere&) = delete;

private:
    locale_t m_c;
    locale_t m_previous = static_cast<locale_t>(0);
};

// value = digits × 10^(exponent - count + 1): the first digit stands at
// 10^exponent.
struct Decimal {
    uint64_t digits = 0;
    int count = 0;
    int exponent = 0;
};

std::string DigitText(uint64_t digits, int count)
{
    std::string text(static_cast<size_t>(count), '0');
    for (int i = count - 1; i >= 0; --i, digits /= 10)
        text[static_cast<size_t>(i)] = static_cast<char>('0' + digits % 10);
    return text;
}

std::string Scientific(const Decimal& d)
{
    const std::string digits = DigitText(d.digits, d.count);
    std::string text = digits.substr(0, 1);
    if (d.count > 1) {
        text += '.';
        text.append(digits, 1);
    }
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", d.exponent < 0 ? '-' : '+', std::abs(d.exponent));
    return text + exponent;
}

// In plain notation; a whole number written out in full is written exactly,
// its digits beyond the shortest ones being free to be the value's own.
std::string Fixed(const Decimal& d, float value)
{
    const std::string digits = DigitText(d.digits, d.count);
    std::string text;
    if (d.exponent < 0) {
        text = "0.";
        text.append(static_cast<size_t>(-d.exponent - 1), '0');
        text += digits;
    } else if (d.count <= d.exponent + 1) {
        char whole[64];
        std::snprintf(whole, sizeof whole, "%.0f", static_cast<double>(value));
        text = whole;
    } else {
        const size_t point = static_cast<size_t>(d.exponent + 1);
        text.assign(digits, 0, point);
        text += '.';
        text.append(digits, point);
    }
    return text;
}

// The correctly rounded `count` significant digits of `value` (> 0).
Decimal Rounded(double value, int count)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*e", count - 1, value);
    Decimal d;
    d.count = count;
    const char* c = text;
    for (; *c != 'e' && *c != '\0'; ++c)
        if (*c >= '0' && *c <= '9')
            d.digits = d.digits * 10 + static_cast<uint64_t>(*c - '0');
    d.exponent = *c == 'e' ? std::atoi(c + 1) : 0;
    return d;
}

uint64_t Power10(int n)
{
    uint64_t p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// The shortest digits that read back as `value` (finite, > 0), as to_chars
// chooses them: of several such, the nearest to the value, a tie going to
// the even digit, as printf rounds.
Decimal Shortest(float value)
{
    const auto readsBack = [value](const Decimal& d) { return std::strtof(Scientific(d).c_str(), nullptr) == value; };
    for (int count = 1; count <= 9; ++count) {
        const Decimal nearest = Rounded(value, count);
        if (readsBack(nearest))
            return nearest;
        // The interval of texts that read back as the value is lopsided at a
        // power of two: the nearest digits may miss it where a neighbour on
        // the wider side hits it.
        for (const int step : {-1, 1}) {
            Decimal d = nearest;
            const uint64_t digits = d.digits + static_cast<uint64_t>(step);
            if (digits < Power10(count - 1) || digits >= Power10(count))
                continue;
            d.digits = digits;
            if (readsBack(d))
                return d;
        }
    }
    return Rounded(value, 9);
}

}  // namespace

std::string ShortestText(float value)
{
    std::string text = std::signbit(value) ? "-" : "";
    if (std::isnan(value))
        return text += "nan";
    if (std::isinf(value))
        return text += "inf";
    if (value == 0.0f)
        return text += "0";
    const CLocaleHere c;
    const Decimal d = Shortest(std::fabs(value));
    const std::string fixed = Fixed(d, std::fabs(value));
    const std::string scientific = Scientific(d);
    // The shorter of the two; a tie goes to the plain notation.
    return text += scientific.size() < fixed.size() ? scientific : fixed;
}

std::string FixedText(double value, int decimals)
{
    const CLocaleHere c;
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace vocalume
