#include "numbers.h"

#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace numbers {

std::optional<double> ToNumber(const QString &text)
{
    static const QRegularExpression decimal(
        QStringLiteral(R"(\A[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?\z)"));
    const QString trimmed = text.trimmed();
    if (!decimal.match(trimmed).hasMatch())
        return std::nullopt;
    const std::string ascii = trimmed.toStdString();
    const char *first = ascii.data();
    if (*first == '+')
        ++first; // from_chars takes no plus sign
    double value = 0;
    const auto [end, ec] = std::from_chars(first, ascii.data() + ascii.size(), value);
    if (ec != std::errc() || end != ascii.data() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode goes to the even neighbour
}

std::optional<std::int32_t> ToInt32(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double rounded = RoundHalfEven(value);
    if (rounded < std::numeric_limits<std::int32_t>::min()
        || rounded > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> TextToInt32(const QString &text)
{
    const auto value = ToNumber(text);
    if (!value)
        return std::nullopt;
    return ToInt32(*value);
}

QString ToText(double value)
{
    if (!std::isfinite(value))
        return QString::number(value);
    // Fifteen significant digits, then the plain form without exponent or trailing zeros.
    char exact[64];
    const auto res = std::to_chars(exact, exact + sizeof exact, value,
                                   std::chars_format::scientific, 14);
    const double rounded = std::strtod(std::string(exact, res.ptr).c_str(), nullptr);
    char plain[512];
    const auto out = std::to_chars(plain, plain + sizeof plain, rounded, std::chars_format::fixed);
    QString text = QString::fromLatin1(plain, out.ptr - plain);
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text;
}

CountingLoop::CountingLoop(double start, double end, double step)
    : m_value(start)
    , m_end(end)
    , m_step(step)
{
}

bool CountingLoop::Running() const
{
    return m_step >= 0 ? m_value <= m_end : m_value >= m_end;
}

} // namespace numbers
