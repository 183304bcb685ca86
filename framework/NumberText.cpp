// Locale-independent reading and writing of numbers.
#include "framework/NumberText.h"

#include <QByteArray>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int HexDigit(QChar c) {
    if (IsDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Walks the text once; positions are 0-based inside, 1-based only in what ParseReal reports.
class RealScanner {
public:
    explicit RealScanner(const QString& text) : Text(text) {}

    bool Scan() {
        const bool negative = TakeSign();
        const int integerDigits = TakeDigits(true);
        int fractionDigits = 0;
        if (Peek() == u'.') {
            ++Pos;
            fractionDigits = TakeDigits(false);
        }
        if (integerDigits + fractionDigits == 0)
            return false;
        if (Peek() == u'e' || Peek() == u'E') {
            ++Pos;
            const bool negativeExponent = TakeSign();
            if (TakeExponent() == 0)
                return false;
            if (negativeExponent)
                Exponent = -Exponent;
        }
        if (Pos < Text.size())
            return false;
        Value = Compose(negative);
        return true;
    }

    int Pos = 0;
    double Value = 0;

private:
    QChar Peek() const { return Pos < Text.size() ? Text[Pos] : QChar(); }

    bool TakeSign() {
        const QChar c = Peek();
        if (c != u'+' && c != u'-')
            return false;
        ++Pos;
        return c == u'-';
    }

    // Keeps the first 19 significant digits exactly (they fit 64 bits); later ones only move the scale.
    int TakeDigits(bool beforePoint) {
        int count = 0;
        for (; IsDigit(Peek()); ++Pos, ++count) {
            const int digit = Peek().unicode() - u'0';
            if (Mantissa == 0 && digit == 0) {
                if (!beforePoint)
                    --Scale;
                continue;
            }
            if (Significant < 19) {
                Mantissa = Mantissa * 10 + uint64_t(digit);
                ++Significant;
                if (!beforePoint)
                    --Scale;
            } else if (beforePoint) {
                ++Scale;
            }
        }
        return count;
    }

    int TakeExponent() {
        int count = 0;
        for (; IsDigit(Peek()); ++Pos, ++count)
            Exponent = std::min(Exponent * 10 + (Peek().unicode() - u'0'), 100000);
        return count;
    }

    // The checked text goes to the correctly rounding reader as it is: composing mantissa and power in
    // long double first and narrowing afterwards would round twice and miss by one unit now and then.
    double Compose(bool negative) const {
        if (Mantissa == 0) // also keeps 0e99999 from becoming 0 * inf
            return negative ? -0.0 : 0.0;
        QByteArray ascii = Text.toLatin1();
        if (ascii.startsWith('+'))
            ascii.remove(0, 1);
        double result = 0;
        const std::from_chars_result read =
            std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), result);
        if (read.ec == std::errc::result_out_of_range) {
            const long long power = (long long)Scale + Exponent;
            result = power > 0 ? std::numeric_limits<double>::infinity() : 0.0;
            return negative ? -result : result;
        }
        return result;
    }

    const QString& Text;
    uint64_t Mantissa = 0;
    int Significant = 0;
    int Scale = 0;
    int Exponent = 0;
};

} // namespace

bool ParseReal(const QString& text, double& value, int& errorPosition) {
    RealScanner scanner(text);
    if (!scanner.Scan()) {
        errorPosition = scanner.Pos + 1;
        return false;
    }
    value = scanner.Value;
    return true;
}

bool ParseInteger(const QString& text, int32_t& value) {
    int pos = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        ++pos;
    const bool hex = pos < text.size() && text[pos] == u'$';
    if (hex)
        ++pos;
    const int base = hex ? 16 : 10;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    if (pos == text.size())
        return false;
    uint64_t magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = hex ? HexDigit(text[pos]) : (IsDigit(text[pos]) ? text[pos].unicode() - u'0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * uint64_t(base) + uint64_t(digit);
        if (magnitude > limit)
            return false;
    }
    // Hex digits give the 32-bit pattern; decimal ones are in range by the limit above.
    const uint32_t bits = uint32_t(magnitude);
    value = int32_t(negative ? 0u - bits : bits);
    return true;
}

QString FormatFixed(double value, int width, int decimals) {
    // QString::number never consults the locale; its 'f' form rounds the exact binary value.
    return QString::number(value, 'f', decimals).rightJustified(width, u' ');
}
