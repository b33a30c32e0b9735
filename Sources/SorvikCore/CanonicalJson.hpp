#pragma once
// A JSON writer whose bytes are fixed by this code alone, for content signatures: compact,
// keys sorted by their bytes, integers as integers, doubles in their shortest round-trip
// form. It never fails: values plain JSON cannot hold still get a distinct, fixed spelling
// (NaN, Infinity, -Infinity; a byte that is not part of valid UTF-8 as "\udcXX").
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "SorvikCore/Models.hpp"

namespace sorvik::canonical {

std::string string(std::string_view text);
std::string number(double value);
std::string integer(std::int64_t value);
std::string boolean(bool value);

/// Members of one object, written with their keys sorted.
class Object {
public:
    Object& add(std::string key, std::string encodedValue);
    std::string str() const;

private:
    std::vector<std::pair<std::string, std::string>> members_;
};

std::string array(const std::vector<std::string>& encodedValues);

std::string encode(const CropSpec& crop);
std::string encode(const FileReference& reference);
std::string encode(const DeliveryFile& file);
std::string encode(const DeliveryTemplate& rules);

/// The signed content of a delivery: {"files":[…],"name":…,"template":{…}}.
std::string signaturePayload(const Delivery& delivery);

}  // namespace sorvik::canonical
