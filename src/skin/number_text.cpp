#include "skin/number_text.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace ms {
namespace {

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t{});
    return locale;
}

// Makes the C locale current for this thread while it lives.
class UseCLocale {
public:
    UseCLocale() : previous_(uselocale(CLocale())) {}
    ~UseCLocale() { uselocale(previous_); }
    UseCLocale(const UseCLocale&) = delete;
    UseCLocale& operator=(const UseCLocale&) = delete;

private:
    locale_t previous_;
};

}  // namespace

std::string FormatFixed(float value, int decimals) {
    UseCLocale c;
    char text[64];
    int n = std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(value));
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof text) return std::string(text, n);
    std::string longText(static_cast<std::size_t>(n) + 1, '\0');
    std::snprintf(longText.data(), longText.size(), "%.*f", decimals, static_cast<double>(value));
    longText.resize(n);
    return longText;
}

bool ScanFloat(const std::string& text, float& value) {
    char* end = nullptr;
    float parsed = strtof_l(text.c_str(), &end, CLocale());
    if (end == text.c_str() || !std::isfinite(parsed)) return false;
    value = parsed;
    return true;
}

}  // namespace ms
