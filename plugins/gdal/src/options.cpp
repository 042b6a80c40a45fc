#include "options.hpp"

#include <cpl_error.h>
#include <cpl_string.h>

#include <charconv>
#include <limits>
#include <string>
#include <string_view>

namespace vrk::gdal {
namespace {

bool is_one_of(std::string_view value, std::initializer_list<const char*> words) {
    for (const char* word : words)
        if (EQUAL(std::string(value).c_str(), word)) return true;
    return false;
}

// JSON null reaches the options as "" or "null": the key's default.
bool is_null(std::string_view value) { return value.empty() || is_one_of(value, {"null", "none"}); }

std::optional<int64_t> parse_integer(std::string_view value) {
    int64_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (error != std::errc{} || end != value.data() + value.size()) return std::nullopt;
    return number;
}

// zarr's JSON booleans come as "true" and "false"; numbers as 0 and 1.
std::optional<bool> parse_bool(std::string_view value) {
    if (is_one_of(value, {"true", "yes", "on", "1"})) return true;
    if (is_one_of(value, {"false", "no", "off", "0"})) return false;
    return std::nullopt;
}

std::optional<uint32_t> parse_count(std::string_view value) {
    const auto number = parse_integer(value);
    if (!number || *number < 0 || *number > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<uint32_t>(*number);
}

bool bad_value(const std::string& key, std::string_view value) {
    CPLError(CE_Failure, CPLE_IllegalArg, "vrk: option %s: cannot read \"%.*s\"", key.c_str(),
             static_cast<int>(value.size()), value.data());
    return false;
}

// Sets the one setting `key` names; false (with a CPLError) when its value is unreadable.
bool apply(EncodeSettings& settings, const std::string& key, std::string_view value) {
    const auto as_int64 = [&](int64_t& field) {
        const auto number = parse_integer(value);
        return number ? (field = *number, true) : bad_value(key, value);
    };
    const auto as_flag = [&](int64_t& field) {
        const auto flag = parse_bool(value);
        return flag ? (field = *flag ? 1 : 0, true) : bad_value(key, value);
    };
    const auto as_count = [&](std::optional<uint32_t>& field) {
        if (is_null(value)) return field.reset(), true;
        const auto count = parse_count(value);
        return count ? (field = *count, true) : bad_value(key, value);
    };
    if (EQUAL(key.c_str(), "loss_factor")) return as_int64(settings.options.loss_factor);
    if (EQUAL(key.c_str(), "threads")) return as_int64(settings.options.threads);
    if (EQUAL(key.c_str(), "graphics")) return as_flag(settings.options.graphics);
    if (EQUAL(key.c_str(), "fast")) return as_flag(settings.options.fast);
    if (EQUAL(key.c_str(), "bits_per_sample")) return as_count(settings.bits);
    if (EQUAL(key.c_str(), "width")) return as_count(settings.width);
    if (EQUAL(key.c_str(), "height")) return as_count(settings.height);
    if (EQUAL(key.c_str(), "channels")) {
        std::optional<uint32_t> channels;
        if (!as_count(channels)) return false;
        settings.channels = channels.value_or(1);
    }
    return true;
}

} // namespace

std::optional<EncodeSettings> parse_encode_options(CSLConstList options) {
    EncodeSettings settings;
    vrk_options_init(&settings.options);
    for (CSLConstList entry = options; entry != nullptr && *entry != nullptr; ++entry) {
        char* key = nullptr;
        const char* value = CPLParseNameValue(*entry, &key);
        if (key == nullptr) continue;
        const std::string name(key);
        CPLFree(key);
        if (!apply(settings, name, value == nullptr ? "" : value)) return std::nullopt;
    }
    return settings;
}

} // namespace vrk::gdal
