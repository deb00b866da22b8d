#include "base/json.h"

#include <cmath>
#include <cstring>

namespace ms {

Json JsonFloat(float value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return value;
}

Json JsonFloats(std::span<const float> values) {
    Json array = Json::array();
    for (float v : values) array.push_back(JsonFloat(v));
    return array;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out(bytes.size() * 2, '0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

std::string FieldName(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace ms
