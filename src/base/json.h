#pragma once
// JSON documents of the dump actions. Numbers are kept as 32-bit floats so that each prints in
// the shortest form that reads back to the same float; NaN and infinities, which JSON cannot
// hold, become the strings "nan", "inf" and "-inf".
#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace ms {

using Json = nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool,
                                  std::int64_t, std::uint64_t, float>;

Json JsonFloat(float value);
Json JsonFloats(std::span<const float> values);
// Bytes as lower-case hexadecimal, two digits a byte.
std::string HexBytes(std::span<const std::uint8_t> bytes);
// A NUL-terminated name held in a fixed field of `size` bytes.
std::string FieldName(const char* field, std::size_t size);

}  // namespace ms
